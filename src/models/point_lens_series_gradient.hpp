#pragma once
// Derivatives of the point-lens mean-value series (point_lens_series.hpp) with respect to the
// separation, the source radius and the profile's radial moments, term by term.

#include <array>
#include <cstddef>
#include <span>

#include "models/point_lens_series.hpp"
#include "simd/simd_isa.hpp"

namespace vellomir {

struct SeriesGradient {
    double value;  // point_lens_mean_value_series(u, rho, moments).value, bit for bit
    double d_u;    // d mean / du
    double d_rho;  // d mean / d rho
    // d mean / d moments[k] for k >= 1 (index 0 is unused: moments[0] = 1 always); the terms
    // beyond `terms` are zero.
    std::array<double, POINT_LENS_SERIES_MAX_TERMS> d_moment;
    std::size_t terms;         // terms summed for the derivatives
    double truncation_bound;   // bound on the terms left out of d_rho and d_moment, relative to their first term
    double value_truncation_bound;  // point_lens_mean_value_series(u, rho, moments).truncation_bound
};

// The series and its derivatives at u > rho > 0 (finite). The derivatives sum one term more than
// the value needs (their first term is of order z = (rho/u)^2, the value's of order 1), so that
// the tail left out of d_rho is below 2^-60 of it wherever the series converges fast enough for
// the value; truncation_bound says how far it is. Pure; no allocation.
SeriesGradient point_lens_mean_value_series_gradient(double u, double rho, std::span<const double> moments) noexcept;

// Weighted sums of d_moment a batch may form per element (a law's coefficients).
inline constexpr std::size_t SERIES_GRADIENT_MAX_WEIGHTS = 4;

// Where point_lens_mean_value_series_gradient_batch writes element i: each array has the batch's
// length; weighted[c] for c < the number of weights.
struct SeriesGradientColumns {
    double* value;
    double* d_u;
    double* d_rho;
    double* truncation_bound;
    double* value_truncation_bound;
    std::array<double*, SERIES_GRADIENT_MAX_WEIGHTS> weighted;
};

// For each i: g = point_lens_mean_value_series_gradient(u[i], rho[i], moments), bit for bit, its
// value, d_u, d_rho and bounds, and weighted[c][i] = sum over j from g.terms - 1 down to 1 of
// g.d_moment[j] weights[c][j] (summed in that order), several elements at a time in SIMD
// registers. u[i] > rho[i] > 0, finite; 1 <= moments.size(); weights.size() <=
// SERIES_GRADIENT_MAX_WEIGHTS, each of POINT_LENS_SERIES_MAX_TERMS values. Defined with the
// other batched kernels (models_batch.cpp).
void point_lens_mean_value_series_gradient_batch(std::span<const double> u, std::span<const double> rho,
                                                 std::span<const double> moments,
                                                 std::span<const double* const> weights,
                                                 const SeriesGradientColumns& out,
                                                 SimdIsa isa = active_simd_isa()) noexcept;

}  // namespace vellomir
