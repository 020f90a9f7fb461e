// The batched uniform-disk derivatives (by row and by column) against witt_mao_derivatives_scaled,
// bit for bit in each of A, dA/du and dA/drho, on every path this processor runs, in both shapes
// of the maps
// (separations about one radius, radii about one separation): the closed form and its small-m
// series, the series far out and the switch between them, the rim and the lens, tiny, huge and
// invalid disks.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "../batch_identity.hpp"
#include "models/witt_mao_derivatives.hpp"

namespace vellomir {
namespace {

using test::Draws;

const std::vector<double> radii{1e-6, 3.3e-4, 0.01, 0.1, 0.5, 1.0, 2.0, 30.0, 1e3, 1e-250, 1e-190, 2e9,
                                0.0, -0.1, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};

// A separation for radius rho: across the disk, about the rim, about the switch to the series
// (u = 3 rho), far out to 1e300 (every number of series terms), about the lens, or special.
double separation(Draws& d, double rho) {
    const double size = std::isfinite(rho) && rho != 0.0 ? std::fabs(rho) : 1.0;
    switch (d.engine()() % 8) {
        case 0: return d.uniform(0.0, 3.0 * size);
        case 1: return d.near(size, 3);
        case 2: return d.near(3.0 * size, 4);
        case 3: return size * d.log_uniform(3.0, 1e4);
        case 4: return d.log_uniform(1e-8, 1e300);
        case 5: return d.near(d.pick(test::special_values()), 1);
        case 6: return size * d.log_uniform(1e-9, 0.5);
        default: return size * (1.0 + d.uniform(-1e-3, 1e-3));
    }
}

struct Columns {
    std::vector<double> value, d_u, d_rho;
    explicit Columns(std::size_t n) : value(n), d_u(n), d_rho(n) {}
    explicit Columns(const std::vector<DiskGradient>& g) {
        for (const DiskGradient& x : g) {
            value.push_back(x.value);
            d_u.push_back(x.d_u);
            d_rho.push_back(x.d_rho);
        }
    }
};

void expect_same(const Columns& g, const Columns& w, const std::function<std::string(std::size_t)>& describe) {
    EXPECT_TRUE(test::bit_identical(g.value, w.value, describe)) << "A";
    EXPECT_TRUE(test::bit_identical(g.d_u, w.d_u, describe)) << "dA/du";
    EXPECT_TRUE(test::bit_identical(g.d_rho, w.d_rho, describe)) << "dA/drho";
}

// Both forms of the batched kernel (rows of DiskGradient, three columns) against the scalar one.
void expect_batch_is_scalar(std::span<const double> u, std::span<const double> rho, SimdIsa isa,
                            const std::function<std::string(std::size_t)>& describe) {
    const std::size_t n = std::max(u.size(), rho.size());
    std::vector<DiskGradient> rows(n), want(n);
    Columns columns(n);
    witt_mao_derivatives_batch(u, rho, rows, isa);
    witt_mao_derivatives_batch(u, rho, columns.value, columns.d_u, columns.d_rho, isa);
    for (std::size_t i = 0; i < n; ++i) want[i] = witt_mao_derivatives_scaled(u[u.size() == 1 ? 0 : i], rho[rho.size() == 1 ? 0 : i]);
    const Columns expected(want);
    expect_same(Columns(rows), expected, describe);
    expect_same(columns, expected, describe);
}

class WittMaoDerivativesBatch : public ::testing::TestWithParam<SimdIsa> {};

TEST_P(WittMaoDerivativesBatch, SeparationsAboutOneRadius) {
    Draws d(0xde41'7a);
    constexpr std::size_t per_radius = 20'003;  // a short last batch
    std::vector<double> u(per_radius);
    for (const double rho : radii) {
        for (double& x : u) x = separation(d, rho);
        expect_batch_is_scalar(u, std::span<const double>(&rho, 1), GetParam(),
                               [&](std::size_t i) { return "u, rho = " + test::numbers({u[i], rho}); });
    }
}

TEST_P(WittMaoDerivativesBatch, RadiiAboutOneSeparation) {
    Draws d(0x5ab'd15c);
    constexpr std::size_t count = 20'005;
    std::vector<double> rho(count);
    for (const double u : {0.0, 1e-7, 0.003, 0.5, 1.0, 7.0, 1e5}) {
        // The sub-disks of a star about the lens (rho r for r in [0, 1]) and beyond.
        for (double& r : rho) r = u * d.pick(std::vector<double>{d.uniform(0.0, 2.0), d.log_uniform(1e-6, 1e3), d.near(1.0, 2),
                                                                  d.near(1.0 / 3.0, 2), 1.0 + d.uniform(-1e-4, 1e-4)});
        if (u == 0.0) for (double& r : rho) r = d.log_uniform(1e-6, 1e3);
        expect_batch_is_scalar(std::span<const double>(&u, 1), rho, GetParam(),
                               [&](std::size_t i) { return "u, rho = " + test::numbers({u, rho[i]}); });
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, WittMaoDerivativesBatch, ::testing::ValuesIn(test::runnable_isas()),
                         [](const auto& info) { return std::string(simd_isa_name(info.param)); });

}  // namespace
}  // namespace vellomir
