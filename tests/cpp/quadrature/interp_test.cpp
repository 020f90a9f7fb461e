// Piecewise-linear interpolation: table cases, the three out-of-range rules, NaN queries, unequal
// lengths, zero-width segments and tables too short to have a segment.

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "quadrature/interp.hpp"

namespace vellomir {
namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

class InterpTable : public ::testing::Test {
protected:
    const std::vector<double> x{0.0, 1.0, 2.0};
    const std::vector<double> y{0.0, 10.0, 40.0};
    double at(double xq, OutOfRange rule) const { return interp(x, y, xq, rule); }
};

TEST_F(InterpTable, InsideTheTable) {
    for (const OutOfRange rule : {OutOfRange::extrapolate(), OutOfRange::clamp(), OutOfRange::constant(7.0)}) {
        EXPECT_EQ(at(1.5, rule), 25.0);
        EXPECT_EQ(at(0.5, rule), 5.0);
        EXPECT_EQ(at(1.0, rule), 10.0);  // inner abscissa: right end of segment 0
        EXPECT_EQ(at(0.0, rule), 0.0);
        EXPECT_EQ(at(2.0, rule), 40.0);
    }
}

TEST_F(InterpTable, AboveTheTableByRule) {
    EXPECT_EQ(at(3.0, OutOfRange::constant(0.0)), 0.0);
    EXPECT_EQ(at(3.0, OutOfRange::constant(-2.5)), -2.5);
    EXPECT_EQ(at(3.0, OutOfRange::clamp()), 40.0);
    EXPECT_EQ(at(3.0, OutOfRange::extrapolate()), 70.0);
    EXPECT_EQ(at(inf, OutOfRange::clamp()), 40.0);
    EXPECT_EQ(at(inf, OutOfRange::extrapolate()), inf);
}

TEST_F(InterpTable, BelowTheTableByRule) {
    EXPECT_EQ(at(-1.0, OutOfRange::constant(0.0)), 0.0);
    EXPECT_EQ(at(-1.0, OutOfRange::constant(3.0)), 3.0);
    EXPECT_EQ(at(-1.0, OutOfRange::clamp()), 0.0);
    EXPECT_EQ(at(-1.0, OutOfRange::extrapolate()), -10.0);
    EXPECT_EQ(at(-inf, OutOfRange::extrapolate()), -inf);
}

TEST_F(InterpTable, NanQueryGivesNanWhateverTheRule) {
    for (const OutOfRange rule : {OutOfRange::extrapolate(), OutOfRange::clamp(), OutOfRange::constant(0.0)}) {
        EXPECT_TRUE(std::isnan(at(nan, rule)));
    }
}

TEST(Interp, UsesTheSlopeInterceptFormOfTheSelectedSegment) {
    // slope * xq + intercept and y0 + slope * (xq - x0) differ in the last bit here.
    const std::vector<double> x{1.5, 2.8};
    const std::vector<double> y{2.1, 1.2};
    const double xq = 2.1;
    const double slope = (1.2 - 2.1) / (2.8 - 1.5);
    const double intercept = 2.1 - 1.5 * slope;
    const double expected = slope * xq + intercept;
    ASSERT_NE(expected, 2.1 + slope * (xq - 1.5));
    EXPECT_EQ(interp(x, y, xq, OutOfRange::constant(0.0)), expected);
}

TEST(Interp, LongerAbscissaTableIsCutToTheOrdinates) {
    const std::vector<double> x{0.0, 1.0, 2.0, 3.0};
    const std::vector<double> y{0.0, 10.0, 40.0};
    EXPECT_EQ(interp(x, y, 1.5, OutOfRange::constant(0.0)), 25.0);
    // 2.5 lies before x[3] but beyond the table's last point x[2].
    EXPECT_EQ(interp(x, y, 2.5, OutOfRange::constant(0.0)), 0.0);
    EXPECT_EQ(interp(x, y, 2.5, OutOfRange::clamp()), 40.0);
    EXPECT_EQ(interp(x, y, 2.5, OutOfRange::extrapolate()), 55.0);
    EXPECT_EQ(interp(x, y, 3.0, OutOfRange::extrapolate()), 70.0);
    EXPECT_EQ(interp(x, y, 2.0, OutOfRange::constant(0.0)), 40.0);
}

TEST(Interp, LongerOrdinateTableIsCutToTheAbscissas) {
    const std::vector<double> x{0.0, 1.0};
    const std::vector<double> y{0.0, 10.0, 40.0};
    EXPECT_EQ(interp(x, y, 0.5, OutOfRange::constant(0.0)), 5.0);
    EXPECT_EQ(interp(x, y, 1.5, OutOfRange::constant(0.0)), 0.0);
    EXPECT_EQ(interp(x, y, 1.5, OutOfRange::extrapolate()), 15.0);
}

TEST(Interp, EmptyTablesGiveZero) {
    const std::vector<double> empty;
    const std::vector<double> some{1.0, 2.0};
    for (const OutOfRange rule : {OutOfRange::extrapolate(), OutOfRange::clamp(), OutOfRange::constant(5.0)}) {
        EXPECT_EQ(interp(empty, empty, 1.0, rule), 0.0);
        EXPECT_EQ(interp(empty, some, 1.0, rule), 0.0);
        EXPECT_EQ(interp(some, empty, 1.0, rule), 0.0);
    }
}

TEST(Interp, SinglePointGivesItsOrdinateEverywhere) {
    const std::vector<double> x{2.0};
    const std::vector<double> y{7.0};
    for (const OutOfRange rule : {OutOfRange::extrapolate(), OutOfRange::clamp(), OutOfRange::constant(5.0)}) {
        for (const double xq : {-1.0, 2.0, 3.0, nan}) {
            EXPECT_EQ(interp(x, y, xq, rule), 7.0);
        }
    }
    // One ordinate makes a one-point table even when x has more points.
    const std::vector<double> longer_x{2.0, 3.0, 4.0};
    EXPECT_EQ(interp(longer_x, y, 3.5, OutOfRange::constant(0.0)), 7.0);
}

TEST(Interp, ZeroWidthInnerSegmentIsNeverSelectedInside) {
    const std::vector<double> x{0.0, 1.0, 1.0, 2.0};
    const std::vector<double> y{0.0, 1.0, 5.0, 6.0};
    // A query at the repeated abscissa falls on the segment to its left, one above it on the right.
    EXPECT_EQ(interp(x, y, 1.0, OutOfRange::constant(0.0)), 1.0);
    EXPECT_EQ(interp(x, y, 0.5, OutOfRange::constant(0.0)), 0.5);
    EXPECT_EQ(interp(x, y, 1.5, OutOfRange::constant(0.0)), 5.5);
}

TEST(Interp, ZeroWidthEndSegmentsSpoilOnlyExtrapolation) {
    const std::vector<double> x{0.0, 0.0, 1.0, 1.0};
    const std::vector<double> y{1.0, 2.0, 3.0, 4.0};
    EXPECT_EQ(interp(x, y, 0.5, OutOfRange::extrapolate()), 2.5);
    EXPECT_EQ(interp(x, y, 0.0, OutOfRange::extrapolate()), 1.0);
    EXPECT_EQ(interp(x, y, 1.0, OutOfRange::extrapolate()), 4.0);
    EXPECT_FALSE(std::isfinite(interp(x, y, -1.0, OutOfRange::extrapolate())));
    EXPECT_FALSE(std::isfinite(interp(x, y, 2.0, OutOfRange::extrapolate())));
    EXPECT_EQ(interp(x, y, -1.0, OutOfRange::clamp()), 1.0);
    EXPECT_EQ(interp(x, y, 2.0, OutOfRange::clamp()), 4.0);
    EXPECT_EQ(interp(x, y, 2.0, OutOfRange::constant(0.0)), 0.0);
}

TEST(Interp, BinarySearchFindsTheSegmentInALongTable) {
    // y = x^2 sampled at the integers 0..100: every segment's line has a known value at its midpoint.
    std::vector<double> x;
    std::vector<double> y;
    for (int k = 0; k <= 100; ++k) {
        x.push_back(k);
        y.push_back(static_cast<double>(k) * k);
    }
    for (int k = 0; k < 100; ++k) {
        const double mid = k + 0.5;
        // The chord of t^2 over [k, k+1] at k + 1/2 is k^2 + k + 1/2.
        EXPECT_EQ(interp(x, y, mid, OutOfRange::constant(0.0)), k * k + k + 0.5) << "segment " << k;
        EXPECT_EQ(interp(x, y, static_cast<double>(k + 1), OutOfRange::constant(0.0)), (k + 1.0) * (k + 1.0));
    }
}

TEST(OutOfRangeRule, CarriesItsKindAndValue) {
    static_assert(OutOfRange::constant(2.5).kind() == OutOfRange::Kind::constant);
    static_assert(OutOfRange::constant(2.5).value() == 2.5);
    static_assert(OutOfRange::clamp().kind() == OutOfRange::Kind::clamp);
    static_assert(OutOfRange::extrapolate().kind() == OutOfRange::Kind::extrapolate);
    EXPECT_EQ(interp(std::vector<double>{0.0, 1.0}, std::vector<double>{0.0, 1.0}, 9.0, OutOfRange::constant(2.5)),
              2.5);
}

}  // namespace
}  // namespace vellomir
