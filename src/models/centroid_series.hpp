#pragma once
// Centroid shift of a radially symmetric source far from a point lens, by the mean-value
// expansion in the source radius (tools/gen_centroid_series.py): the numerator
// <s_x A_c(x) - u A(x)> over the source as a series in its iterated Laplacians, over the
// magnification's own series (point_lens_series.hpp).

#include <span>

#include "models/point_lens_series.hpp"

namespace vellomir {

struct CentroidSeriesSum {
    double weighted_shift;    // <A> delta: the numerator's truncated sum
    double magnification;     // <A>: the denominator's truncated sum
    double truncation_bound;  // a bound on the relative error of weighted_shift / magnification
};

// u: lens-source separation, rho: source radius (Einstein radii), rho < u; moments[k] =
// <r^(2k)> as for point_lens_mean_value_series (0 <= moments[k+1] <= moments[k] <= 1). The
// numerator is sum_k moments[k] z^k R_k(Y) / sqrt(u^2 + 4), z = (rho/u)^2; its terms after the
// first are of one sign and at most C_k z^k, so the sum stays above L = 1 - C_1 moments[1] z /
// (1 - z), and the tail after K terms is at most C_K z^K / (1 - z), i.e. that over L relative.
// The bound is +inf where L < 1/4. Pure; no allocation.
CentroidSeriesSum centroid_mean_value_series(double u, double rho, std::span<const double> moments) noexcept;

}  // namespace vellomir
