#pragma once
// Piecewise-linear interpolation in a table of points (x[k], y[k]), x ascending, with a selectable
// rule for queries outside [x[0], x[n-1]].

#include <span>

namespace vellomir {

// The rule of `interp` for a query outside the table.
struct OutOfRange {
    enum class Kind { extrapolate, clamp, constant };

    static constexpr OutOfRange extrapolate() noexcept { return OutOfRange(Kind::extrapolate, 0.0); }
    static constexpr OutOfRange clamp() noexcept { return OutOfRange(Kind::clamp, 0.0); }
    static constexpr OutOfRange constant(double v) noexcept { return OutOfRange(Kind::constant, v); }

    constexpr Kind kind() const noexcept { return kind_; }
    // The value returned outside the table by `constant`; 0.0 for the other rules.
    constexpr double value() const noexcept { return value_; }

private:
    constexpr OutOfRange(Kind kind, double value) noexcept : kind_(kind), value_(value) {}

    Kind kind_;
    double value_;
};

// The piecewise-linear function through the first n = min(len(x), len(y)) points, at xq.
// An empty table gives 0.0 and a single point y[0], whatever xq and rule. Inside the table (and for
// a NaN query, which gives NaN) the value is slope * xq + intercept of the last segment whose left
// end lies below xq; outside it the rule decides, `extrapolate` continuing the first or last
// segment. The segment search reads all of x, also past n. Nothing is checked or allocated.
double interp(std::span<const double> x, std::span<const double> y, double xq, OutOfRange rule) noexcept;

}  // namespace vellomir
