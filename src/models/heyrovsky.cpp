// H(l, r) = (1 / 2pi) * int_0^2pi A(x(phi)) dphi, the point-lens magnification
// A(x) = (x^2 + 2) / (x sqrt(x^2 + 4)) averaged over a circle of radius r whose centre is at
// distance l from the lens (Heyrovsky 2003, ApJ 594, 464). With q the Einstein radius,
// d = r - l, s = l + r and D = 4 q^2 + d^2:
//   H = (2 q^2 K(m) + d^2 Pi(n, m)) * 4 / (s sqrt(D)) / (2 pi),
//   m = 16 q^2 l r / (s^2 D),  n = 4 l r / s^2.
// For a circle through the lens (|d| -> 0) Pi diverges; there the leading terms of the
// logarithmic expansion in d are used instead.

#include "models/heyrovsky.hpp"

#include <cmath>

#include "ellip/legendre.hpp"
#include "models/model_constants.hpp"

namespace vellomir {
namespace {

// Absolute distance of the circle from the lens below which the expansion is used.
constexpr double THROUGH_LENS_BAND = 1e-5;

double circle_through_lens(double l, double d, double q, double q2) noexcept {
    const double h = l * l;
    const double c1 = (1.0 - d / (2.0 * l)) * (2.0 * q / l);
    const double log_term = std::log(8.0 * q * l / (std::sqrt(h + q2) * std::fabs(d)));
    const double angle_term = std::atan(l / q);
    const double c3 = (2.0 * h + q2) * q / ((h + q2) * h) * d;
    return ((c1 * log_term + 4.0 * angle_term) + c3) / TWO_PI;
}

}  // namespace

Outcome<double> heyrovsky_magnification(double l, double r, double re, double rstar) noexcept {
    const double q = re / rstar;
    const double d = r - l;
    const double q2 = q * q;

    // Strict test: a NaN difference takes the general case, where ellipk reports it. A circle
    // centred on the lens (l = 0, r != 0) does not pass through it, whatever its radius: every
    // point lies at distance r, and the general case gives the point-lens value exactly
    // (m = n = 0), where the expansion, which divides by l, would give +inf.
    const bool centred_on_lens = l == 0.0 && r != 0.0;
    if (!centred_on_lens && THROUGH_LENS_BAND > std::fabs(d)) {
        return Outcome<double>::success(circle_through_lens(l, d, q, q2));
    }

    const double s = l + r;
    const double big_d = 4.0 * q2 + d * d;
    // The square of the product, as written; l r < 0 makes the root NaN.
    const double root = std::sqrt(l * r / big_d) * (4.0 * q / s);
    const double m = root * root;

    const EllipResult k = ellipk(m);
    if (!k.ok()) return Outcome<double>::failure(k.message());
    // n rounds to exactly 1 for large, nearly equal l and r although |d| >= 1e-5; ellippi
    // then reports it, and the caller receives that error.
    const double n = 4.0 * l * r / (s * s);
    const EllipResult p = ellippi(n, m);
    if (!p.ok()) return Outcome<double>::failure(p.message());

    return Outcome<double>::success((2.0 * q2 * k.value() + d * d * p.value()) * (4.0 / (s * std::sqrt(big_d))) /
                                    TWO_PI);
}

}  // namespace vellomir
