// Uniform-disk magnification: mpmath reference values (closed form and an elliptic-free polar
// integral, which agree to 24 digits), the rim and point-source cases, and the vector map.

#include "models/witt_mao.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <vector>

#include "models/model_constants.hpp"
#include "parallel/worker_pool.hpp"
#include "reference_data.hpp"

namespace vellomir {
namespace {

using testing::read_reference;
using testing::relative_error;
using testing::WorstError;

constexpr std::uint64_t DEFAULT_QUIET_NAN = 0x7ff8000000000000u;

std::string label(double u, double rho) { return "u=" + std::to_string(u) + " rho=" + std::to_string(rho); }

TEST(WittMaoReference, GeneralCase) {
    // Close to the rim Pi(n, m) depends on 1 - n = ((u - rho) / (u + rho))^2, which the rounded n
    // carries only to about eps * ((u + rho) / (u - rho))^2: a few 1e-10 just outside the band.
    WorstError far, near;
    int count = 0;
    for (const auto& row : read_reference("models_witt_mao.txt")) {
        if (row.tag != "general" && row.tag != "edge") continue;
        const double u = row.number(0), rho = row.number(1), expected = row.number(2);
        const bool close_to_rim = std::fabs(u - rho) < 0.02 * rho;
        (close_to_rim ? near : far).add(witt_mao_magnification_scaled(u, rho), expected, label(u, rho));
        ++count;
    }
    EXPECT_GT(count, 90);
    std::cout << "[ worst ] Witt-Mao, |u - rho| >= 0.02 rho: " << far.error << " at " << far.where
              << "\n[ worst ] Witt-Mao, band edge to 0.02 rho: " << near.error << " at " << near.where << "\n";
    EXPECT_LT(far.error, 1e-12) << far.where;
    EXPECT_LT(near.error, 1e-9) << near.where;
}

TEST(WittMaoReference, RimFormulaIsExactOnTheRim) {
    // asin((rho^2 - 1) / (rho^2 + 1)) + pi/2 cancels for small rho: 1.4e-12 at rho = 1e-3.
    WorstError worst;
    for (const auto& row : read_reference("models_witt_mao.txt")) {
        if (row.tag != "rim") continue;
        const double rho = row.number(1);
        worst.add(witt_mao_magnification_scaled(row.number(0), rho), row.number(2), label(rho, rho));
    }
    std::cout << "[ worst ] Witt-Mao on the rim: " << worst.error << " at " << worst.where << "\n";
    EXPECT_LT(worst.error, 1e-11) << worst.where;
}

TEST(WittMaoReference, InsideTheRimBandTheRimValueStandsIn) {
    // Within the band the rim value replaces the true magnification, whose slope diverges
    // logarithmically at u = rho; the substitution costs up to a few per mille (1.6 % where the
    // absolute 1e-5 floor is 1 % of rho).
    WorstError worst;
    for (const auto& row : read_reference("models_witt_mao.txt")) {
        if (row.tag != "band") continue;
        const double u = row.number(0), rho = row.number(1);
        const double got = witt_mao_magnification_scaled(u, rho);
        EXPECT_EQ(got, witt_mao_magnification_scaled(rho, rho)) << label(u, rho);
        worst.add(got, row.number(2), label(u, rho));
    }
    std::cout << "[ worst ] Witt-Mao inside the rim band (rim value vs truth): " << worst.error << " at "
              << worst.where << "\n";
    EXPECT_LT(worst.error, 0.02);
}

TEST(WittMaoScaled, LensOnTheRimOfTheUnitDisk) {
    EXPECT_DOUBLE_EQ(witt_mao_magnification_scaled(1.0, 1.0), (PI + 2.0) / PI);
}

TEST(WittMaoScaled, LensAtTheCentreIsTheGeneralCase) {
    EXPECT_LT(relative_error(witt_mao_magnification_scaled(0.0, 0.1), std::sqrt(401.0)), 4e-16);
    EXPECT_LT(relative_error(witt_mao_magnification_scaled(0.0, 2.0), std::sqrt(2.0)), 4e-16);
}

TEST(WittMaoScaled, RimBandIsRelativeAboveTheFloor) {
    const double rho = 0.3;  // band half-width 3e-4
    const double rim = witt_mao_magnification_scaled(rho, rho);
    EXPECT_EQ(witt_mao_magnification_scaled(rho + 2.9e-4, rho), rim);
    EXPECT_EQ(witt_mao_magnification_scaled(rho - 2.9e-4, rho), rim);
    // At 4e-4 the general case applies: its values lie on either side of the rim value.
    EXPECT_GT(witt_mao_magnification_scaled(rho - 4e-4, rho), rim);
    EXPECT_LT(witt_mao_magnification_scaled(rho + 4e-4, rho), rim);
}

TEST(WittMaoScaled, RimBandHasAnAbsoluteFloor) {
    const double rho = 0.001;  // 0.001 * rho = 1e-6 is below the floor of 1e-5
    const double rim = witt_mao_magnification_scaled(rho, rho);
    EXPECT_EQ(witt_mao_magnification_scaled(rho + 0.9e-5, rho), rim);
    EXPECT_EQ(witt_mao_magnification_scaled(rho - 0.9e-5, rho), rim);
    EXPECT_NE(witt_mao_magnification_scaled(rho + 1.1e-5, rho), rim);
    EXPECT_NE(witt_mao_magnification_scaled(rho - 1.1e-5, rho), rim);
}

TEST(WittMaoScaled, PointSource) {
    // (u^2 + 2) / (u sqrt(u^2 + 4)) for rho <= 0, odd in u.
    EXPECT_DOUBLE_EQ(witt_mao_magnification_scaled(1.0, 0.0), 3.0 / std::sqrt(5.0));
    EXPECT_DOUBLE_EQ(witt_mao_magnification_scaled(-1.0, -0.5), -3.0 / std::sqrt(5.0));
    EXPECT_EQ(witt_mao_magnification_scaled(0.0, 0.0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(witt_mao_magnification_scaled(-0.0, 0.0), -std::numeric_limits<double>::infinity());
}

TEST(WittMaoScaled, NanGivesTheDefaultQuietNan) {
    // Both reach the general case, whose elliptic routine rejects the NaN parameter.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(std::bit_cast<std::uint64_t>(witt_mao_magnification_scaled(nan, 0.1)), DEFAULT_QUIET_NAN);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(witt_mao_magnification_scaled(-nan, 0.1)), DEFAULT_QUIET_NAN);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(witt_mao_magnification_scaled(0.5, nan)), DEFAULT_QUIET_NAN);
}

TEST(WittMaoMagnification, ScalesSeparationsByTheSourceRadius) {
    WorkerPool pool(2);
    const std::vector<double> l = {0.0, 0.5, 1.0, 2.0, 7.5};
    const std::vector<double> got = witt_mao_magnification(pool, l, 10.0, 1.0);
    ASSERT_EQ(got.size(), l.size());
    const double rho = 1.0 / 10.0;
    for (std::size_t i = 0; i < l.size(); ++i) EXPECT_EQ(got[i], witt_mao_magnification_scaled(l[i] * rho, rho));
    EXPECT_EQ(witt_mao_magnification(pool, {1.0}, 1.0, 1.0)[0], witt_mao_magnification_scaled(1.0, 1.0));
}

TEST(WittMaoMagnification, EmptySeparations) {
    WorkerPool pool(2);
    EXPECT_TRUE(witt_mao_magnification(pool, {}, 1.0, 0.1).empty());
    EXPECT_TRUE(witt_mao_magnification({}, 1.0, 0.1).empty());
}

TEST(WittMaoMagnification, ZeroStellarRadiusIsAPointSourceAtTheLens) {
    WorkerPool pool(2);
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> got = witt_mao_magnification(pool, {0.5, 0.0, 3.0, -2.0}, 1.0, 0.0);
    EXPECT_EQ(got, (std::vector<double>{inf, inf, inf, -inf}));
}

TEST(WittMaoMagnification, NegativeEinsteinRadiusTakesThePointSourceForm) {
    WorkerPool pool(1);
    const std::vector<double> got = witt_mao_magnification(pool, {2.0, -4.0}, -1.0, 0.5);  // rho = -0.5
    EXPECT_DOUBLE_EQ(got[0], -3.0 / std::sqrt(5.0));  // u = -1
    EXPECT_DOUBLE_EQ(got[1], 6.0 / (2.0 * std::sqrt(8.0)));  // u = 2
}

TEST(WittMaoMagnification, NanSpoilsOnlyItsOwnElement) {
    WorkerPool pool(2);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> got = witt_mao_magnification(pool, {0.5, nan, 2.0}, 1.0, 0.1);
    EXPECT_EQ(got[0], witt_mao_magnification_scaled(0.05, 0.1));
    EXPECT_TRUE(std::isnan(got[1]));
    EXPECT_EQ(got[2], witt_mao_magnification_scaled(2.0 * 0.1, 0.1));
}

TEST(WittMaoMagnification, SameResultsWhateverThePoolSize) {
    std::vector<double> l(1013);
    for (std::size_t i = 0; i < l.size(); ++i) l[i] = 3.0 * static_cast<double>(i) / 1012.0;
    std::vector<double> sequential;
    for (const double x : l) sequential.push_back(witt_mao_magnification_scaled(x * 0.1, 0.1));
    for (const std::size_t workers : {1u, 2u, 7u}) {
        WorkerPool pool(workers);
        const std::vector<double> got = witt_mao_magnification(pool, l, 1.0, 0.1);
        EXPECT_EQ(got, sequential) << workers << " workers";
    }
    EXPECT_EQ(witt_mao_magnification(l, 1.0, 0.1), sequential) << "process-wide pool";
}

}  // namespace
}  // namespace vellomir
