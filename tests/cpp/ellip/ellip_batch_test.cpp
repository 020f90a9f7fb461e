// The batched K, E, Π, RF and RJ against the scalar routines, bit for bit, on every path this
// processor runs: a million draws per function over all their regions and edge cases.

#include "ellip/ellip_batch.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "../batch_identity.hpp"
#include "ellip/carlson.hpp"
#include "ellip/legendre.hpp"

namespace vellomir {
namespace {

using test::Draws;

// An odd count, so that every path also runs its remainder after the last whole batch.
constexpr std::size_t draws = (1u << 20) + 5;

double value_or_nan(const Result<double>& r) { return r.ok() ? r.value() : std::numeric_limits<double>::quiet_NaN(); }

// A parameter m from one of the regions of K and E: Taylor intervals and their edges, the AGM
// range up to 1, negative m (AGM for K, transformation for E), and anything at all.
double parameter(Draws& d) {
    switch (d.engine()() % 8) {
        case 0: return d.uniform(0.0, 0.9);
        case 1: return d.near(static_cast<double>(d.engine()() % 21) / 20.0, 3);
        case 2: return 1.0 - d.log_uniform(1e-17, 0.1);
        case 3: return -d.log_uniform(1e-6, 1e20);
        case 4: return d.uniform(-0.06, 0.0);
        case 5: return d.near(d.pick(test::special_values()), 2);
        case 6: return -d.log_uniform(1e17, 1e308);
        default: return d.any_bits();
    }
}

// A Carlson argument: zero, a spread of magnitudes, or a value shared with another argument.
double carlson_argument(Draws& d, double other) {
    switch (d.engine()() % 10) {
        case 0: return 0.0;
        case 1: return other;
        case 2: return d.pick(test::special_values());
        default: return d.log_uniform(1e-12, 1e12);
    }
}

class EllipBatch : public ::testing::TestWithParam<SimdIsa> {};

TEST_P(EllipBatch, KAndEMatchTheScalarRoutines) {
    Draws d(0xe11'1b47c4);
    std::vector<double> m(draws);
    for (double& x : m) x = parameter(d);
    // A sorted stretch too, so that whole batches share a Taylor interval (broadcast, not gather).
    for (std::size_t i = 0; i < draws / 4; ++i) m[i] = -0.1 + 1.05 * static_cast<double>(i) / (draws / 4);
    std::vector<double> got(draws), want(draws);
    const auto describe = [&](std::size_t i) { return "m = " + test::numbers({m[i]}); };

    ellipk_batch(m, got, GetParam());
    for (std::size_t i = 0; i < draws; ++i) want[i] = value_or_nan(ellipk(m[i]));
    EXPECT_TRUE(test::bit_identical(got, want, describe)) << "ellipk";

    ellipe_batch(m, got, GetParam());
    for (std::size_t i = 0; i < draws; ++i) want[i] = value_or_nan(ellipe(m[i]));
    EXPECT_TRUE(test::bit_identical(got, want, describe)) << "ellipe";

    // In place: the output is the input's own storage.
    std::vector<double> in_place = m;
    ellipk_batch(in_place, in_place, GetParam());
    for (std::size_t i = 0; i < draws; ++i) want[i] = value_or_nan(ellipk(m[i]));
    EXPECT_TRUE(test::bit_identical(in_place, want, describe)) << "ellipk in place";
}

TEST_P(EllipBatch, PiMatchesTheScalarRoutine) {
    Draws d(0x9e1'1b47c4);
    std::vector<double> n(draws), m(draws);
    for (std::size_t i = 0; i < draws; ++i) {
        m[i] = parameter(d);
        switch (d.engine()() % 6) {
            case 0: n[i] = d.uniform(0.0, 1.0); break;
            case 1: n[i] = 1.0 - d.log_uniform(1e-17, 1e-3); break;  // through 1 - eps to 1 + eps
            case 2: n[i] = m[i]; break;
            case 3: n[i] = d.near(d.pick(test::special_values()), 2); break;
            case 4: n[i] = d.uniform(-10.0, 10.0); break;
            default: n[i] = d.any_bits();
        }
    }
    std::vector<double> got(draws), want(draws);
    ellippi_batch(n, m, got, GetParam());
    for (std::size_t i = 0; i < draws; ++i) want[i] = value_or_nan(ellippi(n[i], m[i]));
    EXPECT_TRUE(test::bit_identical(got, want, [&](std::size_t i) { return "n, m = " + test::numbers({n[i], m[i]}); }));
}

// The complementary entries, on complements from the smallest doubles through their switch to
// the Legendre entries (mc = 0.1) and beyond, and the disk's and ring's (nc, mc) pairs.
TEST_P(EllipBatch, ComplementaryEntriesMatchTheScalarRoutines) {
    Draws d(0xc0'1b47c4);
    std::vector<double> nc(draws), mc(draws);
    const auto complement = [&] {
        switch (d.engine()() % 5) {
            case 0: return d.log_uniform(1e-320, 0.1);
            case 1: return d.near(0.1, 3);
            case 2: return d.uniform(0.0, 1.2);
            case 3: return d.near(d.pick(test::special_values()), 2);
            default: return 1.0 - parameter(d);
        }
    };
    for (std::size_t i = 0; i < draws; ++i) {
        nc[i] = complement();
        mc[i] = d.engine()() % 3 == 0 ? nc[i] * d.uniform(0.0, 1.0) : complement();  // mc < nc as in the kernels
    }
    const auto describe = [&](std::size_t i) { return "nc, mc = " + test::numbers({nc[i], mc[i]}); };
    std::vector<double> got(draws), want(draws);

    ellipk_complement_batch(mc, got, GetParam());
    for (std::size_t i = 0; i < draws; ++i) want[i] = value_or_nan(ellipk_complement(mc[i]));
    EXPECT_TRUE(test::bit_identical(got, want, describe)) << "ellipk_complement";

    ellipe_complement_batch(mc, got, GetParam());
    for (std::size_t i = 0; i < draws; ++i) want[i] = value_or_nan(ellipe_complement(mc[i]));
    EXPECT_TRUE(test::bit_identical(got, want, describe)) << "ellipe_complement";

    ellippi_complement_batch(nc, mc, got, GetParam());
    for (std::size_t i = 0; i < draws; ++i) want[i] = value_or_nan(ellippi_complement(nc[i], mc[i]));
    EXPECT_TRUE(test::bit_identical(got, want, describe)) << "ellippi_complement";
}

TEST_P(EllipBatch, RfAndRjMatchTheScalarRoutines) {
    Draws d(0xcf'1b47c4);
    constexpr std::size_t count = draws / 2;
    std::vector<double> x(count), y(count), z(count), p(count);
    for (std::size_t i = 0; i < count; ++i) {
        x[i] = carlson_argument(d, 1.0);
        y[i] = carlson_argument(d, x[i]);
        z[i] = carlson_argument(d, y[i]);
        // p of either sign; small positive p makes the step's e near -1 (RC(1, b) form).
        p[i] = d.engine()() % 4 == 0 ? -carlson_argument(d, z[i]) : carlson_argument(d, z[i]);
    }
    const auto describe = [&](std::size_t i) { return "x, y, z, p = " + test::numbers({x[i], y[i], z[i], p[i]}); };
    std::vector<double> got(count), want(count);

    elliprf_batch(x, y, z, got, GetParam());
    for (std::size_t i = 0; i < count; ++i) want[i] = elliprf_unchecked(x[i], y[i], z[i]);
    EXPECT_TRUE(test::bit_identical(got, want, describe)) << "elliprf";

    elliprj_batch(x, y, z, p, got, GetParam());
    for (std::size_t i = 0; i < count; ++i) want[i] = elliprj_unchecked(x[i], y[i], z[i], p[i]);
    EXPECT_TRUE(test::bit_identical(got, want, describe)) << "elliprj";
}

INSTANTIATE_TEST_SUITE_P(Paths, EllipBatch, ::testing::ValuesIn(test::runnable_isas()),
                         [](const auto& info) { return std::string(simd_isa_name(info.param)); });

}  // namespace
}  // namespace vellomir
