#pragma once
// The tanh-sinh rule (Takahasi & Mori 1974) for several integrals over one interval that share
// their nodes, level by level (step 2^-k) until every integral has settled. Nodes are placed
// from the nearer end (x = a + delta or b - delta, delta computed as 2 h / (1 + e^(2s))), so
// integrable singularities at an end see their true distance from it. Nodes whose offset rounds
// to nothing are left out.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace vellomir {

struct TanhSinhNode {
    double offset;  // 1 - |t| (1 for the centre)
    double weight;  // (pi/2) cosh(j h) / cosh^2((pi/2) sinh(j h)), without the step
};

// Level k holds the nodes of step 2^-k that no coarser level has (all nodes j h for level 0).
inline constexpr int TANH_SINH_LEVELS = 9;

const std::vector<TanhSinhNode>& tanh_sinh_level(int level);

struct VectorQuadratureResult {
    bool converged;
    int level;  // the finest level summed
    // Where not converged, the largest last change over its tolerance, max_c |change_c| /
    // tolerance(c, l1_c) (> 1; infinite for NaN); 0 where converged.
    double change_over_tolerance;
};

// Nodes handed to the integrand at once.
inline constexpr std::size_t QUADRATURE_CHUNK = 64;

// sums[c] += int_a^b f(x)[c] dx for c < W. f(x, values) gets up to QUADRATURE_CHUNK nodes of a
// level at once and writes W values per node. Stops at the first level from `first_check` on
// where every integral changed by at most tolerance(c, l1[c]), l1 being the integral of |f[c]|
// estimated by the same rule. Nodes are summed in the same order however they are chunked.
template <std::size_t W, class F, class Tolerance>
VectorQuadratureResult integrate_vector(const F& f, double a, double b, std::array<double, W>& sums,
                                        const Tolerance& tolerance, int first_check = 3) {
    const double half = 0.5 * (b - a);
    std::array<double, W> raw{}, raw_abs{}, previous{};
    std::array<double, QUADRATURE_CHUNK> x, weight;
    std::array<std::array<double, W>, QUADRATURE_CHUNK> values;
    std::size_t pending = 0;
    auto flush = [&] {
        if (pending == 0) return;
        f(std::span<const double>(x.data(), pending), std::span<std::array<double, W>>(values.data(), pending));
        for (std::size_t i = 0; i < pending; ++i) {
            for (std::size_t c = 0; c < W; ++c) {
                raw[c] += weight[i] * values[i][c];
                raw_abs[c] += weight[i] * std::fabs(values[i][c]);
            }
        }
        pending = 0;
    };
    auto add = [&](double position, double w) {
        x[pending] = position;
        weight[pending++] = w;
        if (pending == QUADRATURE_CHUNK) flush();
    };
    VectorQuadratureResult result{false, 0, 0.0};
    double step = 1.0;
    for (int level = 0; level < TANH_SINH_LEVELS; ++level) {
        if (level > 0) step *= 0.5;
        for (const TanhSinhNode& node : tanh_sinh_level(level)) {
            const double delta = half * node.offset;
            if (node.offset == 1.0) {
                add(a + half, node.weight);
                continue;
            }
            if (!(delta > 0.0)) continue;
            const double left = a + delta, right = b - delta;
            if (left > a && left < b) add(left, node.weight);
            if (right > a && right < b) add(right, node.weight);
        }
        flush();
        result.level = level;
        const bool checked = level >= first_check;
        bool settled = checked;
        double worst = 0.0;
        for (std::size_t c = 0; c < W; ++c) {
            const double estimate = half * step * raw[c];
            if (checked) {
                const double change = std::fabs(estimate - previous[c]);
                const double allowed = tolerance(c, half * step * raw_abs[c]);
                if (!(change <= allowed)) {
                    settled = false;
                    worst = std::max(worst, change / allowed);  // NaN stays out; settled says it
                    if (std::isnan(change)) worst = std::numeric_limits<double>::infinity();
                }
            }
            previous[c] = estimate;
        }
        if (checked) result.change_over_tolerance = settled ? 0.0 : worst;
        if (settled) {
            result.converged = true;
            break;
        }
    }
    for (std::size_t c = 0; c < W; ++c) sums[c] += previous[c];
    return result;
}

}  // namespace vellomir
