// Carlson's symmetric elliptic integrals RF, RD, RJ and RC by the duplication
// theorem, with arithmetic-geometric-mean shortcuts where one argument is zero.
// B. C. Carlson, "Numerical computation of real or complex elliptic integrals",
// Numer. Algorithms 10, 13 (1995); the AGM forms follow Carlson, DLMF 19.36.
//
// Every expression keeps the order and grouping written here: -ffp-contract=off
// and the fixed order make results reproducible to the last bit.

#include "ellip/carlson.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "base/math_constants.hpp"
#include "ellip/carlson_series.hpp"
#include "ellip/ellip_constants.hpp"

namespace vellomir {
namespace {

using namespace ellip_constants;
using namespace carlson_series;

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Maximum and minimum that ignore a NaN operand (std::max does not): the maximum of
// NaN and a number is the number, so that the error bounds stay meaningful.
constexpr double max_ignoring_nan(double a, double b) noexcept { return (a > b || std::isnan(b)) ? a : b; }
constexpr double min_ignoring_nan(double a, double b) noexcept { return (a < b || std::isnan(b)) ? a : b; }

// RJ for p > 0 (or NaN p): the shortcuts for coinciding arguments, then duplication.
double elliprj_positive_p(double x, double y, double z, double p) noexcept {
    if (x == y) {
        if (x == z) {
            if (x == p) {
                return 1.0 / (x * std::sqrt(x));
            }
            return (3.0 / (x - p)) * (elliprc(x, p) - 1.0 / std::sqrt(x));
        }
        std::swap(x, z);  // now y = z
    }
    if (y == z) {
        if (y == p) {
            return elliprd_unchecked(x, y, y);
        }
        // RJ(x, y, y, p) in closed form through RC, accurate while y and p are apart.
        if (max_ignoring_nan(y, p) / min_ignoring_nan(y, p) > 1.2) {
            return 3.0 * (elliprc(x, y) - elliprc(x, p)) / (p - y);
        }
    }
    if (z == p) {
        return elliprd_unchecked(x, y, z);
    }

    const double a0 = (x + y + z + 2.0 * p) / 5.0;
    double delta = (p - x) * (p - y) * (p - z);
    const double q = rj_start_factor * max_ignoring_nan(max_ignoring_nan(std::fabs(a0 - x), std::fabs(a0 - y)),
                                                        max_ignoring_nan(std::fabs(a0 - z), std::fabs(a0 - p)));
    double a = a0;
    double f = 1.0;
    double sum = 0.0;
    double xn = x;
    double yn = y;
    double zn = z;
    double pn = p;
    bool converged = false;
    for (int step = 0; step < rj_iteration_cap; ++step) {
        const double sx = std::sqrt(xn);
        const double sy = std::sqrt(yn);
        const double sz = std::sqrt(zn);
        const double sp = std::sqrt(pn);
        const double d = (sx + sp) * (sy + sp) * (sz + sp);
        const double e = delta / (d * d);
        if (-1.5 < e && e < -0.5) {
            // Near e = -1 the argument 1 + e cancels: build it from the square roots instead.
            const double b = 2.0 * sp * (pn + sx * (sy + sz) + sy * sz) / d;
            sum = sum + (f / d) * elliprc(1.0, b);
        } else {
            sum = sum + (f / d) * rc_one_one_plus(e);
        }
        const double lambda = sx * sy + sx * sz + sy * sz;
        a = (a + lambda) * 0.25;
        f = f * 0.25;
        if (a > f * q) {
            converged = true;
            break;
        }
        xn = (xn + lambda) * 0.25;
        yn = (yn + lambda) * 0.25;
        zn = (zn + lambda) * 0.25;
        pn = (pn + lambda) * 0.25;
        delta = delta * 0.015625;
    }
    if (!converged) {
        return quiet_nan;
    }

    return f * std::pow(a, -1.5) * rj_series(f, a, a0, x, y, z) + 6.0 * sum;
}

}  // namespace

double elliprc(double x, double y) noexcept {
    // Principal value for y < 0 (DLMF 19.2.20); -0.0 is not below zero.
    double prefix = 1.0;
    double a = x;
    double b = y;
    if (y < 0.0) {
        prefix = std::sqrt(x / (x - y));
        a = x - y;
        b = -y;
    }
    double r;
    if (a == 0.0) {
        r = (PI / 2.0) / std::sqrt(b);
    } else if (a == b) {
        r = 1.0 / std::sqrt(a);
    } else if (b > a) {
        r = std::atan(std::sqrt((b - a) / a)) / std::sqrt(b - a);
    } else if (b < a && b / a > 0.5) {
        // artanh(s) / sqrt(a - b) through log1p: the logarithm below would cancel for b near a.
        const double s = std::sqrt((a - b) / a);
        r = (std::log1p(s) - std::log1p(-s)) / (2.0 * std::sqrt(a - b));
    } else {
        r = std::log((std::sqrt(a) + std::sqrt(a - b)) / std::sqrt(b)) / std::sqrt(a - b);
    }
    return prefix * r;
}

double elliprf_unchecked(double x, double y, double z) noexcept {
    // Two equal arguments reduce RF to RC; exact equality of doubles throughout.
    if (x == y) {
        if (x == z) {
            return 1.0 / std::sqrt(x);
        }
        if (z == 0.0) {
            return PI / (2.0 * std::sqrt(x));
        }
        return elliprc(z, x);
    }
    if (x == z) {
        if (y == 0.0) {
            return PI / (2.0 * std::sqrt(x));
        }
        return elliprc(y, x);
    }
    if (y == z) {
        if (x == 0.0) {
            return PI / (2.0 * std::sqrt(y));
        }
        return elliprc(x, y);
    }
    if (x == 0.0) {
        std::swap(x, z);
    } else if (y == 0.0) {
        std::swap(y, z);
    }

    if (z == 0.0) {
        // RF(x, y, 0) = pi / (2 AGM(sqrt x, sqrt y)) (DLMF 19.22.1). A NaN stops the loop at once.
        double a = std::sqrt(x);
        double g = std::sqrt(y);
        for (int step = 0; step < rf_iteration_cap; ++step) {
            if (!(std::fabs(a - g) >= agm_tolerance * std::fabs(a))) {
                break;
            }
            const double t = std::sqrt(a * g);
            a = (a + g) * 0.5;
            g = t;
        }
        return PI / (a + g);
    }

    const double a0 = (x + y + z) / 3.0;
    // |A0| is among the terms on purpose: it keeps Q from being too small when x, y, z nearly agree.
    double q = rf_start_factor * max_ignoring_nan(max_ignoring_nan(std::fabs(a0), std::fabs(a0 - x)),
                                                  max_ignoring_nan(std::fabs(a0 - y), std::fabs(a0 - z)));
    double a = a0;
    double f = 1.0;
    double xn = x;
    double yn = y;
    double zn = z;
    bool converged = false;
    for (int step = 0; step < rf_iteration_cap; ++step) {
        const double sx = std::sqrt(xn);
        const double sy = std::sqrt(yn);
        const double sz = std::sqrt(zn);
        const double lambda = sx * sy + sx * sz + sy * sz;
        a = (a + lambda) * 0.25;
        xn = (xn + lambda) * 0.25;
        yn = (yn + lambda) * 0.25;
        zn = (zn + lambda) * 0.25;
        q = q * 0.25;
        f = f * 4.0;
        if (std::fabs(a) > q) {
            converged = true;
            break;
        }
    }
    if (!converged) {
        return quiet_nan;
    }

    return rf_series(f, a, a0, x, y) / std::sqrt(a);
}

double elliprd_unchecked(double x, double y, double z) noexcept {
    if (x == z) {
        std::swap(x, y);
    }
    if (y == z) {
        if (x == y) {
            return 1.0 / (x * std::sqrt(x));
        }
        if (x == 0.0) {
            return 9.42477796076938 / (4.0 * y * std::sqrt(y));  // 3 pi / (4 y^{3/2})
        }
    }

    if (x == 0.0) {
        // x = y = 0: the integral diverges at t = 0. The AGM below would halve a towards 0
        // with g stuck at 0, and once both are 0 its test 0 >= 0 would hold for ever.
        if (y == 0.0) {
            return infinity;
        }
        // RD(0, y, z) from the AGM of sqrt y and sqrt z with a weighted sum of squared
        // differences (Carlson 1995, sec. 3; DLMF 19.22.7 to 19.22.9).
        double a = std::sqrt(y);
        double g = std::sqrt(z);
        const double a0 = a;
        const double g0 = g;
        double sum = 0.0;
        double w = 0.25;
        for (int step = 0; std::fabs(a - g) >= agm_tolerance * std::fabs(a); ++step) {
            if (step == rd_agm_cap) {
                return quiet_nan;
            }
            const double t = std::sqrt(a * g);
            a = (a + g) * 0.5;
            g = t;
            w = 2.0 * w;
            sum = sum + w * ((a - g) * (a - g));
        }
        const double rf = PI / (a + g);
        return 3.0 * rf * ((a0 + 3.0 * g0) / (4.0 * z * (a0 + g0)) - sum / ((y - z) * z));
    }

    const double a0 = (x + y + 3.0 * z) / 5.0;
    // No absolute values: A0 - z carries weight 3 and the three deviations sum to zero.
    double q = max_ignoring_nan(max_ignoring_nan(a0 - x, a0 - y), a0 - z) * rd_start_factor * 1.2;
    double a = a0;
    double f = 1.0;
    double sum = 0.0;
    double xn = x;
    double yn = y;
    double zn = z;
    bool converged = false;
    for (int step = 0; step < rd_iteration_cap; ++step) {
        const double sx = std::sqrt(xn);
        const double sy = std::sqrt(yn);
        const double sz = std::sqrt(zn);
        const double lambda = sx * sy + sx * sz + sy * sz;
        sum = sum + f / (sz * (zn + lambda));
        a = (a + lambda) * 0.25;
        xn = (xn + lambda) * 0.25;
        yn = (yn + lambda) * 0.25;
        zn = (zn + lambda) * 0.25;
        f = f * 0.25;
        q = q * 0.25;
        if (a > q) {
            converged = true;
            break;
        }
    }
    if (!converged) {
        return quiet_nan;
    }

    const double dx = f * (a0 - x) / a;
    const double dy = f * (a0 - y) / a;
    const double dz = (dx + dy) / -3.0;
    const double xy = dx * dy;
    const double e2 = xy - 6.0 * (dz * dz);
    const double e3 = (3.0 * xy - 8.0 * (dz * dz)) * dz;
    const double e4 = 3.0 * (xy - dz * dz) * (dz * dz);
    const double e5 = xy * (dz * dz * dz);
    return 3.0 * sum + f * std::pow(a, -1.5) * rd_rj_series(e2, e3, e4, e5);
}

double elliprj_unchecked(double x, double y, double z, double p) noexcept {
    if (!(p <= 0.0)) {
        return elliprj_positive_p(x, y, z, p);
    }
    // Cauchy principal value for p <= 0 (Carlson 1995, eq. 2.22): with x <= y <= z,
    // q = -p and p' = (z (x + y + q) - x y) / (z + q) > 0,
    // (z + q) RJ(x, y, z, p) = (p' - z) RJ(x, y, z, p') - 3 RF(x, y, z)
    //                        + 3 sqrt(x y z / (x y + p' q)) RC(x y + p' q, p' q).
    if (x > y) {
        std::swap(x, y);
    }
    if (y > z) {
        std::swap(y, z);
    }
    if (x > y) {
        std::swap(x, y);
    }
    const double q = -p;
    const double p_prime = (z * (x + y + q) - x * y) / (z + q);
    // On the domain p' > 0 and one level of recursion suffices. Outside it (a negative
    // argument) or after underflow p' can be <= 0, and recursing again might never end.
    if (p_prime <= 0.0) {
        return quiet_nan;
    }
    const double xy = x * y;
    const double v = (p_prime - z) * elliprj_positive_p(x, y, z, p_prime) - 3.0 * elliprf_unchecked(x, y, z) +
                     3.0 * std::sqrt(xy * z / (xy + p_prime * q)) * elliprc(xy + p_prime * q, p_prime * q);
    return v / (z + q);
}

}  // namespace vellomir
