// The mean-value series of the point-lens magnification. With s = u^2 the plane Laplacian of a
// radial function is 4 d/ds s d/ds; in y = u / sqrt(u^2 + 4), Y = y^2, eps = 1 - Y = 4 / (u^2 + 4):
//   A = (1 + Y) / (2y) = 1 + eps^2 / (2 y (1 + y)^2),
//   term k = (rho^2/4)^k / (k!)^2 Laplacian^k A = (eps^2 / y) z^k Q_k(Y),  z = (rho/u)^2,
// with the polynomials Q_k of tools/gen_point_lens_series.py, positive on [0, 1]. So
//   mean = m_0 + (eps^2 / y) (m_0 / (2 (1 + y)^2) + sum_{k>=1} m_k z^k Q_k(Y)),
// a sum of positive terms above 1, which keeps its relative accuracy from the lens out to
// u = 1e300 (A - 1 is never formed by cancellation).

#include "models/point_lens_series.hpp"

#include <algorithm>
#include <limits>

#include "models/point_lens_series_terms.hpp"

namespace vellomir {

SeriesSum point_lens_mean_value_series(double u, double rho, std::span<const double> moments) noexcept {
    namespace series = point_lens_series_terms;
    const std::size_t available = std::min(moments.size(), POINT_LENS_SERIES_MAX_TERMS);
    if (available == 0) return {0.0, std::numeric_limits<double>::infinity()};
    const series::Variables v = series::variables(u, rho);
    const series::TermCount count = series::value_terms(v.z, available);
    // Horner's scheme in z over the terms 1 .. count.terms - 1, smallest first.
    double sum = 0.0;
    for (std::size_t k = count.terms - 1; k >= 1; --k) sum = v.z * (moments[k] * series::q_polynomial(k, v.big_y) + sum);
    const double m0 = moments[0];
    return {m0 + (v.eps * v.eps / v.y) * (series::point_excess(m0, v.y) + sum), count.bound};
}

}  // namespace vellomir
