// Centroid shift of a uniform disk of radius rho centred at distance u from a point lens
// (Einstein radii). A point source at distance x has two images whose light centroid lies at
// s (x^2 + 3) / (x^2 + 2) with total magnification A(x) = (x^2 + 2) / (x sqrt(x^2 + 4)). Over
// the disk, in polar coordinates (x, phi) about the lens, the angular integral of cos(phi) is
// algebraic, and with t = x^2, a = (u - rho)^2, b = (u + rho)^2
//   int_disk s_x A_c d^2s = 1/(2u) int_a^b (t + 3) sqrt((b - t)(t - a)) / sqrt(t (t + 4)) dt,
// a complete elliptic integral. t = a / (1 - n sn^2 v) maps [a, b] onto the quarter period with
// n = 4 u rho / (u + rho)^2 and m = 4n / g^2, g = sqrt((u - rho)^2 + 4), the characteristic and
// parameter of the magnification (Witt & Mao 1994, ApJ 430, 505). Subtracting u times the
// magnification's integral, the K terms cancel identically and
//   pi rho^2 A delta = d / (4 u g) [ s^2 g^2 (K - E) - 4 d^2 (Pi(n) - K) ],  d = u - rho, s = u + rho,
// or in Carlson's forms (DLMF 19.25.1, 19.25.2), nc = 1 - n = (d/s)^2, mc = 1 - m:
//   pi rho^2 A delta = (4 rho d / (3g)) [ RD(0, mc, 1) - nc RJ(0, mc, 1, nc) ].
// So delta = 0 on the rim (d = 0) and changes sign there. Both brackets cancel where n is
// small; with Bulirsch's generalized integral cel(kc, p, a, b) (Numer. Math. 13, 305 (1969)),
//   (K - E) / m = cel(kc, 1, 0, 1),   nc (Pi - K) / n = cel(kc, nc, 0, nc),   kc = sqrt(mc),
// both of positive terms, so
//   A delta = 4 d (X - Z) / (pi g rho),   X = cel(kc, 1, 0, 1),  Z = cel(kc, nc, 0, nc),
// whose one subtraction loses about eps / n. Where n <= 0.05 (the lens within 0.0127 rho of the
// centre) the difference is summed instead: RD - nc RJ = n J with
//   J = (3/2) int_0^inf sqrt(t) dt / ((t + 1)^(3/2) (t + nc) sqrt(t + mc))
//     = (3 pi / 16) sum_L beta_L sum_{k <= L} (1/2)_k / k! m^k n^(L - k),
//   beta_0 = 1, beta_(L+1) = beta_L (L + 3/2) / (L + 3),
// (expanding (t + 1 - n)^-1 and (t + 1 - m)^-1/2 about t + 1), so A delta = u d J' / (g s^2)
// with J' = 16 J / (3 pi) = 1 + O(n): exact to the last bits, and 0 at u = 0. From u = 3 rho on,
// the mean-value series (centroid_series.hpp). Checked against 2-D integration over the disk
// (tools/gen_centroid_references.py).

#include "models/centroid.hpp"

#include <cmath>
#include <limits>

#include "ellip/cel.hpp"
#include "models/centroid_series.hpp"
#include "models/model_constants.hpp"
#include "models/point_lens_series.hpp"
#include "models/uniform_disk_moments.hpp"
#include "models/witt_mao.hpp"

namespace vellomir {
namespace {

constexpr double FAILED = std::numeric_limits<double>::quiet_NaN();

using namespace centroid_forms;

// sqrt(x^2 + 4) without overflow.
double root_of_square_plus_four(double x) noexcept {
    const double magnitude = std::fabs(x);
    if (magnitude > 1.0) {
        const double ratio = 2.0 / magnitude;
        return magnitude * std::sqrt(1.0 + ratio * ratio);
    }
    return std::sqrt(x * x + 4.0);
}

// X - Z = cel(kc, 1, 0, 1) - cel(kc, nc, 0, nc), root_nc = sqrt(nc) > 0, 0 < kc <= 1: the two
// share the arithmetic-geometric mean of 1 and kc. Bulirsch's start: X's p = sqrt(1) and
// b = 1 / sqrt(1); Z's p = sqrt(nc) and b = nc / sqrt(nc) = sqrt(nc).
double cel_difference(double kc, double root_nc) noexcept {
    const auto [x, z] = cel<2>(kc, {{{1.0, 0.0, 1.0}, {root_nc, 0.0, root_nc}}});
    return x - z;
}

double closed_form(double u, double rho) noexcept {
    const double d = u - rho;
    const double s = u + rho;
    const double g = root_of_square_plus_four(d);
    const double u_s = u / s;
    const double rho_s = rho / s;
    const double n = 4.0 * u_s * rho_s;
    if (n <= CENTRE_SERIES_LARGEST_N) {
        const double two_g = 2.0 / g;
        const double m = n * (two_g * two_g);
        return u_s * (d / s) * centre_series(n, m) / g;
    }
    const double root_nc = std::fabs(d) / s;
    const double h = root_of_square_plus_four(s);
    const double kc = root_nc * (h / g);
    return 4.0 * d * cel_difference(kc, root_nc) / (PI * g * rho);
}

}  // namespace

double disk_weighted_centroid_shift(double u, double rho) noexcept {
    if (!(u >= 0.0) || !(rho >= 0.0)) return FAILED;
    if (std::isinf(u) || std::isinf(rho)) return 0.0;  // both tend to 0 (1 / u, -u / rho^2)
    if (rho == 0.0 || u >= SERIES_RATIO * rho) {
        if (u == 0.0) return 0.5;  // rho = 0 at the lens: A delta = 1 / sqrt(x^2 + 4)
        return centroid_mean_value_series(u, rho, UNIFORM_DISK_MOMENTS).weighted_shift;
    }
    if (u == 0.0 || u == rho) return 0.0;
    if (rho < SMALLEST_UNSCALED_RHO) return closed_form(u * SMALL_DISK_SCALE, rho * SMALL_DISK_SCALE);
    return closed_form(u, rho);
}

bool uniform_centroid_is_closed_form(double u, double rho) noexcept {
    return u > 0.0 && rho >= SMALLEST_UNSCALED_RHO && u < SERIES_RATIO * rho && u != rho && std::isfinite(rho);
}

double uniform_centroid_shift(double u, double rho) noexcept {
    if (!(u >= 0.0) || !(rho >= 0.0)) return FAILED;
    if (rho == 0.0) {
        // The point source, without overflow of u^2.
        return u <= 1.0 ? u / (u * u + 2.0) : 1.0 / (u + 2.0 / u);
    }
    if (std::isinf(u) || std::isinf(rho)) return 0.0;
    if (u >= SERIES_RATIO * rho) {
        const CentroidSeriesSum series = centroid_mean_value_series(u, rho, UNIFORM_DISK_MOMENTS);
        return series.weighted_shift / series.magnification;
    }
    if (u == 0.0 || u == rho) return 0.0;
    if (rho < SMALLEST_UNSCALED_RHO) {
        const double scaled_u = u * SMALL_DISK_SCALE;
        const double scaled_rho = rho * SMALL_DISK_SCALE;
        return closed_form(scaled_u, scaled_rho) / witt_mao_magnification_scaled(scaled_u, scaled_rho) / SMALL_DISK_SCALE;
    }
    return closed_form(u, rho) / witt_mao_magnification_scaled(u, rho);
}

}  // namespace vellomir
