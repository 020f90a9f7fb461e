// K(m), E(m) and Π(n, m), the complete Legendre integrals.
// K, E: T. Fukushima, "Fast computation of complete elliptic integrals and Jacobian
// elliptic functions", Celest. Mech. Dyn. Astron. 105, 305 (2009): Taylor polynomials
// on [0, 0.9), the arithmetic-geometric mean elsewhere, and E(m) = sqrt(1 - m) E(m / (m - 1))
// for m < 0 (imaginary-modulus transformation, DLMF 19.7.5).
// Π: B. C. Carlson, Numer. Algorithms 10, 13 (1995); Π(n, m) = RF(0, 1 - m, 1) + n/3 RJ(0, 1 - m, 1, 1 - n)
// (DLMF 19.25.2), with the transformations of DLMF 19.7.8 and 19.7.9 for n < 0 and n > 1.
// Π from its complements: R. Bulirsch, "Numerical calculation of elliptic integrals and
// elliptic functions. III", Numer. Math. 13, 305 (1969), the generalized integral cel.
//
// Every expression keeps the order and grouping written here, so results are
// reproducible to the last bit; the only library function used is the square root.

#include "ellip/legendre.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/math_constants.hpp"
#include "ellip/carlson.hpp"
#include "ellip/cel.hpp"
#include "ellip/ellip_constants.hpp"
#include "ellip/legendre_tables.hpp"

namespace vellomir {
namespace {

using namespace ellip_constants;

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Interval index trunc(20 x); none when 20 x is NaN or outside [-2^63, 2^63).
std::optional<std::int64_t> interval_index(double x) noexcept {
    const double scaled = 20.0 * x;
    if (std::isnan(scaled) || scaled < -index_bound || scaled >= index_bound) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(scaled);
}

// Indices 0 to 17 select a polynomial; one unsigned comparison sends the negative
// indices to the outer path together with those above 17.
constexpr bool has_polynomial(std::int64_t index) noexcept { return static_cast<std::uint64_t>(index) <= 17; }

// Horner's scheme in t = x - centre, from the highest coefficient down.
double evaluate_taylor(const legendre_tables::TaylorPolynomial& polynomial, double x) noexcept {
    const double t = x + (-polynomial.centre);
    const auto& c = polynomial.coefficients;
    double s = c.back();
    for (std::size_t j = c.size() - 1; j-- > 0;) {
        s = s * t + c[j];
    }
    return s;
}

// E(m) on the outer path 0.9 <= m < 1 as 2 RG(0, 1 - m, 1), by the AGM with a weighted
// sum of squared differences (Carlson 1995, eq. 2.36; DLMF 19.22.7). The loop ends within 8
// updates for m <= 1 - eps and within 12 for 1 - m down to the smallest double; a NaN ends it
// at once, and e_agm_cap (never reached) bounds it as it bounds the lane twin. The factor s of the transformation
// for negative m enters first: s * (...) * (pi / (a + b)).
// root_mc = sqrt(1 - m).
double scaled_ellipe_agm(double s, double root_mc) noexcept {
    const double x0 = 1.0;
    const double y0 = root_mc;
    double a = x0;
    double b = y0;
    double sum = 0.0;
    double w = 0.25;
    for (int update = 0; update < e_agm_cap && std::fabs(a - b) >= agm_tolerance * std::fabs(a); ++update) {
        const double t = std::sqrt(b * a);
        a = (a + b) * 0.5;
        b = t;
        w = w + w;
        sum = sum + (w * (a - b)) * (a - b);
    }
    return s * ((x0 + y0) * (x0 + y0) * 0.25 - sum) * (PI / (a + b));
}

// K(m) = pi / (2 AGM(1, sqrt(1 - m))) (DLMF 19.8.5), root_mc = sqrt(1 - m).
double ellipk_agm(double root_mc) noexcept {
    double a = 1.0;
    double g = root_mc;
    for (int update = 0; update < k_agm_cap; ++update) {
        if (std::fabs(a - g) < agm_tolerance * std::fabs(a)) {
            break;
        }
        const double next_a = (a + g) * 0.5;
        const double next_g = std::sqrt(a * g);
        a = next_a;
        g = next_g;
    }
    return PI / (a + g);
}

// The value of an inner K or E, or NaN for an error, which the diagnosis of Π then reports
// under its own name.
double value_or_nan(const Result<double>& result) noexcept { return result.ok() ? result.value() : quiet_nan; }

// Diagnosis of a candidate value of Π: only a non-finite candidate is examined.
Result<double> diagnose_pi(double v, double n, double m) noexcept {
    if (std::isfinite(v)) {
        return Result<double>::success(v);
    }
    if (std::isnan(n) || std::isnan(m)) {
        return Result<double>::failure(Status::ellippi_nan);
    }
    if (m > just_below_one) {
        if (m > 1.0) {
            return Result<double>::failure(Status::ellippi_m_above_one);
        }
        return Result<double>::success(std::copysign(infinity, 1.0 - n));
    }
    if (n < very_negative || m < very_negative) {
        return Result<double>::success(0.0);  // the limit of the integral
    }
    return Result<double>::failure(Status::ellippi_unexpected);
}

// Π for n > 1 + eps, principal value: Π(n, m) = K(m) - Π(m/n, m) (DLMF 19.6.5) folded
// into one RJ term.
Result<double> ellippi_above_one(double n, double m) noexcept {
    // RJ would be handed a negative second argument for m > 1, and could return a finite
    // number for a meaningless integral: diagnose the arguments as for n < 1.
    if (std::isnan(m)) {
        return Result<double>::failure(Status::ellippi_nan);
    }
    if (m > 1.0) {
        return Result<double>::failure(Status::ellippi_m_above_one);
    }
    const double f = (negative_third * m) / n;
    return diagnose_pi(elliprj_unchecked(0.0, 1.0 - m, 1.0, 1.0 - m / n) * f, n, m);
}

// Π for n <= 0: n = 0 is K; n < 0 through Π(N, m) with N = (m - n) / (1 - n) in (0, 1)
// (DLMF 19.7.9), which keeps RJ off its principal-value path.
double ellippi_nonpositive_n(double n, double m) noexcept {
    if (1.0 - m < epsilon) {
        return -infinity;  // m > 1 - eps: the diagnosis tells +infinity from m > 1
    }
    if (n == 0.0) {
        if (m == 0.0) {
            return HALF_PI;
        }
        return value_or_nan(ellipk(m));
    }
    if (m == n) {
        // Both terms below would divide by m - n = 0; Π(m, m) = E(m) / (1 - m) instead.
        return (1.0 / (1.0 - m)) * value_or_nan(ellipe(m));
    }
    const double big_n = (m - n) / (1.0 - n);
    const double q = (1.0 - m) / (1.0 - n);
    const double f = elliprf_unchecked(0.0, 1.0 - m, 1.0);
    const double j = elliprj_unchecked(0.0, 1.0 - m, 1.0, q);
    const double p = (-n * (f + (j * big_n) / 3.0)) / (1.0 - n);  // -n Π(N, m) / (1 - n)
    const double k = value_or_nan(ellipk(m));
    return ((1.0 - m) * p) / (m - n) + (m * k) / (m - n);
}

// Π(1 - nc, 1 - mc) = cel(sqrt(mc), nc, 1, 1) (cel.hpp). With a = b = 1 and p > 0 every term of
// Bulirsch's iteration is positive, so nothing cancels and the error stays a few ulps for any
// complements. Requires 2^-1000 <= nc < 1 and 0 < mc <= 1.
double ellippi_cel(double nc, double mc) noexcept {
    const double p = std::sqrt(nc);
    return cel<1>(std::sqrt(mc), {{{p, 1.0, 1.0 / p}}})[0];
}

}  // namespace

Result<double> ellipk(double m) noexcept {
    const std::optional<std::int64_t> index = interval_index(m);
    if (!index) {
        if (std::isnan(m)) {
            return Result<double>::failure(Status::ellipk_nan);
        }
        if (m == -infinity) {
            return Result<double>::success(0.0);
        }
        if (m > 1.0) {
            return Result<double>::failure(Status::ellipk_m_above_one);
        }
        return Result<double>::failure(Status::ellipk_unexpected);  // 20 m below -2^63
    }
    if (has_polynomial(*index)) {
        return Result<double>::success(evaluate_taylor(legendre_tables::k_by_index[*index], m));
    }
    if (m >= 1.0) {
        if (m == 1.0) {
            return Result<double>::success(infinity);
        }
        return Result<double>::failure(Status::ellipk_m_above_one);
    }
    // 0.9 <= m < 1 or m <= -0.05; for negative m, g starts above 1 and the same loop serves.
    return Result<double>::success(ellipk_agm(std::sqrt(1.0 - m)));
}

Result<double> ellipe(double m) noexcept {
    // Negative m: E(m) = sqrt(1 - m) E(m'), m' = m / (m - 1) in (0, 1]. NaN and -0.0 are not negative.
    double s = 1.0;
    double m_prime = m;
    if (m < 0.0) {
        if (m == -infinity) {
            return Result<double>::success(infinity);
        }
        s = std::sqrt(1.0 - m);
        m_prime = m / (m - 1.0);
    }
    const std::optional<std::int64_t> index = interval_index(m_prime);
    if (!index) {
        if (std::isnan(m_prime)) {
            return Result<double>::failure(Status::ellipe_nan);
        }
        return Result<double>::failure(Status::ellipe_m_above_one);  // +infinity or 20 m >= 2^63
    }
    if (has_polynomial(*index)) {
        return Result<double>::success(s * evaluate_taylor(legendre_tables::e_by_index[*index], m_prime));
    }
    if (m_prime >= 1.0) {
        if (m_prime == 1.0) {
            return Result<double>::success(s * 1.0);
        }
        return Result<double>::failure(Status::ellipe_m_above_one);
    }
    return Result<double>::success(scaled_ellipe_agm(s, std::sqrt(1.0 - m_prime)));
}

Result<double> ellippi(double n, double m) noexcept {
    if (n > just_below_one) {
        if (n < 1.0) {
            return Result<double>::success(infinity);  // n = 1 - 2^-53
        }
        if (n == 1.0) {
            return Result<double>::failure(Status::ellippi_n_one);
        }
        if (n <= just_above_one) {
            // n = 1 + 2^-52: the limit K - E / (1 - m) of the principal value as n -> 1+.
            // Errors of K and E are passed on unchanged, under their own names.
            const Result<double> k = ellipk(m);
            if (!k.ok()) {
                return k;
            }
            const Result<double> e = ellipe(m);
            if (!e.ok()) {
                return e;
            }
            return diagnose_pi(k.value() - e.value() / (1.0 - m), n, m);
        }
        return ellippi_above_one(n, m);
    }

    double v;
    if (n <= 0.0) {
        v = ellippi_nonpositive_n(n, m);
    } else if (m == n) {
        v = (1.0 / (1.0 - m)) * value_or_nan(ellipe(m));  // Π(m, m) = E(m) / (1 - m)
    } else {
        // 0 < n < 1 or NaN n (DLMF 19.25.2).
        v = (elliprj_unchecked(0.0, 1.0 - m, 1.0, 1.0 - n) * n) / 3.0 + elliprf_unchecked(0.0, 1.0 - m, 1.0);
    }
    return diagnose_pi(v, n, m);
}

// The complementary entries: where 1 - m <= 0.1 (for Pi: 0 < 1 - n < 1 and 0 < 1 - m <= 1) they
// take the complementary parameters as given, into the AGM or into Bulirsch's cel (Carlson's
// forms below 1 - n = 2^-1000), whose arguments are exactly 1 - m and 1 - n; elsewhere 1 - m is no smaller than 0.1, rounding 1 - mc costs at most
// an ulp of m, and the Legendre entries serve with their diagnostics.
Result<double> ellipk_complement(double mc) noexcept {
    if (mc > 0.0 && mc <= complement_switch) {
        return Result<double>::success(ellipk_agm(std::sqrt(mc)));
    }
    return ellipk(1.0 - mc);
}

Result<double> ellipe_complement(double mc) noexcept {
    if (mc > 0.0 && mc <= complement_switch) {
        return Result<double>::success(scaled_ellipe_agm(1.0, std::sqrt(mc)));
    }
    return ellipe(1.0 - mc);
}

Result<double> ellippi_complement(double nc, double mc) noexcept {
    if (nc > 0.0 && nc < 1.0 && mc > 0.0 && mc <= 1.0) {
        // 0 < n < 1 (DLMF 19.25.2), n = 1 - nc.
        const double n = 1.0 - nc;
        if (nc >= cel_smallest_nc) {
            return diagnose_pi(ellippi_cel(nc, mc), n, 1.0 - mc);
        }
        return diagnose_pi((elliprj_unchecked(0.0, mc, 1.0, nc) * n) / 3.0 + elliprf_unchecked(0.0, mc, 1.0), n, 1.0 - mc);
    }
    return ellippi(1.0 - nc, 1.0 - mc);
}

}  // namespace vellomir
