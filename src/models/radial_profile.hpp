#pragma once
// A radially symmetric stellar brightness profile I(r), r in stellar radii, zero outside the star:
// a limb-darkening law or a piecewise-linear table. Built once per call; it holds the profile's
// total flux and its normalised even radial moments, which the far-field series needs.

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "models/limb_darkening_law.hpp"
#include "models/outcome.hpp"
#include "models/point_lens_series.hpp"

namespace vellomir {

class RadialProfile {
public:
    // Fails when the law's total flux is not positive (or not finite). `coefficients` holds
    // limb_darkening_coefficient_count(law) values.
    static Outcome<RadialProfile> of_law(LimbDarkeningLaw law, std::span<const double> coefficients);

    // Linear interpolation between (radius[j], intensity[j]), zero outside [radius.front(),
    // radius.back()]. The radii are non-decreasing in [0, 1] and the lengths equal (checked by
    // the caller); equal radii make a step. Fails when the total flux is not positive. The
    // intensities are first scaled by the power of two that brings the largest magnitude into
    // [1, 2) (exact), so that the scale of the table changes no result and no flux overflows.
    static Outcome<RadialProfile> of_table(std::span<const double> radius, std::span<const double> intensity);

    // F = int_0^1 I(r) 2 r dr: 1 for the uniform disk of unit intensity.
    double flux() const noexcept { return flux_; }

    // <r^(2k)> = int I r^(2k) 2r dr / F for k < POINT_LENS_SERIES_MAX_TERMS.
    std::span<const double> moments() const noexcept { return moments_; }

    // Whether 0 <= <r^(2k+2)> <= <r^(2k)> <= 1 holds, which the series' truncation bound assumes
    // (true for any non-negative profile).
    bool moments_decrease() const noexcept { return moments_decrease_; }

    // Where the profile is smooth: [0, 1] for a law; the table's segments, each with its linear
    // intensity, for a table.
    struct Piece {
        double begin, end;
        double intensity_begin, intensity_end;  // table values at the ends (tables only)
    };
    std::span<const Piece> pieces() const noexcept { return pieces_; }

    bool is_table() const noexcept { return is_table_; }

    // The law's intensity at r in [0, 1] (laws only).
    double law_intensity(double r) const noexcept;

    // The law as a sum of powers of mu (laws only).
    const PowerSumIntensity& law() const noexcept { return law_; }

    // An empty profile (no pieces, zero flux): only what a failed construction carries.
    RadialProfile() = default;

private:
    // Moments and flux from the raw integrals M_k = int I r^(2k) 2r dr; fails on M_0 <= 0.
    static Outcome<RadialProfile> finish(RadialProfile profile, const std::array<double, POINT_LENS_SERIES_MAX_TERMS>& raw,
                                         std::string_view failure);

    PowerSumIntensity law_{};
    std::vector<Piece> pieces_;
    std::array<double, POINT_LENS_SERIES_MAX_TERMS> moments_{};
    double flux_ = 0.0;
    bool moments_decrease_ = false;
    bool is_table_ = false;
};

}  // namespace vellomir
