// Published and closed-form values of Carlson's RF, RD, RJ and RC, one test per
// evaluation path (special case, AGM form, duplication, principal value).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "ellip/carlson.hpp"
#include "ulp.hpp"

namespace vellomir {
namespace {

using test::agrees_with_quoted;
using test::ulp_distance;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(CarlsonRf, AgmPathAndZeroExchange) {
    EXPECT_TRUE(agrees_with_quoted(elliprf_unchecked(1.0, 2.0, 0.0), 1.3110287771461));
    // x = 0 is exchanged with z, so the same AGM runs.
    EXPECT_EQ(elliprf_unchecked(0.0, 1.0, 2.0), elliprf_unchecked(1.0, 2.0, 0.0));
    EXPECT_EQ(elliprf_unchecked(2.0, 0.0, 1.0), elliprf_unchecked(2.0, 1.0, 0.0));
}

TEST(CarlsonRf, DuplicationAndEqualArguments) {
    EXPECT_TRUE(agrees_with_quoted(elliprf_unchecked(2.0, 3.0, 4.0), 0.58408284167715));
    EXPECT_EQ(elliprf_unchecked(1.0, 1.0, 1.0), 1.0);
    EXPECT_TRUE(agrees_with_quoted(elliprf_unchecked(0.0, 3.0, 3.0), 0.90689968211711));
    EXPECT_LE(ulp_distance(elliprf_unchecked(0.0, 3.0, 3.0), std::numbers::pi / (2.0 * std::sqrt(3.0))), 1u);
    EXPECT_TRUE(agrees_with_quoted(elliprf_unchecked(3.0, 1.0, 1.0), 0.81049698947675));
    EXPECT_EQ(elliprf_unchecked(3.0, 1.0, 1.0), elliprc(3.0, 1.0));
    EXPECT_TRUE(agrees_with_quoted(elliprf_unchecked(0.5, 0.5, 2.0), 1.0752916200649));
    EXPECT_EQ(elliprf_unchecked(0.5, 0.5, 2.0), elliprc(2.0, 0.5));
    EXPECT_EQ(elliprf_unchecked(0.5, 2.0, 0.5), elliprc(2.0, 0.5));
    EXPECT_EQ(elliprf_unchecked(4.0, 4.0, 0.0), std::numbers::pi / 4.0);
}

TEST(CarlsonRf, TwoZeroArgumentsDiverge) {
    EXPECT_EQ(elliprf_unchecked(0.0, 0.0, 1.0), inf);
    EXPECT_EQ(elliprf_unchecked(0.0, 2.0, 0.0), inf);
    EXPECT_EQ(elliprf_unchecked(3.0, 0.0, 0.0), inf);
}

TEST(CarlsonRf, DuplicationCapOnExtremeSpread) {
    EXPECT_TRUE(std::isnan(elliprf_unchecked(1e-300, 1.0, 1e300)));
    EXPECT_TRUE(agrees_with_quoted(elliprf_unchecked(1e-80, 1.0, 1e80), 9.348969808088e-39));
}

TEST(CarlsonRd, AgmPathAndExchange) {
    EXPECT_TRUE(agrees_with_quoted(elliprd_unchecked(0.0, 2.0, 1.0), 1.7972103521034));
    // No y = 0 shortcut: the duplication gives the same value within a few ulp.
    EXPECT_LE(ulp_distance(elliprd_unchecked(2.0, 0.0, 1.0), elliprd_unchecked(0.0, 2.0, 1.0)), 4u);
    EXPECT_TRUE(agrees_with_quoted(elliprd_unchecked(2.0, 3.0, 4.0), 0.16510527294261));
}

TEST(CarlsonRd, EqualArguments) {
    EXPECT_TRUE(agrees_with_quoted(elliprd_unchecked(0.0, 1.0, 1.0), 2.3561944901923));
    EXPECT_LE(ulp_distance(elliprd_unchecked(0.0, 1.0, 1.0), 3.0 * std::numbers::pi / 4.0), 1u);
    EXPECT_EQ(elliprd_unchecked(1.0, 0.0, 1.0), elliprd_unchecked(0.0, 1.0, 1.0));
    EXPECT_LE(ulp_distance(elliprd_unchecked(2.0, 2.0, 2.0), 0.35355339059327379), 1u);  // 2^(-3/2)
    EXPECT_EQ(elliprd_unchecked(4.0, 4.0, 4.0), 0.125);
}

TEST(CarlsonRd, BothFirstArgumentsZeroGivesInfinity) {
    // The integral diverges at t = 0; the AGM form must not spin on a = g = 0.
    EXPECT_EQ(elliprd_unchecked(0.0, 0.0, 1.0), inf);
    EXPECT_EQ(elliprd_unchecked(0.0, 0.0, 1e-300), inf);
    EXPECT_EQ(elliprd_unchecked(-0.0, 0.0, 5.0), inf);
    EXPECT_EQ(elliprd_unchecked(0.0, 0.0, 0.0), inf);
    // Subnormal arguments whose AGM product may underflow still end.
    EXPECT_FALSE(elliprd_unchecked(0.0, 5e-324, 1e-323) < 0.0);
    EXPECT_FALSE(elliprd_unchecked(0.0, 1e-323, 5e-324) < 0.0);
}

TEST(CarlsonRj, GeneralAndPrincipalValue) {
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(0.0, 1.0, 2.0, 3.0), 0.77688623778582));
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(2.0, 3.0, 4.0, 5.0), 0.14297579667157));
    EXPECT_EQ(elliprj_unchecked(1.0, 1.0, 1.0, 1.0), 1.0);
    // First step has E near -0.865: the RC(1, b) form.
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(1.0, 2.0, 3.0, 0.001), 4.1858909008282));
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(2.0, 3.0, 4.0, -0.5), 0.24723819703052));
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(0.0, 0.5, 1.0, -0.3), -5.5694574930097));
    // The principal value sorts its arguments first.
    EXPECT_EQ(elliprj_unchecked(4.0, 2.0, 3.0, -0.5), elliprj_unchecked(2.0, 3.0, 4.0, -0.5));
}

TEST(CarlsonRj, Shortcuts) {
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(1.0, 1.0, 1.0, 2.0), 0.64380550980766));
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(0.5, 1.0, 1.0, 3.0), 0.57484676208064));
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(0.5, 1.0, 1.0, 1.1), 1.1404010700627));
    EXPECT_TRUE(agrees_with_quoted(elliprj_unchecked(1.0, 2.0, 3.0, 3.0), 0.29046028102899));
    EXPECT_EQ(elliprj_unchecked(1.0, 2.0, 3.0, 3.0), elliprd_unchecked(1.0, 2.0, 3.0));
    // x = y: exchanged with z, then the y = z = p shortcut gives RD.
    EXPECT_EQ(elliprj_unchecked(2.0, 2.0, 5.0, 2.0), elliprd_unchecked(5.0, 2.0, 2.0));
}

TEST(CarlsonRj, PrincipalValueRecursionStaysBounded) {
    // Outside the domain or after underflow the transformed p' is not positive; the
    // principal value must end rather than recurse again.
    EXPECT_TRUE(std::isnan(elliprj_unchecked(0.0, -2.0, 1.0, -3.0)));
    EXPECT_TRUE(std::isnan(elliprj_unchecked(1e-200, 2e-200, 3e-200, -1e-200)));
    EXPECT_TRUE(std::isnan(elliprj_unchecked(1e-200, 2e-200, 3e-200, 0.0)));
}

TEST(CarlsonRc, AllForms) {
    EXPECT_LE(ulp_distance(elliprc(0.0, 0.25), std::numbers::pi), 1u);
    EXPECT_LE(ulp_distance(elliprc(2.25, 2.0), std::numbers::ln2), 2u);
    EXPECT_LE(ulp_distance(elliprc(0.25, -2.0), std::numbers::ln2 / 3.0), 2u);
    EXPECT_TRUE(agrees_with_quoted(elliprc(9.0, 1.0), 0.62322524014023));
    EXPECT_TRUE(agrees_with_quoted(elliprc(5.0, 4.9), 0.45023131574165));
    EXPECT_EQ(elliprc(4.0, 4.0), 0.5);
    // b > a: atan form, RC(0.25, 1) = 2 atan(sqrt 3) / sqrt 3 = 2 pi / (3 sqrt 3).
    EXPECT_LE(ulp_distance(elliprc(0.25, 1.0), 2.0 * std::numbers::pi / (3.0 * std::sqrt(3.0))), 2u);
    // y = 0: the integral diverges.
    EXPECT_EQ(elliprc(1.0, 0.0), inf);
}

TEST(Carlson, NanPropagates) {
    for (const double v : {1.0, 2.0}) {
        EXPECT_TRUE(std::isnan(elliprf_unchecked(nan, v, 3.0)));
        EXPECT_TRUE(std::isnan(elliprf_unchecked(v, nan, 3.0)));
        EXPECT_TRUE(std::isnan(elliprf_unchecked(v, 3.0, nan)));
        EXPECT_TRUE(std::isnan(elliprd_unchecked(nan, v, 3.0)));
        EXPECT_TRUE(std::isnan(elliprd_unchecked(v, nan, 3.0)));
        EXPECT_TRUE(std::isnan(elliprd_unchecked(v, 3.0, nan)));
        EXPECT_TRUE(std::isnan(elliprj_unchecked(nan, v, 3.0, 4.0)));
        EXPECT_TRUE(std::isnan(elliprj_unchecked(v, nan, 3.0, 4.0)));
        EXPECT_TRUE(std::isnan(elliprj_unchecked(v, 3.0, nan, 4.0)));
        EXPECT_TRUE(std::isnan(elliprj_unchecked(v, 3.0, 4.0, nan)));
        EXPECT_TRUE(std::isnan(elliprc(nan, v)));
        EXPECT_TRUE(std::isnan(elliprc(v, nan)));
    }
    EXPECT_TRUE(std::isnan(elliprf_unchecked(0.0, nan, 1.0)));
    EXPECT_TRUE(std::isnan(elliprd_unchecked(0.0, nan, 1.0)));
    EXPECT_TRUE(std::isnan(elliprj_unchecked(0.0, 1.0, 2.0, nan)));
}

}  // namespace
}  // namespace vellomir
