// The batched uniform-disk magnification against witt_mao_magnification_scaled, bit for bit, on
// every path this processor runs: the point source, the rim and next to it, the closed form and
// the series and where one hands over to the other, the range of radii users meet, and
// non-finite arguments.

#include "models/witt_mao_batch.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "../batch_identity.hpp"
#include "models/witt_mao.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {
namespace {

using test::Draws;

// Radii: the range users meet, the very small and very large disks, the point source, and
// invalid ones.
const std::vector<double> radii{1e-6, 3.3e-4, 0.01, 0.1, 0.5, 0.99999, 1.0, 2.0, 10.0, 100.0, 1e-250, 1e10,
                                0.0, -0.1, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};

// A separation u for radius rho: in [0, 3], across the disk, about the rim, about the start of
// the series (u = 3 rho), far away, or special.
double separation(Draws& d, double rho) {
    const double size = std::isfinite(rho) ? std::fabs(rho) : 1.0;  // ranges need finite ends
    switch (d.engine()() % 8) {
        case 0: return d.uniform(0.0, 3.0);
        case 1: return d.uniform(0.0, 2.0 * size);
        case 2: return d.near(3.0 * size, 4);
        case 3: return size * (1.0 + d.uniform(-1e-3, 1e-3));
        case 4: return d.log_uniform(1e-8, 1e8);
        case 5: return d.near(d.pick(test::special_values()), 1);
        case 6: return -d.uniform(0.0, 3.0);
        default: return d.near(size, 2);
    }
}

class WittMaoBatch : public ::testing::TestWithParam<SimdIsa> {};

TEST_P(WittMaoBatch, MatchesTheScalarKernel) {
    Draws d(0x3171'b47c4);
    constexpr std::size_t per_radius = 40'003;
    std::vector<double> u(per_radius), got(per_radius), want(per_radius);
    for (const double rho : radii) {
        for (double& x : u) x = separation(d, rho);
        witt_mao_magnification_batch(u, 1.0, rho, got, GetParam());
        for (std::size_t i = 0; i < per_radius; ++i) want[i] = witt_mao_magnification_scaled(u[i], rho);
        EXPECT_TRUE(test::bit_identical(got, want, [&](std::size_t i) { return "u, rho = " + test::numbers({u[i], rho}); }));
    }
}

TEST_P(WittMaoBatch, ScalesTheSeparationsInPlace) {
    Draws d(0x5ca1e);
    std::vector<double> l(1001);
    for (double& x : l) x = d.uniform(0.0, 30.0);
    const double rho = 0.1;
    std::vector<double> result = l;
    witt_mao_magnification_batch(result, rho, rho, result, GetParam());
    std::vector<double> want(l.size());
    for (std::size_t i = 0; i < l.size(); ++i) want[i] = witt_mao_magnification_scaled(l[i] * rho, rho);
    EXPECT_TRUE(test::bit_identical(result, want, [&](std::size_t i) { return "l = " + test::numbers({l[i]}); }));
}

INSTANTIATE_TEST_SUITE_P(Paths, WittMaoBatch, ::testing::ValuesIn(test::runnable_isas()),
                         [](const auto& info) { return std::string(simd_isa_name(info.param)); });

// The vector function maps blocks of batches over the pool: every element, each once, in place.
TEST(WittMaoBatchedMap, EqualsTheScalarKernelElementwise) {
    WorkerPool pool(3);
    for (const std::size_t count : {0u, 1u, 7u, 64u, 65u, 1000u, 12'345u}) {
        std::vector<double> l(count);
        for (std::size_t i = 0; i < count; ++i) l[i] = 0.001 * static_cast<double>(i);
        const std::vector<double> got = witt_mao_magnification(pool, l, 10.0, 2.0);
        std::vector<double> want(count);
        for (std::size_t i = 0; i < count; ++i) want[i] = witt_mao_magnification_scaled(l[i] * 0.2, 0.2);
        EXPECT_TRUE(test::bit_identical(got, want, [&](std::size_t i) { return "l = " + test::numbers({l[i]}); }));
    }
}

}  // namespace
}  // namespace vellomir
