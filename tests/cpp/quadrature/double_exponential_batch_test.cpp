// integrate_batched against integrate, and integrate_piece_batched against integrate_piece: the
// same points in the same order, and results equal bit for bit, for integrands that stop early,
// run every level, or give non-finite values, on pieces that take each rule.

#include "quadrature/double_exponential_batch.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <vector>

#include "quadrature/double_exponential.hpp"
#include "quadrature/piecewise_rule_batch.hpp"

namespace vellomir {
namespace {

struct Case {
    const char* name;
    std::function<double(double)> f;
    double a;
    double b;
    double target;
};

TEST(IntegrateBatched, MatchesIntegrateBitForBit) {
    const std::vector<Case> cases{
        {"smooth, early stop", [](double t) { return std::exp(-t) * std::cos(3.0 * t); }, 0.0, 2.0, 1e-10},
        {"smooth, every level", [](double t) { return std::exp(-t) * std::cos(3.0 * t); }, 0.0, 2.0, 0.0},
        {"logarithmic endpoint", [](double t) { return std::log(t); }, 0.0, 1.0, 1e-16},
        {"reversed interval", [](double t) { return 1.0 / std::sqrt(t); }, 1.0, 0.0, 1e-16},
        {"non-finite values", [](double t) { return t < 0.3 ? NAN : (t > 0.9 ? INFINITY : t * t); }, 0.0, 1.0, 1e-16},
        {"empty interval", [](double t) { return t; }, 0.5, 0.5, 1e-16},
        {"constant", [](double) { return 2.0; }, -1.0, 3.0, 1e-16},
    };
    for (const Case& c : cases) {
        std::vector<double> scalar_points;
        const QuadratureResult want = integrate(
            [&](double t) {
                scalar_points.push_back(t);
                return c.f(t);
            },
            c.a, c.b, c.target);
        std::vector<double> batch_points;
        const QuadratureResult got = integrate_batched(
            [&](std::span<const double> t, std::span<double> values) {
                for (std::size_t i = 0; i < t.size(); ++i) {
                    batch_points.push_back(t[i]);
                    values[i] = c.f(t[i]);
                }
            },
            c.a, c.b, c.target);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got.integral), std::bit_cast<std::uint64_t>(want.integral)) << c.name;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got.error_estimate), std::bit_cast<std::uint64_t>(want.error_estimate))
            << c.name;
        EXPECT_EQ(got.evaluations, want.evaluations) << c.name;
        ASSERT_EQ(batch_points.size(), scalar_points.size()) << c.name;
        for (std::size_t i = 0; i < scalar_points.size(); ++i) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(batch_points[i]), std::bit_cast<std::uint64_t>(scalar_points[i]))
                << c.name << ", point " << i;
        }
    }
}

TEST(IntegratePieceBatched, MatchesIntegratePieceBitForBit) {
    const auto f = [](double t) { return t < 0.05 ? NAN : std::log(t) / (1.0 + t * t); };
    const PieceRule rule = exact_piece_rule(1e-14);
    // Singular points from far away (4 points) to an endpoint (tanh-sinh).
    for (const SingularPoint z : {SingularPoint{0.5, 100.0}, SingularPoint{0.5, 3.0}, SingularPoint{0.5, 0.3},
                                  SingularPoint{0.0, 0.0}}) {
        const std::array<SingularPoint, 1> singular{z};
        std::vector<double> scalar_points;
        const double want = integrate_piece([&](double t) { scalar_points.push_back(t); return f(t); }, 0.0, 1.0,
                                            singular, rule);
        std::vector<double> batch_points;
        const double got = integrate_piece_batched(
            [&](std::span<const double> t, std::span<double> values) {
                for (std::size_t i = 0; i < t.size(); ++i) {
                    batch_points.push_back(t[i]);
                    values[i] = f(t[i]);
                }
            },
            0.0, 1.0, singular, rule);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want)) << z.x << " " << z.y;
        EXPECT_EQ(batch_points, scalar_points) << z.x << " " << z.y;
    }
}

}  // namespace
}  // namespace vellomir
