#pragma once
// Double-exponential (tanh-sinh) quadrature over a finite interval [a, b]:
//     \int_a^b f(t) dt = hw \int_{-1}^{1} f(x hw + c) dx,   x = tanh((pi/2) sinh s),
// summed by the trapezoidal rule in s with steps h_k = 2^-k (k = 0..6), each level adding the odd
// multiples of its step to the points of the levels before it.
// Takahasi & Mori, Publ. RIMS Kyoto Univ. 9 (1974) 721-741.
//
// The stopping rule compares the changes d of successive levels: where log|d_k| / log|d_{k-1}| is
// near 2 (the quadratic convergence of the rule has set in) the next change is about d_k^2, else
// |d_k| is taken as the error. It is first applied after level 2.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "base/math_constants.hpp"
#include "quadrature/double_exponential_nodes.hpp"

namespace vellomir {

struct QuadratureResult {
    double integral;        // the estimate of the integral
    double error_estimate;  // its estimated absolute error, scaled by the half-width (so negative for b < a)
    std::uint32_t evaluations;
};

// The running estimate and stopping rule, shared by `integrate` and its batched twin: each
// summed level goes through add_level, in level order; it says when to stop.
class TanhSinhEstimate {
public:
    // `centre_value` is the (finite) integrand at the centre; `threshold` is target / 4 / hw.
    TanhSinhEstimate(double centre_value, double threshold) noexcept
        : sum_estimate_(PI * centre_value), threshold_(threshold) {}

    // Takes the weighted sum of one level's `pairs` node pairs; true once the rule stops.
    bool add_level(double level_sum, std::size_t pairs) noexcept {
        evaluations_ += static_cast<std::uint32_t>(2 * pairs);
        const double change = sum_estimate_ * 0.5 - level_sum;  // old estimate minus new one
        sum_estimate_ = sum_estimate_ * 0.5 + level_sum;

        // Levels 0 and 1 (7 and 13 evaluations) only record their change.
        if (evaluations_ < 14) {
            previous_change_ = std::fabs(change);
            return false;
        }
        if (change == 0.0) {
            error_ = 0.0;
            return true;
        }
        const double ratio = std::log(std::fabs(change)) / std::log(previous_change_);
        error_ = (1.9 < ratio && ratio < 2.1) ? change * change : std::fabs(change);
        // A NaN change (overflowing sums) or NaN threshold never passes this test.
        if (threshold_ > error_) {
            return true;
        }
        previous_change_ = std::fabs(change);
        return false;
    }

    QuadratureResult result(double half_width) const noexcept {
        return QuadratureResult{half_width * sum_estimate_, half_width * error_, evaluations_};
    }

private:
    static constexpr double largest = std::numeric_limits<double>::max();

    // S holds the trapezoidal sum without the factor hw; the centre weight of level 0 is pi/2 and
    // each level starts by halving S, hence pi here.
    double sum_estimate_;
    double threshold_;
    std::uint32_t evaluations_ = 1;
    double previous_change_ = largest;
    double error_ = largest;
};

// Integrates f over [a, b] (b < a gives the integral with the reversed sign) and stops once the
// estimated absolute error falls below target / 4, after 385 evaluations at most. Non-finite values
// of f count as 0, so an integrable singularity at a node does not spoil the sum. The integrand is
// called in a fixed order: the centre, then for each node x in table order f at x before f at -x.
// Allocates nothing; thread safe as far as f is.
template <class F>
QuadratureResult integrate(F&& f, double a, double b, double target) {
    const double half_width = (b - a) * 0.5;
    const double centre = (a + b) * 0.5;
    // With b < a the threshold is negative, so only an exact zero change stops the loop early;
    // a = b makes it infinite (NaN for target 0).
    const double threshold = target * 0.25 / half_width;

    const auto g = [&](double x) -> double {
        const double value = f(x * half_width + centre);
        return std::isfinite(value) ? value : 0.0;
    };

    TanhSinhEstimate estimate(g(0.0), threshold);
    for (std::size_t level = 0; level < tanh_sinh_level_count; ++level) {
        const std::size_t begin = tanh_sinh_level_begin[level];
        const std::size_t end = tanh_sinh_level_begin[level + 1];
        double level_sum = 0.0;
        for (std::size_t i = begin; i < end; ++i) {
            const TanhSinhNode& node = tanh_sinh_nodes[i];
            // Two statements: the operands of + have no defined evaluation order.
            const double right = g(node.abscissa);
            const double left = g(-node.abscissa);
            level_sum += node.weight * (right + left);
        }
        if (estimate.add_level(level_sum, end - begin)) {
            break;
        }
    }
    return estimate.result(half_width);
}

}  // namespace vellomir
