#pragma once
// A limb-darkening law's intensity and its derivatives with respect to its coefficients, as sums
// of terms c mu^p and c mu^p ln(mu) (mu = sqrt(1 - r^2), r in stellar radii): what the
// derivatives of a limb-darkened magnification integrate.

#include <array>
#include <cstddef>
#include <span>

#include "models/limb_darkening_law.hpp"
#include "models/point_lens_series.hpp"

namespace vellomir {

struct IntensityTerm {
    double coefficient;
    double power;
    bool logarithmic;  // c mu^p ln(mu) rather than c mu^p
};

struct IntensitySum {
    std::array<IntensityTerm, 6> terms{};
    std::size_t count = 0;

    // The intensity at the limb (mu = 0): the sum of the constant terms.
    double at_limb() const noexcept;
    // dI/dmu / mu at mu (the slope in r is -r times it); finite for mu > 0.
    double slope_over_mu(double mu) const noexcept;
    // 2 v dI/dmu at mu = v^2 (the slope in v where r = sqrt(1 - v^4)), finite down to v = 0 for
    // powers >= 1/2.
    double slope_in_root(double v) const noexcept;
    // int_0^1 I r^(2k) 2r dr for k < POINT_LENS_SERIES_MAX_TERMS.
    std::array<double, POINT_LENS_SERIES_MAX_TERMS> raw_moments() const noexcept;
};

inline constexpr std::size_t MAX_LAW_COEFFICIENTS = 4;

struct LawGradientBasis {
    IntensitySum intensity;                                         // I itself
    std::array<IntensitySum, MAX_LAW_COEFFICIENTS> d_coefficient;   // dI / dc_k
    std::size_t coefficients = 0;
    // d<r^2j>/dc_k of the normalised moments, (dM_j/dc_k - <r^2j> dM_0/dc_k) / M_0 (index
    // [k][j]), for the far-field series.
    std::array<std::array<double, POINT_LENS_SERIES_MAX_TERMS>, MAX_LAW_COEFFICIENTS> d_moment{};
};

// The law with its coefficients (limb_darkening_coefficient_count(law) of them, checked by the
// caller). The power-2 law's exponent enters as c mu^alpha ln(mu).
LawGradientBasis law_gradient_basis(LimbDarkeningLaw law, std::span<const double> coefficients) noexcept;

}  // namespace vellomir
