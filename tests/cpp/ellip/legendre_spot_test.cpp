// Published values, boundaries of the interval index, infinite results and every
// error message of K, E and Π.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string_view>

#include "ellip/carlson.hpp"
#include "ellip/legendre.hpp"
#include "ulp.hpp"

namespace vellomir {
namespace {

using test::agrees_with_quoted;
using test::ulp_distance;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double half_pi = 1.5707963267948966;

double value_of(const Result<double>& r) {
    EXPECT_TRUE(r.ok()) << "unexpected error: " << r.message();
    return r.value();
}

::testing::AssertionResult fails_with(const Result<double>& r, std::string_view text) {
    if (r.ok()) {
        return ::testing::AssertionFailure() << "value " << r.value() << " instead of \"" << text << '"';
    }
    if (r.message() != text) {
        return ::testing::AssertionFailure() << '"' << r.message() << "\" instead of \"" << text << '"';
    }
    return ::testing::AssertionSuccess();
}

TEST(EllipK, PolynomialValues) {
    EXPECT_EQ(value_of(ellipk(0.0)), half_pi);
    EXPECT_EQ(value_of(ellipk(-0.0)), half_pi);
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipk(0.5)), 1.8540746773014));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipk(0.85)), 2.3890164863256));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipk(0.8999)), 2.5776218217169));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipk(-0.04)), 1.5554322664588));
}

TEST(EllipK, AgmValues) {
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipk(0.9)), 2.5780921133482));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipk(-1.0)), 1.3110287771461));
    // K(-1) = RF(0, 2, 1) = RF(1, 2, 0).
    EXPECT_LE(ulp_distance(value_of(ellipk(-1.0)), elliprf_unchecked(1.0, 2.0, 0.0)), 2u);
}

TEST(EllipK, IndexBoundaries) {
    // 20 * 0.8999999999999999 rounds to 18: the AGM, identical to m = 0.9's path.
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipk(0.8999999999999999)), 2.5780921133482));
    EXPECT_LE(ulp_distance(value_of(ellipk(0.8999999999999999)), value_of(ellipk(0.9))), 1u);
    // -0.05 gives index -1 (AGM); the next double above takes the [0, 0.1) polynomial.
    const double below = value_of(ellipk(-0.05));
    const double above = value_of(ellipk(-0.049999999999999996));
    EXPECT_NE(below, above);
    EXPECT_LT(std::fabs(below - above), 1e-13);
    // Each switch of polynomial (and to the AGM at 0.9) is continuous to within rounding:
    // the slope of K moves the value by far less than an ulp between neighbouring m.
    for (int i = 1; i <= 18; ++i) {
        const double m = i / 20.0;
        EXPECT_LE(ulp_distance(value_of(ellipk(std::nextafter(m, 0.0))), value_of(ellipk(m))), 3u) << "m = " << m;
        EXPECT_LE(ulp_distance(value_of(ellipe(std::nextafter(m, 0.0))), value_of(ellipe(m))), 3u) << "m = " << m;
    }
}

TEST(EllipK, InfiniteAndLimitValues) {
    EXPECT_EQ(value_of(ellipk(1.0)), inf);
    EXPECT_EQ(value_of(ellipk(-inf)), 0.0);
    EXPECT_TRUE(std::isfinite(value_of(ellipk(0.9999999999999999))));
    // Largest magnitude before the index overflows: the AGM still gives a value.
    EXPECT_GT(value_of(ellipk(-4.6e17)), 0.0);
}

TEST(EllipK, Errors) {
    EXPECT_TRUE(fails_with(ellipk(nan), "ellipk: Arguments cannot be NAN."));
    EXPECT_TRUE(fails_with(ellipk(1.5), "ellipk: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellipk(inf), "ellipk: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellipk(1.0000000000000002), "ellipk: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellipk(1e300), "ellipk: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellipk(-1e18), "ellipk: Unexpected error."));
    EXPECT_TRUE(fails_with(ellipk(-4.611686018427389e17), "ellipk: Unexpected error."));
}

TEST(EllipE, PolynomialValues) {
    EXPECT_EQ(value_of(ellipe(0.0)), half_pi);
    EXPECT_EQ(value_of(ellipe(-0.0)), half_pi);
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipe(0.5)), 1.3506438810477));
}

TEST(EllipE, AgmAndNegativeParameter) {
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipe(0.9)), 1.1047747327041));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipe(0.8999999999999999)), 1.1047747327041));
    EXPECT_LE(ulp_distance(value_of(ellipe(0.8999999999999999)), value_of(ellipe(0.9))), 1u);
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipe(-1.0)), 1.9100988945139));
    EXPECT_LE(ulp_distance(value_of(ellipe(-1.0)), std::numbers::sqrt2 * value_of(ellipe(0.5))), 1u);
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipe(-9.0)), 3.4936044567486));
    EXPECT_EQ(value_of(ellipe(-1e300)), 1e150);  // m' rounds to 1
    EXPECT_TRUE(agrees_with_quoted(value_of(ellipe(-1e18)), 1e9));
}

TEST(EllipE, InfiniteAndLimitValues) {
    EXPECT_EQ(value_of(ellipe(1.0)), 1.0);
    EXPECT_EQ(value_of(ellipe(-inf)), inf);
}

TEST(EllipE, Errors) {
    EXPECT_TRUE(fails_with(ellipe(nan), "ellipe: Arguments cannot be NAN."));
    EXPECT_TRUE(fails_with(ellipe(1.5), "ellipe: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellipe(inf), "ellipe: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellipe(1e300), "ellipe: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellipe(1.0000000000000002), "ellipe: m must not be greater than 1."));
}

TEST(EllipPi, ValuesForNBelowOne) {
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(0.5, 0.0)), 2.2214414690792));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(0.5, 0.5)), 2.7012877620954));
    EXPECT_EQ(value_of(ellippi(0.5, 0.5)), (1.0 / 0.5) * value_of(ellipe(0.5)));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(0.3, 0.5)), 2.2503768219439));
    EXPECT_EQ(value_of(ellippi(0.0, 0.5)), value_of(ellipk(0.5)));
    EXPECT_EQ(value_of(ellippi(-0.0, 0.5)), value_of(ellipk(0.5)));
    EXPECT_EQ(value_of(ellippi(0.0, 0.0)), half_pi);
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(-0.5, 0.5)), 1.4878469926688));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(-2.0, 0.3)), 0.9663251950757));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(0.9, 0.99)), 20.326005496444));
}

TEST(EllipPi, PrincipalValueAboveOne) {
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(2.0, 0.5)), -0.31354468346518));
    const double k = value_of(ellipk(0.5));
    const double e = value_of(ellipe(0.5));
    EXPECT_EQ(value_of(ellippi(1.0000000000000002, 0.5)), k - e / (1.0 - 0.5));
    EXPECT_TRUE(agrees_with_quoted(value_of(ellippi(1.0000000000000002, 0.5)), -0.84721308479398));
}

TEST(EllipPi, NearOne) {
    for (const double m : {-3.0, 0.0, 0.5, 0.99, 1.0}) {
        EXPECT_TRUE(fails_with(ellippi(1.0, m), "ellippi: n cannot be 1.")) << "m = " << m;
        EXPECT_EQ(value_of(ellippi(0.9999999999999999, m)), inf) << "m = " << m;
    }
    EXPECT_TRUE(fails_with(ellippi(1.0, nan), "ellippi: n cannot be 1."));
    EXPECT_EQ(value_of(ellippi(0.9999999999999999, nan)), inf);
    // n = 1 - eps is an ordinary characteristic.
    EXPECT_TRUE(std::isfinite(value_of(ellippi(0.9999999999999998, 0.5))));
}

TEST(EllipPi, InfiniteResults) {
    EXPECT_EQ(value_of(ellippi(0.5, 1.0)), inf);
    EXPECT_EQ(value_of(ellippi(-1.0, 1.0)), inf);
    EXPECT_EQ(value_of(ellippi(0.0, 1.0)), inf);
    EXPECT_EQ(value_of(ellippi(-1.0, 0.9999999999999999)), inf);  // 1 - m < eps
    EXPECT_EQ(value_of(ellippi(0.3, -inf)), 0.0);
    EXPECT_EQ(value_of(ellippi(0.0, -inf)), 0.0);
    EXPECT_EQ(value_of(ellippi(-inf, 0.5)), 0.0);
}

TEST(EllipPi, Errors) {
    EXPECT_TRUE(fails_with(ellippi(0.5, 1.5), "ellippi: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellippi(-1.0, 1.5), "ellippi: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellippi(0.0, inf), "ellippi: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellippi(1.0000000000000002, 1.5), "ellipk: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellippi(1.0000000000000002, nan), "ellipk: Arguments cannot be NAN."));
    EXPECT_TRUE(fails_with(ellippi(nan, 0.2), "ellippi: Arguments cannot be NAN."));
    EXPECT_TRUE(fails_with(ellippi(0.2, nan), "ellippi: Arguments cannot be NAN."));
    EXPECT_TRUE(fails_with(ellippi(-0.5, nan), "ellippi: Arguments cannot be NAN."));
    EXPECT_TRUE(fails_with(ellippi(0.0, nan), "ellippi: Arguments cannot be NAN."));
    // The error of ellipk is replaced by NaN and diagnosed under ellippi's name.
    EXPECT_TRUE(fails_with(ellippi(0.0, -1e18), "ellippi: Unexpected error."));
}

TEST(EllipPi, AboveOneIsDiagnosed) {
    // Principal value for n > 1 + eps: arguments that RJ cannot give a meaning to
    // are reported as for n < 1 instead of returning a number.
    EXPECT_TRUE(fails_with(ellippi(2.0, 1.5), "ellippi: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellippi(2.0, 3.0), "ellippi: m must not be greater than 1."));
    EXPECT_TRUE(fails_with(ellippi(2.0, nan), "ellippi: Arguments cannot be NAN."));
    EXPECT_TRUE(fails_with(ellippi(nan, 0.5), "ellippi: Arguments cannot be NAN."));
    // m = 1: the principal value tends to -infinity; K - E / (1 - m) alone would give NaN.
    EXPECT_EQ(value_of(ellippi(2.0, 1.0)), -inf);
    EXPECT_EQ(value_of(ellippi(1.0000000000000002, 1.0)), -inf);
    EXPECT_EQ(value_of(ellippi(1.0000000000000002, -inf)), 0.0);
}

TEST(EllipPi, NegativeNEqualToM) {
    // Π(n, n) = E(n) / (1 - n): both terms of the n < 0 transformation would divide by zero.
    for (const double n : {-0.5, -2.0, -1e3}) {
        EXPECT_EQ(value_of(ellippi(n, n)), (1.0 / (1.0 - n)) * value_of(ellipe(n))) << "n = " << n;
    }
    // Continuity with a neighbouring m.
    EXPECT_LT(std::fabs(value_of(ellippi(-0.5, -0.5)) - value_of(ellippi(-0.5, -0.5000001))), 1e-6);
}

}  // namespace
}  // namespace vellomir
