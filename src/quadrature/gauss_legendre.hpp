#pragma once
// Gauss-Legendre quadrature of fixed order over a finite interval [a, b]: exact for polynomials of
// degree 2N - 1, and for a function analytic inside the Bernstein ellipse of parameter rho about
// [a, b] accurate to about rho^(-2N). The cheap rule for short pieces of a radial integral that lie
// well away from every singular point of the integrand (piecewise_rule.hpp chooses).

#include <cmath>
#include <cstddef>

#include "quadrature/gauss_legendre_nodes.hpp"

namespace vellomir {

// Integrates f over [a, b] with the N-point rule (N = 4, 8 or 16). Like `integrate`, it counts
// non-finite values of f as 0. The integrand is called for each node x in table order at
// c + hw x, then at c - hw x. Allocates nothing.
template <std::size_t N, class F>
double integrate_gauss_legendre(F&& f, double a, double b) {
    const double half_width = (b - a) * 0.5;
    const double centre = (a + b) * 0.5;
    const auto g = [&](double x) -> double {
        const double value = f(x * half_width + centre);
        return std::isfinite(value) ? value : 0.0;
    };
    double sum = 0.0;
    for (const GaussLegendreNode& node : gauss_legendre_nodes<N>) {
        const double right = g(node.abscissa);
        const double left = g(-node.abscissa);
        sum += node.weight * (right + left);
    }
    return half_width * sum;
}

}  // namespace vellomir
