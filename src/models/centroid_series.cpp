// The mean-value series of the centroid shift (definitions in centroid_series.hpp and
// tools/gen_centroid_series.py). With Y = u^2 / (u^2 + 4) and z = (rho/u)^2:
//   <A> delta = sum_k m_k z^k R_k(Y) / sqrt(u^2 + 4),
// the point source (z = 0) giving A delta = 1 / sqrt(u^2 + 4), i.e. delta = u / (u^2 + 2).
// 1 / sqrt(u^2 + 4) is formed as 1 / (u sqrt(1 + 4 / u^2)) beyond u = 1, so that nothing
// overflows out to u = 1e300.

#include "models/centroid_series.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "models/centroid_series_tables.hpp"

namespace vellomir {
namespace {

static_assert(centroid_series_tables::TABULATED_TERMS == POINT_LENS_SERIES_MAX_TERMS);

constexpr double NEGLIGIBLE_TAIL = 0x1p-60;
// The numerator's terms after the first are of one sign, so it is at least
// 1 - C_1 m_1 z / (1 - z) (C_k <= C_1, m_k <= m_1); no bound is claimed below this.
constexpr double SMALLEST_NUMERATOR_BOUND = 0.25;

double r_polynomial(std::size_t k, double big_y) noexcept {
    const std::size_t begin = centroid_series_tables::OFFSET[k];
    std::size_t j = centroid_series_tables::OFFSET[k + 1] - 1;
    double sum = centroid_series_tables::R[j];
    while (j-- > begin) sum = sum * big_y + centroid_series_tables::R[j];
    return sum;
}

}  // namespace

CentroidSeriesSum centroid_mean_value_series(double u, double rho, std::span<const double> moments) noexcept {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const std::size_t available = std::min(moments.size(), POINT_LENS_SERIES_MAX_TERMS);
    const SeriesSum magnification = point_lens_mean_value_series(u, rho, moments);
    if (available == 0) return {0.0, magnification.value, infinity};

    double big_y, inverse_root;  // Y and 1 / sqrt(u^2 + 4)
    if (u > 1.0) {
        const double t = 4.0 / u / u;
        big_y = 1.0 / (1.0 + t);
        inverse_root = 1.0 / (u * std::sqrt(1.0 + t));
    } else {
        const double s = u * u;
        big_y = s / (s + 4.0);
        inverse_root = 1.0 / std::sqrt(s + 4.0);
    }
    const double ratio = rho / u;
    const double z = ratio * ratio;

    std::size_t terms = available;
    double bound = infinity;
    const double first_moment = available > 1 ? moments[1] : 0.0;
    const double numerator_bound = 1.0 - centroid_series_tables::C[1] * first_moment * z / (1.0 - z);
    if (z < 1.0 && numerator_bound >= SMALLEST_NUMERATOR_BOUND) {
        double power = 1.0;
        for (std::size_t k = 1; k <= available; ++k) {
            power *= z;
            const double tail = centroid_series_tables::C[k < available ? k : available - 1] * power / (1.0 - z);
            if (k == available || tail <= NEGLIGIBLE_TAIL) {
                terms = k;
                bound = tail / numerator_bound;
                break;
            }
        }
    }

    double sum = 0.0;
    for (std::size_t k = terms - 1; k >= 1; --k) sum = z * (moments[k] * r_polynomial(k, big_y) + sum);
    const double numerator = (moments[0] + sum) * inverse_root;
    return {numerator, magnification.value, bound + magnification.truncation_bound};
}

}  // namespace vellomir
