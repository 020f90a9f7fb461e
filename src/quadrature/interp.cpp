// Piecewise-linear interpolation with a binary segment search.

#include "quadrature/interp.hpp"

#include <algorithm>
#include <cstddef>

namespace vellomir {
namespace {

// The number of leading elements of x below xq when x is ascending, by binary search over
// all of x. A NaN query compares false everywhere and gives 0.
std::size_t count_below(std::span<const double> x, double xq) noexcept {
    std::size_t base = 0;
    std::size_t size = x.size();
    while (size > 1) {
        const std::size_t half = size / 2;
        if (xq > x[base + half]) {
            base += half;
        }
        size -= half;
    }
    return xq > x[base] ? base + 1 : base;
}

// The line through segment i in the form slope * xq + intercept; a zero-width segment gives an
// infinite or NaN slope.
double segment_line(std::span<const double> x, std::span<const double> y, std::size_t i, double xq) noexcept {
    const double slope = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
    const double intercept = y[i] - x[i] * slope;
    return slope * xq + intercept;
}

// A query beyond the table end whose ordinate is end_value; segment is the end segment there.
double beyond_end(std::span<const double> x, std::span<const double> y, std::size_t segment, double xq,
                  OutOfRange rule, double end_value) noexcept {
    switch (rule.kind()) {
    case OutOfRange::Kind::extrapolate:
        return segment_line(x, y, segment, xq);
    case OutOfRange::Kind::clamp:
        return end_value;
    case OutOfRange::Kind::constant:
        break;
    }
    return rule.value();
}

}  // namespace

double interp(std::span<const double> x, std::span<const double> y, double xq, OutOfRange rule) noexcept {
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 0) {
        return 0.0;
    }
    if (n == 1) {
        return y[0];
    }

    // The last segment whose left end lies below xq, kept within the table (n >= 2 here).
    const std::size_t below = count_below(x, xq);
    const std::size_t segment = std::min(below == 0 ? std::size_t{0} : below - 1, n - 2);
    const double first = x[0];
    const double last = x[n - 1];

    if (xq == first) {
        return y[0];
    }
    if (xq < first) {
        return beyond_end(x, y, segment, xq, rule, y[0]);
    }
    if (xq == last) {
        return y[n - 1];
    }
    if (xq > last) {
        return beyond_end(x, y, segment, xq, rule, y[n - 1]);
    }
    return segment_line(x, y, segment, xq);
}

}  // namespace vellomir
