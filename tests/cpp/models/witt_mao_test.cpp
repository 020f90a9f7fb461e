// Uniform-disk magnification: mpmath reference values (closed form and an elliptic-free polar
// integral, which agree to 24 digits), the rim and point-source cases, and the vector map.

#include "models/witt_mao.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <map>
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
    // Close to the rim Pi(n, m) depends on 1 - n = ((u - rho) / (u + rho))^2, which is taken
    // from u - rho without cancellation.
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
    EXPECT_LT(near.error, 1e-13) << near.where;
}

TEST(WittMaoReference, RimFormulaIsExactOnTheRim) {
    // Written with 2 atan(rho), which keeps every digit for small rho.
    WorstError worst;
    for (const auto& row : read_reference("models_witt_mao.txt")) {
        if (row.tag != "rim") continue;
        const double rho = row.number(1);
        worst.add(witt_mao_magnification_scaled(row.number(0), rho), row.number(2), label(rho, rho));
    }
    std::cout << "[ worst ] Witt-Mao on the rim: " << worst.error << " at " << worst.where << "\n";
    EXPECT_LT(worst.error, 1e-15) << worst.where;
}

TEST(WittMaoReference, NextToTheRimTheGeneralFormHolds) {
    // Where a band of the old rim value used to stand (|u - rho| < max(1e-3 rho, 1e-5)), the
    // general form now gives the true magnification on both sides of the rim.
    WorstError worst;
    for (const auto& row : read_reference("models_witt_mao.txt")) {
        if (row.tag != "band") continue;
        const double u = row.number(0), rho = row.number(1);
        const double got = witt_mao_magnification_scaled(u, rho);
        EXPECT_NE(got, witt_mao_magnification_scaled(rho, rho)) << label(u, rho);
        worst.add(got, row.number(2), label(u, rho));
    }
    std::cout << "[ worst ] Witt-Mao in the former rim band: " << worst.error << " at " << worst.where << "\n";
    EXPECT_LT(worst.error, 1e-13) << worst.where;
}

TEST(WittMaoExact, RimLimbInsideAndFarAgainstTwoDimensionalIntegrals) {
    // One group per region; rho from 1e-12 to 100, |u - rho| / rho from 3e-14, u / rho to 1e300.
    std::map<std::string, WorstError> worst;
    for (const auto& row : read_reference("models_disk_exact.txt")) {
        const double u = row.number(0), rho = row.number(1);
        worst[row.tag].add(witt_mao_magnification_scaled(u, rho), row.number(2), label(u, rho));
    }
    ASSERT_EQ(worst.size(), 4u);
    for (const auto& [region, w] : worst) {
        std::cout << "[ worst ] Witt-Mao, " << region << ": " << w.error << " at " << w.where << "\n";
        EXPECT_LT(w.error, 1e-13) << region << " " << w.where;
    }
}

TEST(WittMaoExact, PropertiesOverTheWholeDoubleRange) {
    // Log-uniform u and rho from 1e-300 to 1e300: never NaN, never below 1 for finite positive
    // input, non-increasing in u outside the disk (up to 4 ulps: for rho above about 1e4 the
    // lens outside the disk leaves A - 1 ~ 2/u^4 below an ulp, and the closed form's rounding
    // shows as 1 or 1 + 2 eps), and no step across the rim beyond the true change.
    std::uint64_t state = 0x9e3779b97f4a7c15u;
    const auto uniform = [&state] {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return static_cast<double>(state >> 11) * 0x1p-53;
    };
    const double eps = std::numeric_limits<double>::epsilon();
    for (int i = 0; i < 200000; ++i) {
        const double rho = std::pow(10.0, -300.0 + 600.0 * uniform());
        const double u = (i % 2 == 0) ? rho * std::pow(10.0, -4.0 + 8.0 * uniform()) : std::pow(10.0, -300.0 + 600.0 * uniform());
        const double a = witt_mao_magnification_scaled(u, rho);
        ASSERT_FALSE(std::isnan(a)) << label(u, rho);
        ASSERT_GE(a, 1.0) << label(u, rho);
        if (u > rho) {
            const double farther = u * (1.0 + 1e-3 * uniform());
            EXPECT_LE(witt_mao_magnification_scaled(farther, rho), a * (1.0 + 4.0 * eps)) << label(u, rho);
        }
    }
    for (const double rho : {1e-10, 1e-4, 0.1, 1.0, 100.0}) {
        const double inside = witt_mao_magnification_scaled(std::nextafter(rho, 0.0), rho);
        const double outside = witt_mao_magnification_scaled(std::nextafter(rho, 1e300), rho);
        EXPECT_LT(relative_error(inside, outside), 1e-13) << rho;
    }
}

TEST(WittMaoScaled, LensOnTheRimOfTheUnitDisk) {
    EXPECT_DOUBLE_EQ(witt_mao_magnification_scaled(1.0, 1.0), (PI + 2.0) / PI);
}

TEST(WittMaoScaled, LensAtTheCentreIsTheGeneralCase) {
    EXPECT_LT(relative_error(witt_mao_magnification_scaled(0.0, 0.1), std::sqrt(401.0)), 4e-16);
    EXPECT_LT(relative_error(witt_mao_magnification_scaled(0.0, 2.0), std::sqrt(2.0)), 4e-16);
}

TEST(WittMaoScaled, TheRimValueOnlyOnTheRim) {
    // No band: one ulp off the rim the general form holds, on either side of the rim value.
    for (const double rho : {1e-10, 0.001, 0.3, 10.0}) {
        const double rim = witt_mao_magnification_scaled(rho, rho);
        EXPECT_GE(witt_mao_magnification_scaled(std::nextafter(rho, 0.0), rho), rim) << rho;
        EXPECT_LE(witt_mao_magnification_scaled(std::nextafter(rho, 1e300), rho), rim) << rho;
        EXPECT_NE(witt_mao_magnification_scaled(rho * (1.0 - 1e-9), rho), rim) << rho;
        EXPECT_LT(relative_error(witt_mao_magnification_scaled(std::nextafter(rho, 0.0), rho), rim), 1e-13) << rho;
    }
}

TEST(WittMaoScaled, PointSource) {
    // (u^2 + 2) / (u sqrt(u^2 + 4)) for rho = 0 (either sign); a negative u or rho is no geometry.
    EXPECT_DOUBLE_EQ(witt_mao_magnification_scaled(1.0, 0.0), 3.0 / std::sqrt(5.0));
    EXPECT_DOUBLE_EQ(witt_mao_magnification_scaled(1.0, -0.0), 3.0 / std::sqrt(5.0));
    EXPECT_TRUE(std::isnan(witt_mao_magnification_scaled(-1.0, -0.5)));
    EXPECT_TRUE(std::isnan(witt_mao_magnification_scaled(-1.0, 0.0)));
    EXPECT_TRUE(std::isnan(witt_mao_magnification_scaled(0.5, -0.5)));
    EXPECT_EQ(witt_mao_magnification_scaled(0.0, 0.0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(witt_mao_magnification_scaled(-0.0, 0.0), std::numeric_limits<double>::infinity());
}

TEST(WittMaoScaled, PointSourceFarAway) {
    // Where u * u overflows the value is 1 (A - 1 = 2 / u^4); just below, the formula gives 1 too.
    constexpr double largest_square_root = 1.3407807929942596e154;  // sqrt(DBL_MAX), rounded down
    for (const double u : {1e8, 1e150, largest_square_root, std::nextafter(largest_square_root, 1e300), 1e155,
                           1e300, std::numeric_limits<double>::max(), std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(witt_mao_magnification_scaled(u, 0.0), 1.0) << u;
    }
    EXPECT_TRUE(std::isnan(witt_mao_magnification_scaled(std::numeric_limits<double>::quiet_NaN(), 0.0)));
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
    EXPECT_EQ(std::vector<double>(got.begin(), got.begin() + 3), (std::vector<double>{inf, inf, inf}));
    EXPECT_TRUE(std::isnan(got[3]));  // a negative separation
}

TEST(WittMaoMagnification, NegativeSourceRadiusIsNan) {
    // re and rstar of opposite signs: no magnification, whatever the separation's sign.
    WorkerPool pool(1);
    for (const double x : witt_mao_magnification(pool, {2.0, -4.0, 0.0}, -1.0, 0.5)) EXPECT_TRUE(std::isnan(x));
    // rho = -0.0 is a point source on the lens, as rho = +0.0.
    EXPECT_EQ(witt_mao_magnification(pool, {2.0}, 1.0, -0.0)[0], std::numeric_limits<double>::infinity());
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
