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

// Smallest ellipse parameters at which each Gauss-Legendre order meets a relative 1e-17 bound
// (rho^(-2N) with room for the constant): 4 points from 200, 8 from 14, 16 from 4.
inline constexpr double GAUSS_LEGENDRE_4_FROM = 200.0;
inline constexpr double GAUSS_LEGENDRE_8_FROM = 14.0;
inline constexpr double GAUSS_LEGENDRE_16_FROM = 4.0;

// Integrates f over [a, b] (a < b) with the cheapest rule that the nearest of `singular` allows;
// `target` is the absolute tolerance handed to the tanh-sinh rule. Non-finite values count 0.
template <class F>
double integrate_piece(F&& f, double a, double b, std::span<const SingularPoint> singular, double target) {
    double rho = HUGE_VAL;
    for (const SingularPoint& z : singular) rho = std::min(rho, bernstein_parameter(a, b, z));
    if (rho >= GAUSS_LEGENDRE_4_FROM) return integrate_gauss_legendre<4>(f, a, b);
    if (rho >= GAUSS_LEGENDRE_8_FROM) return integrate_gauss_legendre<8>(f, a, b);
    if (rho >= GAUSS_LEGENDRE_16_FROM) return integrate_gauss_legendre<16>(f, a, b);
    return integrate(f, a, b, target).integral;  // also where rho is NaN
}

}  // namespace vellomir
