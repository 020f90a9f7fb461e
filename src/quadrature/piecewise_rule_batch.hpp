#pragma once
// The rules of piecewise_rule.hpp with the integrand evaluated in batches: a Gauss-Legendre
// piece in one call, a tanh-sinh piece a level at a time (integrate_batched). Points arrive in
// the order the pointwise rules visit them and values are summed in their order and grouping,
// so integrate_piece_batched equals integrate_piece bit for bit for the f that the batch
// evaluates pointwise.

#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#include "quadrature/double_exponential_batch.hpp"
#include "quadrature/gauss_legendre.hpp"
#include "quadrature/piecewise_rule.hpp"

namespace vellomir {

template <std::size_t N, class FBatch>
double integrate_gauss_legendre_batched(FBatch&& f_batch, double a, double b) {
    const double half_width = (b - a) * 0.5;
    const double centre = (a + b) * 0.5;
    constexpr std::size_t nodes = gauss_legendre_nodes<N>.size();  // x > 0 only, N / 2 of them
    std::array<double, 2 * nodes> points;
    std::array<double, 2 * nodes> values;
    for (std::size_t k = 0; k < nodes; ++k) {
        const double x = gauss_legendre_nodes<N>[k].abscissa;
        points[2 * k] = x * half_width + centre;
        points[2 * k + 1] = -x * half_width + centre;
    }
    f_batch(std::span<const double>(points), std::span<double>(values));
    const auto finite_or_zero = [](double value) { return std::isfinite(value) ? value : 0.0; };
    double sum = 0.0;
    for (std::size_t k = 0; k < nodes; ++k) {
        const double right = finite_or_zero(values[2 * k]);
        const double left = finite_or_zero(values[2 * k + 1]);
        sum += gauss_legendre_nodes<N>[k].weight * (right + left);
    }
    return half_width * sum;
}

// integrate_piece's choice of rule, each rule batched.
template <class FBatch>
double integrate_piece_batched(FBatch&& f_batch, double a, double b, std::span<const SingularPoint> singular,
                               const PieceRule& rule) {
    double rho = HUGE_VAL;
    for (const SingularPoint& z : singular) rho = std::min(rho, bernstein_parameter(a, b, z));
    if (rho >= rule.gauss_legendre_4_from) return integrate_gauss_legendre_batched<4>(f_batch, a, b);
    if (rho >= rule.gauss_legendre_8_from) return integrate_gauss_legendre_batched<8>(f_batch, a, b);
    if (rho >= rule.gauss_legendre_16_from || b - a < rule.short_piece) {
        return integrate_gauss_legendre_batched<16>(f_batch, a, b);
    }
    return integrate_batched(f_batch, a, b, rule.target).integral;
}

}  // namespace vellomir
