// H(l, r) = (1 / 2pi) * int_0^2pi A(x(phi)) dphi, the point-lens magnification
// A(x) = (x^2 + 2) / (x sqrt(x^2 + 4)) averaged over a circle of radius r whose centre is at
// distance l from the lens (Heyrovsky 2003, ApJ 594, 464). With q the Einstein radius,
// d = r - l, s = l + r and D = 4 q^2 + d^2:
//   H = (2 q^2 K(m) + d^2 Pi(n, m)) * 4 / (s sqrt(D)) / (2 pi),
//   m = 16 q^2 l r / (s^2 D),  n = 4 l r / s^2,
// whose complements follow from d without cancellation:
//   1 - n = (d / s)^2,  1 - m = (d / s)^2 (4 q^2 + s^2) / D.
// Every square is taken of a quotient scaled to at most 1, so no argument up to the largest
// double overflows. For a circle through the lens (|d| -> 0) Pi diverges; very close to it the
// leading terms of the logarithmic expansion in d are used instead.

#include "models/heyrovsky.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ellip/legendre.hpp"
#include "base/math_constants.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_MAGNIFICATION = std::numeric_limits<double>::quiet_NaN();

double circle_through_lens(double l, double d, double q) noexcept {
    // The expansion written in t = q / l and d / l, with no square that could overflow:
    //   c1 = (1 - d / 2l) 2t,  log(8 (q / sqrt(l^2 + q^2)) (l / |d|)),
    //   c3 = (2 l^2 + q^2) q d / ((l^2 + q^2) l^2) = (1 + 1 / (1 + t^2)) t (d / l).
    const double t = q / l;
    const double dl = d / l;
    const double lq = l / q;
    const double q_share = q >= l ? 1.0 / std::sqrt(1.0 + lq * lq) : t / std::sqrt(1.0 + t * t);  // q / sqrt(l^2 + q^2)
    const double c1 = (1.0 - dl * 0.5) * (2.0 * t);
    const double log_term = std::log(8.0 * q_share / std::fabs(dl));
    const double angle_term = std::atan(lq);
    const double c3 = (1.0 + 1.0 / (1.0 + t * t)) * t * dl;
    return ((c1 * log_term + 4.0 * angle_term) + c3) / TWO_PI;
}

}  // namespace

Result<double> heyrovsky_magnification(double l, double r, double re, double rstar) noexcept {
    const double q = re / rstar;
    if (q < 0.0) return Result<double>::success(NOT_A_MAGNIFICATION);  // no lens has a negative radius
    if ((l < 0.0 && r > 0.0) || (l > 0.0 && r < 0.0)) {
        // A circle whose centre distance and radius differ in sign: the elliptic parameter is
        // the root of a negative number, which ellipk reports.
        return Result<double>::failure(ellipk(NOT_A_MAGNIFICATION).status());
    }
    if (l < 0.0 || r < 0.0) return Result<double>::success(NOT_A_MAGNIFICATION);
    const double d = r - l;
    if (d == 0.0) return Result<double>::success(std::numeric_limits<double>::infinity());  // through the lens
    if (std::fabs(d) < THROUGH_LENS_BAND * std::min(l, q)) {
        return Result<double>::success(circle_through_lens(l, d, q));
    }

    const double s = l + r;
    const double two_q = 2.0 * q;
    // D = 4 q^2 + d^2 and 4 q^2 + s^2 scaled by the larger of their two parts.
    const double big = std::max(two_q, std::fabs(d));
    const double a = two_q / big, b = d / big;
    const double h2 = a * a + b * b;                   // D / big^2, in [1, 2]
    const double big_s = std::max(two_q, s);
    const double a_s = two_q / big_s, s_s = s / big_s;
    // 1 - m = w^2 (a_s^2 + s_s^2) / h2 with w = (d / s) (big_s / big), at most 1 in size.
    const double w = (d / s) * (big_s / big);
    const double m_complement = w * w * ((a_s * a_s + s_s * s_s) / h2);
    const double n_complement = (d / s) * (d / s);

    const Result<double> k = ellipk_complement(m_complement);
    if (!k.ok()) return Result<double>::failure(k.status());
    const Result<double> p = ellippi_complement(n_complement, m_complement);
    if (!p.ok()) return Result<double>::failure(p.status());

    // (2 q^2 K + d^2 Pi) 4 / (s sqrt(D)) / (2 pi) with D = big^2 h2.
    return Result<double>::success((big / s) * (a * a * k.value() * 0.5 + b * b * p.value()) *
                                    (2.0 / (PI * std::sqrt(h2))));
}

}  // namespace vellomir
