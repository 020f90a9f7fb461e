// The compiled-in tanh-sinh node table: its shape, published rows, and a recomputation in
// extended precision independent of the generator.

#include <cmath>
#include <cstddef>
#include <limits>

#include <gtest/gtest.h>

#include "quadrature/double_exponential_nodes.hpp"

namespace vellomir {
namespace {

const TanhSinhNode& node_at(std::size_t level, std::size_t index) {
    return tanh_sinh_nodes[tanh_sinh_level_begin[level] + index];
}

TEST(TanhSinhNodes, LevelsHoldTheOddMultiplesOfTheirStepBelowThree) {
    ASSERT_EQ(tanh_sinh_level_count, 7u);
    const std::size_t expected_sizes[7] = {3, 3, 6, 12, 24, 48, 96};
    EXPECT_EQ(tanh_sinh_level_begin[0], 0u);
    for (std::size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(tanh_sinh_level_begin[k + 1] - tanh_sinh_level_begin[k], expected_sizes[k]) << "level " << k;
    }
    EXPECT_EQ(tanh_sinh_level_begin[7], tanh_sinh_nodes.size());
    EXPECT_EQ(tanh_sinh_nodes.size(), 192u);
}

TEST(TanhSinhNodes, TellingRowsAreExact) {
    // Level 0, t = 1 and t = 3; level 1, t = 0.5; level 6, t = 2.984375 (the last node).
    EXPECT_EQ(node_at(0, 0).weight, 0.23002239451478868);
    EXPECT_EQ(node_at(0, 0).abscissa, 0.9513679640727469);
    EXPECT_EQ(node_at(0, 2).weight, 1.3581784274539091e-12);
    EXPECT_EQ(node_at(0, 2).abscissa, 0.999999999999957);
    EXPECT_EQ(node_at(1, 0).weight, 0.4829882897061506);
    EXPECT_EQ(node_at(1, 0).abscissa, 0.6742714922484359);
    EXPECT_EQ(node_at(6, 95).weight, 3.411862828005251e-14);
    EXPECT_EQ(node_at(6, 95).abscissa, 0.9999999999999298);
}

TEST(TanhSinhNodes, AbscissasRiseAndWeightsFallWithinEachLevel) {
    for (std::size_t k = 0; k < 7; ++k) {
        for (std::size_t i = tanh_sinh_level_begin[k]; i < tanh_sinh_level_begin[k + 1]; ++i) {
            const TanhSinhNode& node = tanh_sinh_nodes[i];
            EXPECT_GT(node.abscissa, 0.0);
            EXPECT_LT(node.abscissa, 1.0);
            EXPECT_GT(node.weight, 0.0);
            if (i > tanh_sinh_level_begin[k]) {
                EXPECT_GT(node.abscissa, tanh_sinh_nodes[i - 1].abscissa) << "level " << k << " node " << i;
                EXPECT_LT(node.weight, tanh_sinh_nodes[i - 1].weight) << "level " << k << " node " << i;
            }
        }
    }
}

// Each stored value must be the double nearest to the exact one. Recomputed in 64-bit long double
// the exact value is known to a few 2^-64 relative, so a stored value more than a little over half
// an ulp away would be a wrong rounding.
TEST(TanhSinhNodes, EveryValueIsTheNearestDouble) {
    if (std::numeric_limits<long double>::digits < 64) {
        GTEST_SKIP() << "long double is not wider than double here";
    }
    const long double half_pi = 1.5707963267948966192313216916397514L;
    const auto within_half_ulp = [](double stored, long double exact) {
        const long double ulp = static_cast<long double>(std::nextafter(stored, 2.0)) - stored;
        return std::fabs(static_cast<long double>(stored) - exact) <= 0.55L * ulp;
    };
    for (std::size_t k = 0; k < 7; ++k) {
        const long double h = std::ldexp(1.0L, -static_cast<int>(k));
        const std::size_t begin = tanh_sinh_level_begin[k];
        for (std::size_t i = begin; i < tanh_sinh_level_begin[k + 1]; ++i) {
            // Level 0 steps by 1 from t = 1, the others by 2h from t = h.
            const std::size_t j = i - begin;
            const long double t = k == 0 ? static_cast<long double>(j + 1) : (2.0L * j + 1.0L) * h;
            const long double u = half_pi * std::sinh(t);
            const long double cosh_u = std::cosh(u);
            const long double abscissa = std::tanh(u);
            const long double weight = h * half_pi * std::cosh(t) / (cosh_u * cosh_u);
            EXPECT_TRUE(within_half_ulp(tanh_sinh_nodes[i].abscissa, abscissa)) << "level " << k << " t " << t;
            EXPECT_TRUE(within_half_ulp(tanh_sinh_nodes[i].weight, weight)) << "level " << k << " t " << t;
        }
    }
}

}  // namespace
}  // namespace vellomir
