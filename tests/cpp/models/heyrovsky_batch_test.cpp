// The batched ring magnification against heyrovsky_magnification, bit for bit (NaN where it
// fails), on every path this processor runs: circles through the lens and the edges of the
// band of its expansion, centred circles, rings from 0 to 1 as the quadrature visits them, and
// bad arguments.

#include "models/heyrovsky_batch.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "../batch_identity.hpp"
#include "models/heyrovsky.hpp"

namespace vellomir {
namespace {

using test::Draws;

class HeyrovskyBatch : public ::testing::TestWithParam<SimdIsa> {};

TEST_P(HeyrovskyBatch, MatchesTheScalarKernel) {
    Draws d(0x4e7'b47c4);
    const std::vector<double> separations{0.0, 1e-7, 0.05, 0.3, 0.999, 1.0, 1.7, 30.0, 1e4, -0.4,
                                          std::numeric_limits<double>::quiet_NaN()};
    const std::vector<std::pair<double, double>> einstein_and_star{{1.0, 1.0}, {10.0, 1.0}, {0.01, 1.0}, {1e3, 1.0},
                                                                   {2.0, 0.5}, {-1.0, 1.0}, {0.0, 1.0}};
    constexpr std::size_t count = 10'007;
    std::vector<double> r(count), got(count), want(count);
    for (const double l : separations) {
        for (const auto& [re, rstar] : einstein_and_star) {
            const double ring_of_lens = std::isfinite(l) ? l : 0.5;
            for (double& x : r) {
                switch (d.engine()() % 6) {
                    case 0: x = d.near(ring_of_lens * (d.engine()() % 2 ? 1.0 + 1e-9 : 1.0 - 1e-9), 8); break;
                    case 1: x = ring_of_lens + d.uniform(-1e-4, 1e-4); break;
                    case 2: x = d.near(d.pick(test::special_values()), 1); break;
                    default: x = d.uniform(0.0, 1.0);
                }
            }
            heyrovsky_magnification_batch(l, r, re, rstar, got, GetParam());
            for (std::size_t i = 0; i < count; ++i) {
                const Result<double> ring = heyrovsky_magnification(l, r[i], re, rstar);
                want[i] = ring.ok() ? ring.value() : std::numeric_limits<double>::quiet_NaN();
            }
            EXPECT_TRUE(test::bit_identical(got, want, [&](std::size_t i) {
                return "l, r, re, rstar = " + test::numbers({l, r[i], re, rstar});
            }));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, HeyrovskyBatch, ::testing::ValuesIn(test::runnable_isas()),
                         [](const auto& info) { return std::string(simd_isa_name(info.param)); });

}  // namespace
}  // namespace vellomir
