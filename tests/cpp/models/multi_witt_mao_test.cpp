// Grid of uniform-disk magnifications: pair order, row contents, empty inputs, and nested maps on
// pools of several sizes (a single worker must not deadlock on the inner maps).

#include "models/multi_witt_mao.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "models/witt_mao.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {
namespace {

std::vector<double> separations(std::size_t count, double largest) {
    std::vector<double> l(count);
    for (std::size_t i = 0; i < count; ++i) l[i] = largest * static_cast<double>(i) / static_cast<double>(count);
    return l;
}

TEST(MultiWittMao, RowsFollowTheEinsteinRadiusFirst) {
    WorkerPool pool(3);
    const std::vector<double> l = separations(57, 4.0);
    const std::vector<double> re = {1.0, 2.0}, rstar = {0.1, 0.2, 0.3};
    const auto grid = multi_witt_mao_magnification(pool, l, re, rstar);
    ASSERT_EQ(grid.size(), 6u);
    std::size_t row = 0;
    for (const double a : re) {
        for (const double b : rstar) {
            EXPECT_EQ(grid[row], witt_mao_magnification(pool, l, a, b)) << "re=" << a << " rstar=" << b;
            for (std::size_t i = 0; i < l.size(); ++i) {
                ASSERT_EQ(grid[row][i], witt_mao_magnification_scaled(l[i] * (b / a), b / a));
            }
            ++row;
        }
    }
}

TEST(MultiWittMao, EmptyInputs) {
    WorkerPool pool(2);
    EXPECT_TRUE(multi_witt_mao_magnification(pool, {0.5}, {}, {0.1, 0.2}).empty());
    EXPECT_TRUE(multi_witt_mao_magnification(pool, {0.5}, {1.0}, {}).empty());
    const auto rows = multi_witt_mao_magnification(pool, {}, {1.0, 2.0}, {0.1, 0.2, 0.3});
    ASSERT_EQ(rows.size(), 6u);
    for (const auto& row : rows) EXPECT_TRUE(row.empty());
}

TEST(MultiWittMao, SameGridWhateverThePoolSize) {
    const std::vector<double> l = separations(301, 3.0);
    std::vector<double> re, rstar;
    for (int i = 1; i <= 9; ++i) re.push_back(0.5 * i);
    for (int j = 1; j <= 7; ++j) rstar.push_back(0.03 * j);
    WorkerPool reference_pool(1);
    const auto reference = multi_witt_mao_magnification(reference_pool, l, re, rstar);  // nested on one worker
    ASSERT_EQ(reference.size(), re.size() * rstar.size());
    for (const std::size_t workers : {2u, 7u}) {
        WorkerPool pool(workers);
        EXPECT_EQ(multi_witt_mao_magnification(pool, l, re, rstar), reference) << workers << " workers";
    }
    EXPECT_EQ(multi_witt_mao_magnification(l, re, rstar), reference) << "process-wide pool";
}

}  // namespace
}  // namespace vellomir
