// Tanh-sinh quadrature: evaluation counts and stopping, results against sums computed exactly with
// mpmath over the same nodes (tanh_sinh_reference.hpp) and against exact integrals, the treatment of
// non-finite integrand values and the order in which the integrand is called.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "quadrature/double_exponential.hpp"
#include "tanh_sinh_reference.hpp"

namespace vellomir {
namespace {

using testing::TanhSinhReference;
using testing::tanh_sinh_references;

const TanhSinhReference& reference(std::string_view integrand) {
    for (const TanhSinhReference& r : tanh_sinh_references) {
        if (r.integrand == integrand) {
            return r;
        }
    }
    ADD_FAILURE() << "no reference for " << integrand;
    return tanh_sinh_references[0];
}

// The integrands of the reference cases, in double precision.
std::function<double(double)> integrand(std::string_view name) {
    if (name == "square") return [](double t) { return t * t; };
    if (name == "exp" || name == "exp_reversed") return [](double t) { return std::exp(t); };
    if (name == "cos") return [](double t) { return std::cos(t); };
    if (name == "inverse_sqrt") return [](double t) { return 1.0 / std::sqrt(t); };
    if (name == "log") return [](double t) { return std::log(t); };
    if (name == "lorentzian") return [](double t) { return 1.0 / (1.0 + 100.0 * t * t); };
    ADD_FAILURE() << "unknown integrand " << name;
    return [](double) { return 0.0; };
}

// The level after which a call with this many evaluations stopped.
std::size_t stop_level(std::uint32_t evaluations) {
    switch (evaluations) {
    case 7: return 0;
    case 13: return 1;
    case 25: return 2;
    case 49: return 3;
    case 97: return 4;
    case 193: return 5;
    case 385: return 6;
    }
    ADD_FAILURE() << evaluations << " is not a possible evaluation count";
    return 6;
}

// |actual - expected| in units of the last place of expected. The sums of up to 385 rounded terms
// stay within a few of them of the exactly summed reference.
double ulps_from(double actual, double expected) {
    const double magnitude = std::fabs(expected);
    return std::fabs(actual - expected) / (std::nextafter(magnitude, 2.0 * magnitude + 1.0) - magnitude);
}

constexpr double summation_ulps = 4.0;

QuadratureResult integrate_reference(const TanhSinhReference& r, double target) {
    return integrate(integrand(r.integrand), r.a, r.b, target);
}

// --- stopping rule and evaluation counts --------------------------------------------------------

TEST(Integrate, SquareStopsAfterLevelThreeForTarget1e10) {
    const TanhSinhReference& r = reference("square");
    const QuadratureResult result = integrate_reference(r, 1e-10);
    EXPECT_EQ(result.evaluations, 49u);
    EXPECT_NEAR(result.integral, 1.0 / 3.0, 2e-15);
    // log|d3| / log|d2| = 2.8 is outside (1.9, 2.1), so the error is |d3| scaled by hw = 0.5.
    // The computed change carries the rounding of sums near 0.67: a few 1e-16.
    EXPECT_NEAR(result.error_estimate, 0.5 * std::fabs(r.level_changes[3]), 1e-15);
    EXPECT_NEAR(result.error_estimate, 1.6e-11, 0.1e-11);
    EXPECT_LT(result.error_estimate, 1e-10 / 4);
}

TEST(Integrate, SquareNeverMeetsTarget1e16) {
    const QuadratureResult result = integrate([](double t) { return t * t; }, 0.0, 1.0, 1e-16);
    EXPECT_EQ(result.evaluations, 385u);
    // The unsampled ends beyond t = +-3 leave the sum about 1.7e-14 short.
    EXPECT_NEAR(1.0 / 3.0 - result.integral, 1.7e-14, 0.2e-14);
    EXPECT_GT(result.error_estimate, 1e-16 / 4);
}

TEST(Integrate, QuadraticConvergenceTakesTheSquaredChangeAsError) {
    // Here log|d3| / log|d2| = 2.05: the error after level 3 is d3^2, and after level 4 d4^2.
    const TanhSinhReference& r = reference("lorentzian");
    const double d3 = r.level_changes[3];
    const double d4 = r.level_changes[4];

    const QuadratureResult level3 = integrate_reference(r, 1e-8);
    EXPECT_EQ(level3.evaluations, 49u);
    EXPECT_NEAR(level3.error_estimate, 0.5 * d3 * d3, 1e-6 * 0.5 * d3 * d3);

    const QuadratureResult level4 = integrate_reference(r, 1e-12);
    EXPECT_EQ(level4.evaluations, 97u);
    EXPECT_NEAR(level4.error_estimate, 0.5 * d4 * d4, 1e-4 * 0.5 * d4 * d4);
    EXPECT_LE(ulps_from(level4.integral, r.level_estimates[4]), summation_ulps);
    EXPECT_NEAR(level4.integral, r.exact, 1e-14);
}

TEST(Integrate, EveryLevelCanEndTheCall) {
    // Targets far from the level errors hw * err of the reference sums (in brackets).
    struct Case {
        std::string_view integrand;
        double target;
        std::uint32_t evaluations;
    };
    const Case cases[] = {
        {"cos", 1.0, 25},              // level 2 error 3.1e-3 < 0.25
        {"square", 1e-10, 49},         // level 3 error 1.6e-11
        {"cos", 1e-13, 97},            // level 3 error 1.9e-8, level 4 2e-15
        {"inverse_sqrt", 2.4e-7, 193}, // levels 2..5: 4.8e-7, 7.2e-8, 8.1e-8, 5.6e-8 against 6e-8
        {"inverse_sqrt", 1e-16, 385},
    };
    for (const Case& c : cases) {
        const TanhSinhReference& r = reference(c.integrand);
        const QuadratureResult result = integrate_reference(r, c.target);
        EXPECT_EQ(result.evaluations, c.evaluations) << c.integrand << " target " << c.target;
        if (c.evaluations < 385) {
            EXPECT_LT(result.error_estimate, c.target / 4) << c.integrand;
        }
    }
}

TEST(Integrate, InverseSqrtMissesThePartOfTheSingularEndBeyondTheLastNode) {
    for (const double target : {1e-10, 1e-16}) {
        const QuadratureResult result = integrate([](double t) { return 1.0 / std::sqrt(t); }, 0.0, 1.0, target);
        EXPECT_EQ(result.evaluations, 385u);
        EXPECT_NEAR(2.0 - result.integral, 2.6e-7, 0.05e-7);
    }
}

TEST(Integrate, EmptyIntervalStopsAtTheFirstTest) {
    // hw = 0 makes the threshold infinite, though the integrand is sampled at c = 1.5 only.
    int calls = 0;
    const QuadratureResult result = integrate(
        [&](double t) {
            ++calls;
            EXPECT_EQ(t, 1.5);
            return t;
        },
        1.5, 1.5, 1e-10);
    EXPECT_EQ(result.evaluations, 25u);
    EXPECT_EQ(calls, 25);
    EXPECT_EQ(result.integral, 0.0);
}

TEST(Integrate, NonPositiveTargetRunsAllLevels) {
    for (const double target : {0.0, -1.0}) {
        const QuadratureResult result = integrate([](double t) { return std::exp(t); }, 0.0, 1.0, target);
        EXPECT_EQ(result.evaluations, 385u) << "target " << target;
        EXPECT_LE(ulps_from(result.integral, reference("exp").level_estimates[6]), summation_ulps);
    }
}

TEST(Integrate, ExactZeroChangeStopsEvenWithoutAReachableTarget) {
    // A zero integrand (or one that is nowhere finite) changes nothing: err = 0 at the first test.
    const auto zero = [](double) { return 0.0; };
    const auto nan = [](double) { return std::numeric_limits<double>::quiet_NaN(); };
    for (const double target : {0.0, 1e-16}) {
        for (const auto& [a, b] : {std::pair{0.0, 1.0}, std::pair{1.0, 0.0}}) {
            for (const QuadratureResult result : {integrate(zero, a, b, target), integrate(nan, a, b, target)}) {
                EXPECT_EQ(result.evaluations, 25u);
                EXPECT_EQ(result.integral, 0.0);
                EXPECT_EQ(result.error_estimate, 0.0);
            }
        }
    }
}

TEST(Integrate, ReversedIntervalGivesTheNegatedIntegralAndRunsAllLevels) {
    // hw < 0 makes the threshold negative, so the test never passes; the error comes out negative.
    const TanhSinhReference& r = reference("exp_reversed");
    const QuadratureResult reversed = integrate_reference(r, 1e-10);
    const QuadratureResult forward = integrate([](double t) { return std::exp(t); }, 0.0, 1.0, 1e-10);
    EXPECT_EQ(forward.evaluations, 49u);
    EXPECT_EQ(reversed.evaluations, 385u);
    EXPECT_LE(ulps_from(reversed.integral, r.level_estimates[6]), summation_ulps);
    EXPECT_NEAR(reversed.integral, 1.0 - std::exp(1.0), 1e-13);
    EXPECT_LT(reversed.error_estimate, 0.0);
}

TEST(Integrate, OverflowingSumsRunAllLevelsAndGiveANonFiniteIntegral) {
    const QuadratureResult result =
        integrate([](double) { return std::numeric_limits<double>::max(); }, 0.0, 1.0, 1e-10);
    EXPECT_EQ(result.evaluations, 385u);
    EXPECT_FALSE(std::isfinite(result.integral));
}

// --- accuracy --------------------------------------------------------------------------------

TEST(Integrate, FullRunsMatchTheExactSumsOverTheSameNodes) {
    // Only the integrand's rounding and the rounding of 385 products and sums separate the two.
    for (const TanhSinhReference& r : tanh_sinh_references) {
        const QuadratureResult result = integrate_reference(r, 0.0);
        ASSERT_EQ(result.evaluations, 385u) << r.integrand;
        EXPECT_LE(ulps_from(result.integral, r.level_estimates[6]), summation_ulps) << r.integrand;
    }
}

TEST(Integrate, EarlyStopsMatchTheExactSumOfTheirLevel) {
    for (const TanhSinhReference& r : tanh_sinh_references) {
        for (const double target : {1e-2, 1e-6, 1e-9, 1e-12}) {
            const QuadratureResult result = integrate_reference(r, target);
            const std::size_t level = stop_level(result.evaluations);
            EXPECT_LE(ulps_from(result.integral, r.level_estimates[level]), summation_ulps)
                << r.integrand << " target " << target;
        }
    }
}

TEST(Integrate, SmoothIntegrandsAgreeWithTheirExactIntegrals) {
    // What the nodes beyond t = +-3 would add is about 4.3e-14 * hw * |f| at each end.
    for (const std::string_view name : {"square", "exp", "exp_reversed", "cos", "lorentzian"}) {
        const TanhSinhReference& r = reference(name);
        const QuadratureResult result = integrate_reference(r, 1e-16);
        EXPECT_NEAR(result.integral, r.exact, 1e-13 * std::fabs(r.b - r.a) * 3.0) << name;
    }
}

TEST(Integrate, LogarithmicEndpointSingularity) {
    // log t is -infinity at the end a = 0, where no node lies; what is lost there is about 5e-13.
    const TanhSinhReference& r = reference("log");
    const QuadratureResult result = integrate_reference(r, 1e-16);
    EXPECT_NEAR(result.integral, -1.0, 1e-12);
    EXPECT_GT(result.integral, -1.0);
}

// --- non-finite integrand values ----------------------------------------------------------------

TEST(Integrate, NonFiniteValuesCountAsZeroIncludingTheCentre) {
    // Poison the centre and three node arguments of [0, 1]; the results must equal those of an
    // integrand that is 0 there, to the bit.
    const double first = tanh_sinh_nodes[0].abscissa * 0.5 + 0.5;
    const double second = -tanh_sinh_nodes[4].abscissa * 0.5 + 0.5;
    const double third = tanh_sinh_nodes[100].abscissa * 0.5 + 0.5;
    const auto with = [&](double centre, double v1, double v2, double v3) {
        return [=](double t) {
            if (t == 0.5) return centre;
            if (t == first) return v1;
            if (t == second) return v2;
            if (t == third) return v3;
            return std::exp(t);
        };
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double target : {1e-10, 1e-16}) {
        const QuadratureResult poisoned = integrate(with(nan, inf, -inf, nan), 0.0, 1.0, target);
        const QuadratureResult zeroed = integrate(with(0.0, 0.0, 0.0, 0.0), 0.0, 1.0, target);
        const QuadratureResult plain = integrate([](double t) { return std::exp(t); }, 0.0, 1.0, target);
        EXPECT_EQ(poisoned.integral, zeroed.integral);
        EXPECT_EQ(poisoned.error_estimate, zeroed.error_estimate);
        EXPECT_EQ(poisoned.evaluations, zeroed.evaluations);
        EXPECT_TRUE(std::isfinite(poisoned.integral));
        EXPECT_NE(poisoned.integral, plain.integral);  // the poisoned points were really sampled
    }
}

TEST(Integrate, NonFiniteCentreOnlyIsIgnored) {
    const QuadratureResult result =
        integrate([](double t) { return t == 0.0 ? std::numeric_limits<double>::infinity() : 1.0; }, -1.0, 1.0, 0.0);
    const QuadratureResult reference_result =
        integrate([](double t) { return t == 0.0 ? 0.0 : 1.0; }, -1.0, 1.0, 0.0);
    EXPECT_EQ(result.integral, reference_result.integral);
    EXPECT_NEAR(result.integral, 2.0 - 3.141592653589793 / 128.0, 1e-12);  // centre weight (pi/2) h_6
}

// --- calls to the integrand ---------------------------------------------------------------------

TEST(Integrate, CallsTheIntegrandInTableOrderPositiveSideFirst) {
    const double a = -1.0;
    const double b = 2.0;
    const double hw = (b - a) * 0.5;
    const double c = (a + b) * 0.5;
    std::vector<double> arguments;
    arguments.reserve(400);
    const QuadratureResult result = integrate(
        [&](double t) {
            arguments.push_back(t);
            return std::cos(t);
        },
        a, b, 0.0);
    ASSERT_EQ(result.evaluations, 385u);
    ASSERT_EQ(arguments.size(), 385u);
    EXPECT_EQ(arguments[0], c);
    for (std::size_t i = 0; i < tanh_sinh_nodes.size(); ++i) {
        const double x = tanh_sinh_nodes[i].abscissa;
        EXPECT_EQ(arguments[1 + 2 * i], x * hw + c) << "node " << i;
        EXPECT_EQ(arguments[2 + 2 * i], -x * hw + c) << "node " << i;
    }
}

TEST(Integrate, CallsTheIntegrandExactlyEvaluationsTimes) {
    for (const TanhSinhReference& r : tanh_sinh_references) {
        for (const double target : {1.0, 1e-6, 1e-10, 1e-16}) {
            std::uint32_t calls = 0;
            const auto f = integrand(r.integrand);
            const QuadratureResult result = integrate(
                [&](double t) {
                    ++calls;
                    return f(t);
                },
                r.a, r.b, target);
            EXPECT_EQ(calls, result.evaluations) << r.integrand << " target " << target;
        }
    }
}

TEST(Integrate, AcceptsConstAndMutableFunctionObjects) {
    struct Linear {
        double slope;
        double operator()(double t) const { return slope * t; }
    };
    const Linear linear{2.0};
    EXPECT_NEAR(integrate(linear, 0.0, 1.0, 1e-10).integral, 1.0, 1e-14);
    EXPECT_NEAR(integrate(Linear{4.0}, 0.0, 1.0, 1e-10).integral, 2.0, 1e-14);
}

}  // namespace
}  // namespace vellomir
