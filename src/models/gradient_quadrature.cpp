// Nodes of the tanh-sinh rule, computed once (a thread-safe local static).

#include "models/gradient_quadrature.hpp"

#include "models/model_constants.hpp"

namespace vellomir {
namespace {

// Beyond this s = j h the offset 2 / (1 + e^(2 (pi/2) sinh s)) is below 1e-37 of the interval:
// what is left of an end singularity as strong as x^(-0.6) is then below 1e-15.
constexpr double LAST_ABSCISSA = 4.0;

std::array<std::vector<TanhSinhNode>, TANH_SINH_LEVELS> make_levels() {
    std::array<std::vector<TanhSinhNode>, TANH_SINH_LEVELS> levels;
    for (int level = 0; level < TANH_SINH_LEVELS; ++level) {
        const double h = std::ldexp(1.0, -level);
        for (int j = level == 0 ? 0 : 1;; j += level == 0 ? 1 : 2) {
            const double s = j * h;
            if (s > LAST_ABSCISSA) break;
            const double inner = HALF_PI * std::sinh(s);
            const double e = std::exp(-2.0 * inner);
            const double offset = j == 0 ? 1.0 : 2.0 * e / (1.0 + e);
            const double c = std::cosh(inner);
            const double weight = HALF_PI * std::cosh(s) / (c * c);
            if (!(offset > 0.0)) break;
            levels[static_cast<std::size_t>(level)].push_back(TanhSinhNode{offset, weight});
        }
    }
    return levels;
}

}  // namespace

const std::vector<TanhSinhNode>& tanh_sinh_level(int level) {
    static const std::array<std::vector<TanhSinhNode>, TANH_SINH_LEVELS> levels = make_levels();
    return levels[static_cast<std::size_t>(level)];
}

}  // namespace vellomir
