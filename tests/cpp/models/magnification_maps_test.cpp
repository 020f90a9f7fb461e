// The NumPy face's array maps: every element bit for bit its scalar kernel, for any number of
// workers and on either side of the inline-or-pool decision; NaN, infinite and failing elements.

#include "models/magnification_maps.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

#include "models/profile_magnification.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// A launcher that runs the pool part on `pool` and counts how often it was asked to.
struct CountingLauncher {
    explicit CountingLauncher(WorkerPool& pool) : pool(pool) {}
    WorkerPool& pool;
    int launches = 0;
    PoolLauncherOf<std::function<void(PoolWork&)>> launcher{[this](PoolWork& work) {
        ++launches;
        work.run(pool);
    }};
};

// Separations across every branch: the lens inside, on and outside the rim, the far series,
// NaN, both infinities, negative u (its sign is ignored), zero.
std::vector<double> separations(std::size_t count, double rho) {
    const double special[] = {0.0, -0.0, rho, -rho, rho * (1 + 1e-9), nan, inf, -inf, 1e-300, 1e6};
    std::vector<double> u;
    for (std::size_t i = 0; i < count; ++i) {
        u.push_back(i % 7 == 3 ? special[(i / 7) % std::size(special)] : (static_cast<double>(i) - 20.0) * rho * 0.37);
    }
    return u;
}

std::vector<double> radii(std::size_t count) {
    std::vector<double> rho;
    for (std::size_t i = 0; i < count; ++i) rho.push_back(i % 11 == 5 ? (i % 2 ? nan : 0.0) : 1e-3 * (1 + i % 9));
    return rho;
}

void expect_same_bits(const std::vector<double>& got, const std::vector<double>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got[i]), std::bit_cast<std::uint64_t>(want[i])) << "element " << i;
    }
}

const std::size_t sizes[] = {0, 1, INLINE_CHEAP_ELEMENTS, INLINE_CHEAP_ELEMENTS + 1, 64, 203};

TEST(UniformDiskMap, EveryElementIsTheScalarKernelForAnyWorkerCount) {
    for (std::size_t workers : {1, 2, 4}) {
        WorkerPool pool(workers);
        for (std::size_t count : sizes) {
            for (bool one_radius : {true, false}) {
                const std::vector<double> u = separations(count, 0.05);
                const std::vector<double> rho = one_radius ? std::vector<double>{0.05} : radii(count);
                std::vector<double> want(count), out(count, -1.0);
                for (std::size_t i = 0; i < count; ++i) {
                    want[i] = uniform_disk_magnification(u[i], one_radius ? rho[0] : rho[i]);
                }
                CountingLauncher launcher(pool);
                uniform_disk_magnification_map(u, rho, out, launcher.launcher);
                expect_same_bits(out, want);
                EXPECT_EQ(launcher.launches, count > INLINE_CHEAP_ELEMENTS ? 1 : 0) << count;
            }
        }
    }
}

TEST(UniformDiskMap, ElementRule) {
    EXPECT_TRUE(std::isnan(uniform_disk_magnification(nan, 0.1)));
    EXPECT_TRUE(std::isnan(uniform_disk_magnification(0.5, nan)));
    EXPECT_TRUE(std::isnan(uniform_disk_magnification(inf, nan)));
    EXPECT_EQ(uniform_disk_magnification(-inf, 0.1), 1.0);
    EXPECT_EQ(uniform_disk_magnification(-0.3, 0.1), uniform_disk_magnification(0.3, 0.1));
}

TEST(UniformDiskMap, InlineAndPoolGiveTheSameBits) {
    // The same 32 elements alone (inline) and followed by one more (all on the pool).
    WorkerPool pool(3);
    const std::vector<double> u = separations(INLINE_CHEAP_ELEMENTS + 1, 0.2);
    const std::vector<double> head(u.begin(), u.end() - 1);
    for (const std::vector<double>& rho : {std::vector<double>{0.2}, radii(u.size())}) {
        const std::vector<double> head_rho = rho.size() == 1 ? rho : std::vector<double>(rho.begin(), rho.end() - 1);
        std::vector<double> inline_out(head.size()), pool_out(u.size());
        CountingLauncher inline_run(pool), pool_run(pool);
        uniform_disk_magnification_map(head, head_rho, inline_out, inline_run.launcher);
        uniform_disk_magnification_map(u, rho, pool_out, pool_run.launcher);
        EXPECT_EQ(inline_run.launches, 0);
        EXPECT_EQ(pool_run.launches, 1);
        pool_out.pop_back();
        expect_same_bits(inline_out, pool_out);
    }
}

TEST(UniformDiskMap, InconsistentLengthsAreRefused) {
    WorkerPool pool(1);
    CountingLauncher launcher(pool);
    std::vector<double> u(4, 1.0), rho(3, 0.1), out(4);
    EXPECT_THROW(uniform_disk_magnification_map(u, rho, out, launcher.launcher), std::invalid_argument);
    std::vector<double> short_out(3);
    EXPECT_THROW(uniform_disk_magnification_map(u, {rho.data(), 1}, short_out, launcher.launcher),
                 std::invalid_argument);
}

RadialProfile quadratic_profile() {
    const double coefficients[] = {0.4, 0.25};
    return RadialProfile::of_law(LimbDarkeningLaw::quadratic, coefficients).value();
}

TEST(ProfileMap, EveryElementIsTheScalarKernelForAnyWorkerCount) {
    const RadialProfile profile = quadratic_profile();
    for (std::size_t workers : {1, 3}) {
        WorkerPool pool(workers);
        for (std::size_t count : {std::size_t{0}, std::size_t{5}, INLINE_CHEAP_ELEMENTS + 1, std::size_t{90}}) {
            for (bool ring_only : {false, true}) {
                const std::vector<double> u = separations(count, 0.1);
                const std::vector<double> rho = radii(count);
                std::vector<double> want(count), out(count, -1.0);
                for (std::size_t i = 0; i < count; ++i) {
                    want[i] = profile_magnification(u[i], rho[i], profile, 1e-8, !ring_only);
                }
                CountingLauncher launcher(pool);
                profile_magnification_map(u, rho, profile, 1e-8, ring_only, out, launcher.launcher);
                expect_same_bits(out, want);
            }
        }
    }
}

TEST(ProfileMap, FewFarElementsStayInlineAndOneNearOneSendsAllToThePool) {
    const RadialProfile profile = quadratic_profile();
    WorkerPool pool(2);
    std::vector<double> u(INLINE_CHEAP_ELEMENTS);
    for (std::size_t i = 0; i < u.size(); ++i) u[i] = 5.0 + static_cast<double>(i);  // the series' range
    u[7] = nan;
    const std::vector<double> rho{0.01};
    std::vector<double> want(u.size());
    for (std::size_t i = 0; i < u.size(); ++i) want[i] = profile_magnification(u[i], rho[0], profile, 1e-6);

    std::vector<double> far_out(u.size());
    CountingLauncher far(pool);
    profile_magnification_map(u, rho, profile, 1e-6, false, far_out, far.launcher);
    EXPECT_EQ(far.launches, 0);
    expect_same_bits(far_out, want);
    EXPECT_TRUE(std::isnan(far_out[7]));

    CountingLauncher ring_only(pool);
    std::vector<double> ring_out(u.size());
    profile_magnification_map(u, rho, profile, 1e-6, true, ring_out, ring_only.launcher);
    EXPECT_EQ(ring_only.launches, 1);

    u.back() = 0.005;  // the lens inside the disk: a ring integral
    want.back() = profile_magnification(u.back(), rho[0], profile, 1e-6);
    CountingLauncher near(pool);
    std::vector<double> near_out(u.size());
    profile_magnification_map(u, rho, profile, 1e-6, false, near_out, near.launcher);
    EXPECT_EQ(near.launches, 1);
    expect_same_bits(near_out, want);
}

TEST(ProfileMap, WhatThePoolPartThrowsReachesTheCaller) {
    // A launcher may let the work's exception through (the boundary keeps it instead).
    const RadialProfile profile = quadratic_profile();
    PoolLauncherOf failing([](PoolWork&) { throw std::runtime_error("pool unavailable"); });
    std::vector<double> u(INLINE_CHEAP_ELEMENTS + 1, 0.0), out(u.size());
    const std::vector<double> rho{0.1};
    EXPECT_THROW(profile_magnification_map(u, rho, profile, 1e-8, false, out, failing), std::runtime_error);
}

}  // namespace
}  // namespace vellomir
