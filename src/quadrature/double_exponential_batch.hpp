#pragma once
// The tanh-sinh rule of double_exponential.hpp with the integrand evaluated a level at a time:
// the abscissas of a level go to a batched integrand in one call, and the values are summed in
// exactly the order and grouping of `integrate`, so the result is bit for bit the same as
// integrate(f, a, b, target) for the f that the batch evaluates pointwise. The centre and levels 0
// and 1, which always run, go in one call.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "quadrature/double_exponential.hpp"
#include "quadrature/double_exponential_nodes.hpp"

namespace vellomir {

namespace detail {

constexpr std::size_t tanh_sinh_most_points_per_call() {
    std::size_t most = 1 + 2 * tanh_sinh_level_begin[2];
    for (std::size_t level = 2; level < tanh_sinh_level_count; ++level) {
        most = std::max(most, 2 * (tanh_sinh_level_begin[level + 1] - tanh_sinh_level_begin[level]));
    }
    return most;
}

}  // namespace detail

// f_batch(t, values) sets values[i] = f(t[i]) for every i (t and values of one length, at most a
// level's abscissas). Within a call the points come as the scalar rule would visit them: centre
// first, then for each node x at x before -x.
template <class FBatch>
QuadratureResult integrate_batched(FBatch&& f_batch, double a, double b, double target) {
    const double half_width = (b - a) * 0.5;
    const double centre = (a + b) * 0.5;
    const double threshold = target * 0.25 / half_width;
    const auto finite_or_zero = [](double value) { return std::isfinite(value) ? value : 0.0; };

    constexpr std::size_t most = detail::tanh_sinh_most_points_per_call();
    std::array<double, most> points;
    std::array<double, most> values;

    // Evaluates the nodes [begin, end), after `offset` points already placed, and returns how
    // many values are now in `values`.
    const auto evaluate = [&](std::size_t offset, std::size_t begin, std::size_t end) {
        std::size_t count = offset;
        for (std::size_t i = begin; i < end; ++i) {
            const double x = tanh_sinh_nodes[i].abscissa;
            points[count++] = x * half_width + centre;
            points[count++] = -x * half_width + centre;
        }
        f_batch(std::span<const double>(points.data(), count), std::span<double>(values.data(), count));
        return count;
    };

    // The stopping rule first applies once 14 values are in, after level 1.
    static_assert(1 + 2 * tanh_sinh_level_begin[2] < 14, "levels 0 and 1 always run");
    points[0] = 0.0 * half_width + centre;
    evaluate(1, 0, tanh_sinh_level_begin[2]);
    std::size_t next = 1;  // the first value of the level being summed

    TanhSinhEstimate estimate(finite_or_zero(values[0]), threshold);
    for (std::size_t level = 0; level < tanh_sinh_level_count; ++level) {
        const std::size_t begin = tanh_sinh_level_begin[level];
        const std::size_t end = tanh_sinh_level_begin[level + 1];
        if (level >= 2) {
            evaluate(0, begin, end);
            next = 0;
        }
        double level_sum = 0.0;
        for (std::size_t i = begin; i < end; ++i) {
            const double right = finite_or_zero(values[next++]);
            const double left = finite_or_zero(values[next++]);
            level_sum += tanh_sinh_nodes[i].weight * (right + left);
        }
        if (estimate.add_level(level_sum, end - begin)) {
            break;
        }
    }
    return estimate.result(half_width);
}

}  // namespace vellomir
