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
#include <cmath>
#include <limits>

#include "models/point_lens_series_tables.hpp"

namespace vellomir {
namespace {

static_assert(POINT_LENS_SERIES_MAX_TERMS == point_lens_series_tables::TABULATED_TERMS);

double q_polynomial(std::size_t k, double big_y) noexcept {
    const double* c = point_lens_series_tables::Q.data() + k * (k - 1);
    double sum = c[2 * k - 1];
    for (std::size_t j = 2 * k - 1; j-- > 0;) sum = sum * big_y + c[j];
    return sum;
}

}  // namespace

SeriesSum point_lens_mean_value_series(double u, double rho, std::span<const double> moments) noexcept {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const std::size_t available = std::min(moments.size(), POINT_LENS_SERIES_MAX_TERMS);
    if (available == 0) return {0.0, infinity};

    // eps, Y and y without overflow or underflow of u^2 where it matters: beyond u = 1 through
    // t = 4 / u^2, which only underflows where eps^2 no longer counts next to 1.
    double eps, big_y, y;
    if (u > 1.0) {
        const double t = 4.0 / u / u;
        eps = t / (1.0 + t);
        big_y = 1.0 / (1.0 + t);
        y = 1.0 / std::sqrt(1.0 + t);
    } else {
        const double s = u * u;
        eps = 4.0 / (s + 4.0);
        big_y = s / (s + 4.0);
        y = u / std::sqrt(s + 4.0);
    }
    const double ratio = rho / u;
    const double z = ratio * ratio;

    // Number of terms: the first K whose tail bound B_K z^K / (1 - z) is negligible, else all.
    std::size_t terms = available;
    double bound = infinity;
    if (z < 1.0) {
        double power = 1.0;
        for (std::size_t k = 1; k <= available; ++k) {
            power *= z;
            const double tail = point_lens_series_tables::B[k] * power / (1.0 - z);
            if (k == available || tail <= POINT_LENS_SERIES_NEGLIGIBLE_TAIL) {
                terms = k;
                bound = tail;
                break;
            }
        }
    }

    // Horner's scheme in z over the terms 1 .. terms - 1, smallest first.
    double sum = 0.0;
    for (std::size_t k = terms - 1; k >= 1; --k) sum = z * (moments[k] * q_polynomial(k, big_y) + sum);
    const double m0 = moments[0];
    const double point_excess = m0 / (2.0 * ((1.0 + y) * (1.0 + y)));
    return {m0 + (eps * eps / y) * (point_excess + sum), bound};
}

}  // namespace vellomir
