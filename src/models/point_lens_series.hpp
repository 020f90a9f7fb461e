#pragma once
// Mean of the point-lens magnification over a radially symmetric source far from the lens, by
// the mean-value expansion in the source radius (the disk and ring averages of a smooth function
// in the plane as a series in its iterated Laplacians).

#include <cstddef>
#include <span>

namespace vellomir {

struct SeriesSum {
    double value;             // the truncated sum
    double truncation_bound;  // a bound on |exact mean - value| / value (+inf where the series diverges)
};

// Largest number of terms supported; longer spans are an error of the caller (the terms beyond
// are ignored).
inline constexpr std::size_t POINT_LENS_SERIES_MAX_TERMS = 20;

// The terms left out may add at most this fraction of the value.
inline constexpr double POINT_LENS_SERIES_NEGLIGIBLE_TAIL = 0x1p-60;

// Mean of A(x) = (x^2 + 2) / (x sqrt(x^2 + 4)) over a source of radius rho (Einstein radii)
// centred at distance u from the lens, whose brightness profile has the normalised even radial
// moments moments[k] = <r^(2k)> (r in source radii, moments[0] = 1; a uniform disk has
// <r^(2k)> = 1 / (k + 1)), by
//     sum_{k < moments.size()} moments[k] (rho^2 / 4)^k / (k!)^2 (Laplacian^k A)(u).
// The series converges for rho < u; term k is at most B_k (rho/u)^(2k) times the first (B_1 =
// 1/4, B_k non-increasing), so with 0 <= moments[k+1] <= moments[k] <= 1 the terms left out after
// K are at most B_K z^K / (1 - z) of the value, z = (rho/u)^2: that is the bound returned. Terms
// are summed only while the rest can exceed 2^-60 of the value. Pure; no allocation.
SeriesSum point_lens_mean_value_series(double u, double rho, std::span<const double> moments) noexcept;

}  // namespace vellomir
