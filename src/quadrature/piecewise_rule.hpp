#pragma once
// The rule for one piece [a, b] of an integral split at the kinks and singular points of its
// integrand: the integrand is analytic inside the piece, and its nearest singularity (a point of
// the complex plane, given by the caller) decides how many Gauss-Legendre points the piece needs.
// Where the singularity is too close (an endpoint, or just beyond one) the tanh-sinh rule takes
// over, whose node clustering at the endpoints absorbs logarithmic and square-root behaviour.

#include <algorithm>
#include <cmath>
#include <span>

#include "quadrature/double_exponential.hpp"
#include "quadrature/gauss_legendre.hpp"

namespace vellomir {

// A singular point x + i y of the integrand's analytic continuation.
struct SingularPoint {
    double x;
    double y;
};

// Parameter rho >= 1 of the Bernstein ellipse about [a, b] (foci a and b) that passes through z:
// with t the image of z in the frame where [a, b] is [-1, 1], rho = s + sqrt(s^2 - 1), s being
// half the sum of the distances from t to -1 and 1.
inline double bernstein_parameter(double a, double b, SingularPoint z) noexcept {
    const double half_width = (b - a) * 0.5;
    const double tx = (z.x - (a + b) * 0.5) / half_width;
    const double ty = z.y / half_width;
    const double s = (std::hypot(tx - 1.0, ty) + std::hypot(tx + 1.0, ty)) * 0.5;
    return s + std::sqrt(std::max(s * s - 1.0, 0.0));
}

// When each rule is good enough for a piece: the smallest ellipse parameters at which 4, 8 and 16
// Gauss-Legendre points keep the piece's relative error below a tolerance tau (the error is about
// (64/15) M rho^(-2N) / (rho^2 - 1), M the integrand's largest modulus on the ellipse over its
// mean: a few, for a logarithmic singularity on the ellipse), the width below which a piece takes
// 16 points even with a kink at an endpoint (so short that its error, about 1e-5 of its share,
// stays below tau), and the absolute target of the tanh-sinh rule everywhere else.
struct PieceRule {
    double gauss_legendre_4_from;
    double gauss_legendre_8_from;
    double gauss_legendre_16_from;
    double short_piece;
    double target;
};

// tau = 1e-15, the pieces' own rounding: rho^(-2N) <= tau for each order.
inline constexpr PieceRule exact_piece_rule(double target) noexcept { return {75.0, 8.7, 2.95, 0.0, target}; }

// Integrates f over [a, b] (a < b) with the cheapest rule that the nearest of `singular` allows.
// Non-finite values count 0.
template <class F>
double integrate_piece(F&& f, double a, double b, std::span<const SingularPoint> singular, const PieceRule& rule) {
    double rho = HUGE_VAL;
    for (const SingularPoint& z : singular) rho = std::min(rho, bernstein_parameter(a, b, z));
    if (rho >= rule.gauss_legendre_4_from) return integrate_gauss_legendre<4>(f, a, b);
    if (rho >= rule.gauss_legendre_8_from) return integrate_gauss_legendre<8>(f, a, b);
    if (rho >= rule.gauss_legendre_16_from || b - a < rule.short_piece) return integrate_gauss_legendre<16>(f, a, b);
    return integrate(f, a, b, rule.target).integral;  // also where rho is NaN
}

}  // namespace vellomir
