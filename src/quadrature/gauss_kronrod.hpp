#pragma once
// Gauss-Kronrod rules (Kronrod 1965; Piessens et al., QUADPACK 1983): the (2n+1)-point Kronrod
// rule K and the n-point Gauss rule G on the same abscissae, so one batch of integrand values
// gives both K, exact to degree 3n + 1, and the error estimate |K - G|, which for a resolved
// integrand bounds the error of G and hence, far more than amply, that of K.

#include <array>
#include <cstddef>

#include "quadrature/gauss_kronrod_nodes.hpp"

namespace vellomir {

// The rule on [-1, 1] with its points in batch order: the centre, then +x, -x for each
// tabulated positive abscissa (descending).
template <std::size_t N>
struct GaussKronrodRule {
    static constexpr std::size_t points = 2 * N + 1;
    std::array<double, points> abscissa{};
    std::array<double, points> kronrod_weight{};
    std::array<double, points> gauss_weight{};
};

template <std::size_t N>
constexpr GaussKronrodRule<N> make_gauss_kronrod_rule() {
    GaussKronrodRule<N> rule;
    const auto& table = gauss_kronrod_nodes<N>;
    rule.abscissa[0] = 0.0;
    rule.kronrod_weight[0] = table[N].kronrod_weight;
    rule.gauss_weight[0] = table[N].gauss_weight;
    for (std::size_t k = 0; k < N; ++k) {
        for (std::size_t side = 0; side < 2; ++side) {
            const std::size_t i = 1 + 2 * k + side;
            rule.abscissa[i] = side == 0 ? table[k].abscissa : -table[k].abscissa;
            rule.kronrod_weight[i] = table[k].kronrod_weight;
            rule.gauss_weight[i] = table[k].gauss_weight;
        }
    }
    return rule;
}

template <std::size_t N>
inline constexpr GaussKronrodRule<N> gauss_kronrod_rule = make_gauss_kronrod_rule<N>();

}  // namespace vellomir
