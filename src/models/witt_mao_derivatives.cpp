// Derivatives of the uniform disk's magnification A(u, rho) (Witt & Mao 1994, ApJ 430, 505).
// With s = u + rho, d = u - rho, g = sqrt(d^2 + 4), n = 4 u rho / s^2, m = 4 n / g^2 and
// K = K(m), E = E(m), Pi = Pi(n, m) (witt_mao.cpp):
//   dA/du   = s g ((m - 2) K + 2 E) / (2 pi u rho^2),
//   dA/drho = 2 (H - A) / rho
//           = (2 / (pi rho)) [ (4 K - 2 (d/rho)^2 Pi) / (s g) + t_K - t_E ],
// where t_E = s g E / (2 rho^2) and t_K = d (d s / 2 + 4) K / (g rho^2) are the value's terms and
// H = (4 K + 2 d^2 Pi) / (pi s g) the magnification of the disk's rim (Heyrovsky 2003).
// The second line is Reynolds' transport of the disk integral: d(pi rho^2 A)/drho = 2 pi rho H.
// The first follows from the rim integral of the point-lens magnification weighted by cos phi,
// (1/2pi) int A_p cos phi dphi, which the substitution s^2 = b^2 / (1 - n sn^2 w) (Byrd &
// Friedman 256.00) reduces to K and E: the Pi terms cancel. Both agree with numerical
// derivatives of the closed form to 30 digits (tools/gen_derivative_references.py checks them
// against the star's 2-D integral instead).
// Cancellation: (m - 2) K + 2 E vanishes as m^2 for small m (lens near the centre, or a large
// disk); there its Maclaurin series -(pi/2) sum_{j>=2} a_{j-1} (j-1)/j m^j, a_j = ((2j-1)!! /
// (2j)!!)^2 (DLMF 19.5.1, 19.5.2), of terms of one sign, is used. Next to the rim K and Pi come
// from the complements 1 - m, 1 - n as for the value. Far out (u >= 3 rho) the mean-value series
// is differentiated term by term (point_lens_series_gradient.hpp).

#include "models/witt_mao_derivatives.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "ellip/legendre.hpp"
#include "models/model_constants.hpp"
#include "models/point_lens_series_gradient.hpp"
#include "models/uniform_disk_moments.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_general_form.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr double INFINITE = std::numeric_limits<double>::infinity();

using namespace witt_mao_forms;
using namespace witt_mao_derivative_forms;

// ((m - 2) K(m) + 2 E(m)) / m^2 by its Maclaurin series, m < SERIES_PARAMETER, smallest term first.
double kernel_over_m2_series(double m) noexcept {
    double sum = 0.0;
    for (std::size_t i = PARAMETER_SERIES_TERMS; i-- > 0;) sum = sum * m + KERNEL_SERIES[i];
    return -HALF_PI * sum;
}

DiskGradient point_source_gradient(double u) noexcept {
    const double value = witt_mao_magnification_scaled(u, 0.0);
    if (u == 0.0) return {value, -INFINITE, NOT_A_NUMBER};
    // d/du (u^2 + 2) / (u sqrt(u^2 + 4)) = -8 / (u^2 (u^2 + 4)^(3/2)), written without u^2
    // overflowing beyond u = 1.
    double slope;
    if (u > 1.0) {
        const double t = 1.0 + 4.0 / u / u;
        slope = -8.0 / u / u / u / u / u / (t * std::sqrt(t));
    } else {
        const double q = u * u + 4.0;
        slope = -8.0 / (u * u * (q * std::sqrt(q)));
    }
    return {value, slope, 0.0};
}

// From E(m), K(m), Pi(n, m) (NaN where their routine failed).
DiskGradient finish(const GeneralGeometry& in, double e, double k, double p) noexcept {
    if (std::isnan(e) || std::isnan(k) || std::isnan(p)) return {NOT_A_NUMBER, NOT_A_NUMBER, NOT_A_NUMBER};
    const double u = in.u, rho = in.rho, sum = in.sum, g = in.g, g2 = in.g2;
    const auto [d_rho, e_factor, t_e, t_k, t_p, a] = general_terms(in, e, k, p);

    // dA/du. m itself (not 1 - its complement) where it is small: n (4 / g^2) with
    // n = 4 (u / s)(rho / s).
    double slope_u = 0.0;
    if (u > 0.0) {
        const double m = (4.0 * (u / sum) * (rho / sum)) * (4.0 / g2);
        if (m < SERIES_PARAMETER) {
            // e_factor m^2 S(m) / (pi u), with m / u = 16 rho / (s^2 g^2) free of the 0 / 0.
            slope_u = (e_factor * m / PI) * ((16.0 / g2) * (rho / sum) / sum) * kernel_over_m2_series(m);
        } else {
            const double kernel = 2.0 * e - (1.0 + in.m_complement) * k;
            slope_u = e_factor * kernel / (PI * u);
        }
    }
    const double slope_rho = (2.0 / (PI * rho)) * ((4.0 * k - 2.0 * (d_rho * d_rho) * p) / (sum * g) + (t_k - t_e));
    return {a < 1.0 ? 1.0 : a, slope_u, slope_rho};
}

DiskGradient general_case(double u, double rho) noexcept {
    const GeneralGeometry in = general_geometry(u, rho);
    const Result<double> e = ellipe_complement(in.m_complement);
    const Result<double> k = ellipk_complement(in.m_complement);
    const Result<double> p = ellippi_complement(in.n_complement, in.m_complement);
    if (!e.ok() || !k.ok() || !p.ok()) return {NOT_A_NUMBER, NOT_A_NUMBER, NOT_A_NUMBER};
    return finish(in, e.value(), k.value(), p.value());
}

DiskGradient scaled_back(DiskGradient g, double scale) noexcept {
    if (scale == 1.0) return g;
    return {g.value * scale, g.d_u * scale * scale, g.d_rho * scale * scale};
}

}  // namespace

DiskGradient witt_mao_derivatives_scaled(double u, double rho) noexcept {
    if (!(u >= 0.0) || !(rho >= 0.0)) return {NOT_A_NUMBER, NOT_A_NUMBER, NOT_A_NUMBER};
    if (rho == 0.0) return point_source_gradient(u + 0.0);
    if (std::isinf(u)) return {witt_mao_magnification_scaled(u, rho), 0.0, 0.0};
    if (u == rho) return {witt_mao_magnification_scaled(u, rho), -INFINITE, INFINITE};
    if (u >= SERIES_RATIO * rho) {
        const SeriesGradient series = point_lens_mean_value_series_gradient(u, rho, UNIFORM_DISK_MOMENTS);
        // Above LARGEST_RHO the value is 1 (as witt_mao_magnification_scaled returns it).
        return {rho >= LARGEST_RHO ? 1.0 : series.value, series.d_u, series.d_rho};
    }
    if (rho >= LARGEST_RHO) return {1.0, 0.0, 0.0};
    if (rho < SMALLEST_UNSCALED_RHO) {
        // A(u, rho) = A(c u, c rho) c to far below an ulp for sources this small, so each
        // derivative scales by c^2.
        return scaled_back(general_case(u * SMALL_DISK_SCALE, rho * SMALL_DISK_SCALE), SMALL_DISK_SCALE);
    }
    return general_case(u, rho);
}

}  // namespace vellomir
