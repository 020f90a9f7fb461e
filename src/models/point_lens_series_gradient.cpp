// Derivatives of the mean-value series
//   mean = m_0 + W (m_0 / (2 (1 + y)^2) + sum_{k>=1} m_k z^k Q_k(Y)),   W = eps^2 / y,
// with Y = u^2 / (u^2 + 4), y = sqrt(Y), eps = 1 - Y, z = (rho / u)^2 (point_lens_series.cpp).
// From dY/du = 2 eps Y / u, dy/du = eps y / u, dz/du = -2 z / u, dz/drho = 2 z / rho and
// dW/du = -W (1 + 3 Y) / u:
//   d mean / drho = (2 W rho / u^2) sum_k k m_k z^(k-1) Q_k(Y),
//   d mean / du   = (W / u) [ -(1 + 3Y) P - m_0 eps y / (1 + y)^3
//                             + sum_k m_k z^k (2 eps Y Q_k'(Y) - 2 k Q_k(Y)) ],
//   d mean / d m_k = W z^k Q_k(Y)   (k >= 1),
// where P is the bracket of the mean. Every part but the Q_k' terms is of one sign, and those
// carry a factor eps z^k: the sums keep their relative accuracy out to u = 1e300 as the mean's.

#include "models/point_lens_series_gradient.hpp"

#include <algorithm>
#include <limits>

#include "models/point_lens_series_terms.hpp"

namespace vellomir {

SeriesGradient point_lens_mean_value_series_gradient(double u, double rho, std::span<const double> moments) noexcept {
    namespace series = point_lens_series_terms;
    namespace tables = point_lens_series_tables;
    constexpr double infinity = std::numeric_limits<double>::infinity();
    SeriesGradient out{};
    const std::size_t available = std::min(moments.size(), POINT_LENS_SERIES_MAX_TERMS);
    if (available == 0) {
        const SeriesSum series = point_lens_mean_value_series(u, rho, moments);
        out.value = series.value;
        out.value_truncation_bound = series.truncation_bound;
        out.d_u = out.d_rho = std::numeric_limits<double>::quiet_NaN();
        out.truncation_bound = infinity;
        return out;
    }

    const series::Variables v = series::variables(u, rho);
    const double eps = v.eps, big_y = v.big_y, y = v.y, z = v.z;
    // The value's number of terms and bound, as point_lens_series.cpp chooses them.
    const series::TermCount value_count = series::value_terms(z, available);
    // The derivatives': the first K whose tail, relative to the first term of d_rho, is
    // negligible. Term k of d_rho is k times term k of the mean, at most B_k z^k of the point
    // term; the first is B_1 z of it, so (k + 1) B_k z^(k-1) / ((1 - z) B_1) bounds the rest.
    // That tail is above the value's (by 4 (k + 1) / z), so the value needs no more terms.
    std::size_t terms = available;
    double bound = infinity;
    std::array<double, POINT_LENS_SERIES_MAX_TERMS + 1> powers{};  // z^k
    powers[0] = 1.0;
    for (std::size_t k = 1; k <= available; ++k) {
        powers[k] = powers[k - 1] * z;
        if (!(z < 1.0)) continue;
        const double tail =
            static_cast<double>(k + 1) * tables::B[k] * powers[k - 1] / ((1.0 - z) * tables::B[1]);
        if (k == available || tail <= POINT_LENS_SERIES_NEGLIGIBLE_TAIL) {
            terms = k;
            bound = tail;
            break;
        }
    }

    // One pass from the last term down: the value's Horner sum in z over its own terms (as
    // point_lens_series.cpp sums it), the derivatives' sums over theirs. d_rho is summed over
    // z^(k-1) and scaled by z / rho = rho / u^2, which stays finite where z underflows.
    const double m0 = moments[0];
    const double w = eps * eps / y;
    double value_sum = 0.0, rho_sum = 0.0, u_sum = 0.0, series_sum = 0.0;
    for (std::size_t k = terms - 1; k >= 1; --k) {
        const series::PolynomialValue q = series::q_polynomial_and_slope(k, big_y);
        if (k < value_count.terms) value_sum = z * (moments[k] * q.value + value_sum);
        const double kd = static_cast<double>(k);
        out.d_moment[k] = w * (powers[k] * q.value);
        series_sum += moments[k] * (powers[k] * q.value);
        rho_sum += kd * (moments[k] * (powers[k - 1] * q.value));
        u_sum += moments[k] * (powers[k] * ((2.0 * eps) * big_y * q.slope - 2.0 * kd * q.value));
    }
    const double point_excess = series::point_excess(m0, y);
    out.value = m0 + (eps * eps / y) * (point_excess + value_sum);
    out.value_truncation_bound = value_count.bound;

    // The bracket P of the mean (its own sum: it only scales d_u).
    const double bracket = point_excess + series_sum;
    const double one_plus_y = 1.0 + y;
    const double point_slope = m0 * eps * y / (one_plus_y * one_plus_y * one_plus_y);
    out.d_rho = (2.0 * w) * (v.ratio / u) * rho_sum;
    out.d_u = (w / u) * ((u_sum - point_slope) - (1.0 + 3.0 * big_y) * bracket);
    out.terms = terms;
    out.truncation_bound = bound;
    return out;
}

}  // namespace vellomir
