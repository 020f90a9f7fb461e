// The batched weighted centroid shift against disk_weighted_centroid_shift, bit for bit, on every
// path this processor runs: across the disk, about the rim, the centre series and its switch
// (n = 0.05), the start of the far series (u = 3 rho), small and large disks, special values;
// and the uniform-disk map about one radius against the element rule.

#include "models/centroid_batch.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "../batch_identity.hpp"
#include "models/centroid.hpp"
#include "models/centroid_maps.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {
namespace {

using test::Draws;

const std::vector<double> radii{1e-6, 3.3e-4, 0.01, 0.1, 0.5, 1.0, 2.0, 10.0, 100.0, 1e-199, 1e-250, 1e10, 1e200,
                                0.0, -0.1, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};

double separation(Draws& d, double rho) {
    const double size = std::isfinite(rho) ? std::fabs(rho) : 1.0;
    switch (d.engine()() % 8) {
        case 0: return d.uniform(0.0, 3.0 * size);
        case 1: return d.near(3.0 * size, 4);
        case 2: return d.near(size * (39.0 - std::sqrt(1520.0)), 8);  // the centre series' switch
        case 3: return size * (1.0 + d.uniform(-1e-3, 1e-3));
        case 4: return d.log_uniform(1e-8, 1e8);
        case 5: return d.near(d.pick(test::special_values()), 1);
        case 6: return size * d.log_uniform(1e-12, 1e-2);
        default: return d.near(size, 2);
    }
}

class CentroidBatch : public ::testing::TestWithParam<SimdIsa> {};

TEST_P(CentroidBatch, MatchesTheScalarKernel) {
    Draws d(0xce17'0d);
    constexpr std::size_t count = 20'003;
    std::vector<double> u(count), got(count), want(count);
    for (const double rho : radii) {
        for (double& x : u) x = separation(d, rho);
        disk_weighted_centroid_shift_batch(u, rho, got, GetParam());
        for (std::size_t i = 0; i < count; ++i) want[i] = disk_weighted_centroid_shift(u[i], rho);
        EXPECT_TRUE(test::bit_identical(got, want, [&](std::size_t i) { return "u, rho = " + test::numbers({u[i], rho}); }));
        // Sub-disks about one separation, in place.
        std::vector<double> sub = u;
        for (double& r : sub) r = std::fabs(r) * 0.7;
        std::vector<double> sub_want(count);
        for (std::size_t i = 0; i < count; ++i) sub_want[i] = disk_weighted_centroid_shift(rho, sub[i]);
        const std::vector<double> sub_radii = sub;
        disk_weighted_centroid_shift_radii_batch(rho, sub, sub, GetParam());
        EXPECT_TRUE(test::bit_identical(sub, sub_want, [&](std::size_t i) { return "u, R = " + test::numbers({rho, sub_radii[i]}); }));
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CentroidBatch, ::testing::ValuesIn(test::runnable_isas()),
                         [](const auto& info) { return std::string(simd_isa_name(info.param)); });

TEST(UniformCentroidMap, AboutOneRadiusEqualsTheElementRule) {
    WorkerPool pool(3);
    PoolLauncherOf<std::function<void(PoolWork&)>> launcher([&pool](PoolWork& work) { work.run(pool); });
    Draws d(0x0e11'9e);
    for (const double rho : radii) {
        for (const std::size_t count : {0u, 1u, 7u, 32u, 65u, 1000u}) {
            std::vector<double> u(count), got(count), want(count);
            for (double& x : u) x = separation(d, rho) * (d.engine()() % 3 == 0 ? -1.0 : 1.0);
            uniform_centroid_shift_map(u, std::vector<double>{rho}, got, launcher);
            for (std::size_t i = 0; i < count; ++i) want[i] = uniform_centroid_shift_element(u[i], rho);
            EXPECT_TRUE(test::bit_identical(got, want, [&](std::size_t i) { return "u, rho = " + test::numbers({u[i], rho}); }));
        }
    }
}

}  // namespace
}  // namespace vellomir
