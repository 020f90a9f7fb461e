// parallel_map: order and completeness, nested maps, failures, concurrent callers.

#include "parallel/parallel_map.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vellomir {
namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr std::size_t large_size = 100'000;  // sanitizers run ~10x slower
#else
constexpr std::size_t large_size = 1'000'000;
#endif

std::vector<std::int64_t> iota_input(std::size_t n) {
    std::vector<std::int64_t> input(n);
    std::iota(input.begin(), input.end(), std::int64_t{0});
    return input;
}

// A cheap mixing function, so that a result in the wrong slot cannot match by accident.
std::uint64_t mix(std::int64_t x) {
    auto z = static_cast<std::uint64_t>(x) + 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

class ParallelMapOnPools : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ParallelMapOnPools, ResultsAreCompleteAndInInputOrder) {
    WorkerPool pool(GetParam());
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{1000},
                                large_size}) {
        const auto input = iota_input(n);
        std::atomic<std::size_t> calls{0};
        const auto output = parallel_map(pool, std::span<const std::int64_t>(input), [&calls](std::int64_t x) {
            calls.fetch_add(1, std::memory_order_relaxed);
            return mix(x);
        });
        ASSERT_EQ(output.size(), n);
        EXPECT_EQ(calls.load(), n) << "each element is computed exactly once";
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(output[i], mix(static_cast<std::int64_t>(i))) << "n = " << n << ", i = " << i;
        }
    }
}

TEST_P(ParallelMapOnPools, DoublesAreBitIdenticalToASequentialLoop) {
    WorkerPool pool(GetParam());
    std::vector<double> input(10'007);
    for (std::size_t i = 0; i < input.size(); ++i) {
        input[i] = 1e-3 * static_cast<double>(i) - 2.5;
    }
    const auto f = [](double x) { return std::sqrt(x * x + 1.0) / (1.0 + std::exp(-x)); };
    const auto output = parallel_map(pool, std::span<const double>(input), f);
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(output[i]), std::bit_cast<std::uint64_t>(f(input[i]))) << i;
    }
}

TEST_P(ParallelMapOnPools, InPlaceMapOverwritesEachElementWithItsOwnResult) {
    WorkerPool pool(GetParam());
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{3}, large_size}) {
        std::vector<std::uint64_t> values(n);
        std::iota(values.begin(), values.end(), std::uint64_t{0});
        parallel_map_into(pool, std::span<const std::uint64_t>(values), std::span<std::uint64_t>(values),
                          [](std::uint64_t x) { return mix(static_cast<std::int64_t>(x)); });
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(values[i], mix(static_cast<std::int64_t>(i))) << "n = " << n << ", i = " << i;
        }
    }
}

TEST_P(ParallelMapOnPools, OutputOfTheWrongLengthIsRefusedBeforeAnyWork) {
    WorkerPool pool(GetParam());
    const std::vector<double> input(5, 1.0);
    std::vector<double> output(4, 0.0);
    bool called = false;
    EXPECT_THROW(parallel_map_into(pool, std::span<const double>(input), std::span<double>(output),
                                   [&called](double x) {
                                       called = true;
                                       return x;
                                   }),
                 std::logic_error);
    EXPECT_FALSE(called);
}

TEST_P(ParallelMapOnPools, VectorResultsKeepTheirContents) {
    WorkerPool pool(GetParam());
    const auto input = iota_input(257);
    const auto output = parallel_map(pool, std::span<const std::int64_t>(input), [](std::int64_t x) {
        return std::vector<double>(static_cast<std::size_t>(x % 7), static_cast<double>(x));
    });
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t i = 0; i < output.size(); ++i) {
        ASSERT_EQ(output[i], std::vector<double>(i % 7, static_cast<double>(i))) << i;
    }
}

TEST_P(ParallelMapOnPools, NestedMapsFinishWithExactResults) {
    // The shape of the pair grid: an outer map whose every element runs an inner map
    // from inside a worker.
    WorkerPool pool(GetParam());
    const auto outer = iota_input(20);
    const auto inner = iota_input(1000);
    const auto rows = parallel_map(pool, std::span<const std::int64_t>(outer), [&](std::int64_t row) {
        return parallel_map(pool, std::span<const std::int64_t>(inner),
                            [row](std::int64_t column) { return mix(row * 1000 + column); });
    });
    ASSERT_EQ(rows.size(), outer.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), inner.size());
        for (std::size_t c = 0; c < inner.size(); ++c) {
            ASSERT_EQ(rows[r][c], mix(static_cast<std::int64_t>(r * 1000 + c))) << r << ", " << c;
        }
    }
}

TEST_P(ParallelMapOnPools, ThreeLevelsOfNestingFinish) {
    WorkerPool pool(GetParam());
    const auto input = iota_input(6);
    const auto totals = parallel_map(pool, std::span<const std::int64_t>(input), [&](std::int64_t a) {
        const auto middle = parallel_map(pool, std::span<const std::int64_t>(input), [&](std::int64_t b) {
            const auto leaves = parallel_map(pool, std::span<const std::int64_t>(input),
                                             [&](std::int64_t c) { return a * 100 + b * 10 + c; });
            return std::accumulate(leaves.begin(), leaves.end(), std::int64_t{0});
        });
        return std::accumulate(middle.begin(), middle.end(), std::int64_t{0});
    });
    for (std::size_t a = 0; a < totals.size(); ++a) {
        // sum over b, c of (100a + 10b + c) with b, c in 0..5: 36*100a + 6*10*15 + 6*15
        EXPECT_EQ(totals[a], static_cast<std::int64_t>(3600 * a + 900 + 90));
    }
}

TEST_P(ParallelMapOnPools, FirstFailureReachesTheCallerAfterAllSiblingsFinished) {
    WorkerPool pool(GetParam());
    const std::size_t n = 512;
    const auto input = iota_input(n);
    // Failing first (a left half throws), in the middle, and last.
    for (const std::size_t failing : {std::size_t{0}, n / 2 + 1, n - 1}) {
        std::atomic<std::size_t> completed{0};
        std::atomic<int> in_flight{0};
        const auto slow_then_count = [&](std::int64_t x) -> std::int64_t {
            if (static_cast<std::size_t>(x) == failing) {
                throw std::runtime_error("element " + std::to_string(x));
            }
            in_flight.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            completed.fetch_add(1);
            in_flight.fetch_sub(1);
            return x;
        };
        int caught = 0;
        try {
            (void)parallel_map(pool, std::span<const std::int64_t>(input), slow_then_count);
        } catch (const std::runtime_error& error) {
            ++caught;
            EXPECT_EQ(error.what(), "element " + std::to_string(failing));
            EXPECT_EQ(in_flight.load(), 0) << "an element was still running when the failure surfaced";
            if (failing == n - 1) {
                // Every other element lies before it in its own range or in another task's.
                EXPECT_EQ(completed.load(), n - 1);
            }
        }
        EXPECT_EQ(caught, 1) << "failing element " << failing;
    }
}

TEST_P(ParallelMapOnPools, WhenEveryElementFailsTheLeftmostFailureWins) {
    WorkerPool pool(GetParam());
    const auto input = iota_input(64);
    std::atomic<std::size_t> attempts{0};
    try {
        (void)parallel_map(pool, std::span<const std::int64_t>(input), [&](std::int64_t x) -> int {
            attempts.fetch_add(1, std::memory_order_relaxed);
            throw std::invalid_argument(std::to_string(x));
        });
        ADD_FAILURE() << "no exception reached the caller";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "0");
    }
    // Each leaf range stops at its first element: at least one attempt, at most one per leaf.
    EXPECT_GE(attempts.load(), 1u);
    EXPECT_LE(attempts.load(), input.size());
}

TEST_P(ParallelMapOnPools, PoolStaysUsableAfterFailures) {
    WorkerPool pool(GetParam());
    const auto input = iota_input(1000);
    for (int round = 0; round < 20; ++round) {
        EXPECT_THROW((void)parallel_map(pool, std::span<const std::int64_t>(input),
                                        [round](std::int64_t x) {
                                            if (x == 10 * round + 3) {
                                                throw std::out_of_range("boom");
                                            }
                                            return x;
                                        }),
                     std::out_of_range);
        const auto output = parallel_map(pool, std::span<const std::int64_t>(input), [](std::int64_t x) { return 2 * x; });
        for (std::size_t i = 0; i < output.size(); ++i) {
            ASSERT_EQ(output[i], static_cast<std::int64_t>(2 * i));
        }
    }
}

TEST_P(ParallelMapOnPools, FailureInANestedMapReachesTheOuterCaller) {
    WorkerPool pool(GetParam());
    const auto input = iota_input(16);
    std::atomic<std::size_t> rows_done{0};
    // The last row fails, so every other row must have finished when the failure surfaces.
    try {
        (void)parallel_map(pool, std::span<const std::int64_t>(input), [&](std::int64_t row) {
            auto cells = parallel_map(pool, std::span<const std::int64_t>(input), [row](std::int64_t column) {
                if (row == 15 && column == 4) {
                    throw std::runtime_error("cell 15,4");
                }
                return row + column;
            });
            rows_done.fetch_add(1);
            return cells;
        });
        ADD_FAILURE() << "no exception reached the caller";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "cell 15,4");
        EXPECT_EQ(rows_done.load(), input.size() - 1);
    }
}

TEST_P(ParallelMapOnPools, ManyCallersAtOnceGetExactResults) {
    WorkerPool pool(GetParam());
    constexpr std::size_t callers = 8;
    constexpr int rounds = 10;
    std::barrier line_up(static_cast<std::ptrdiff_t>(callers));
    std::vector<std::size_t> mismatches(callers, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < callers; ++t) {
        threads.emplace_back([&, t] {
            const auto input = iota_input(1000 + 37 * t);
            for (int round = 0; round < rounds; ++round) {
                line_up.arrive_and_wait();
                const auto offset = static_cast<std::int64_t>(t * 1'000'003 + static_cast<std::size_t>(round));
                const auto output = parallel_map(pool, std::span<const std::int64_t>(input),
                                                 [offset](std::int64_t x) { return mix(x + offset); });
                if (output.size() != input.size()) {
                    ++mismatches[t];
                    continue;
                }
                for (std::size_t i = 0; i < output.size(); ++i) {
                    mismatches[t] += output[i] != mix(input[i] + offset);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (std::size_t t = 0; t < callers; ++t) {
        EXPECT_EQ(mismatches[t], 0u) << "caller " << t;
    }
}

TEST_P(ParallelMapOnPools, EveryWorkerJoinsInWhenThereIsOneElementEach) {
    // Each element waits until all have started: this finishes only if the splits reach
    // every worker and every sleeping worker is woken for them. The bounded wait turns
    // a lost wake-up into a failure instead of a hang.
    const std::size_t workers = GetParam();
    WorkerPool pool(workers);
    const auto input = iota_input(workers);
    for (int round = 0; round < 5; ++round) {
        std::atomic<std::size_t> started{0};
        const auto saw_everyone = parallel_map(pool, std::span<const std::int64_t>(input), [&](std::int64_t) {
            started.fetch_add(1);
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (started.load() < workers && std::chrono::steady_clock::now() < give_up) {
                std::this_thread::yield();
            }
            return static_cast<int>(started.load() == workers);
        });
        for (const int saw : saw_everyone) {
            ASSERT_EQ(saw, 1) << "round " << round << ": an element ran alone";
        }
        // Let the workers fall asleep before the next round, so that waking is exercised.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

INSTANTIATE_TEST_SUITE_P(WorkerCounts, ParallelMapOnPools, ::testing::Values(1, 2, 3, 8),
                         [](const auto& info) { return std::to_string(info.param) + "_workers"; });

TEST(ParallelMap, MapsFromAnotherPoolsWorkerAreRunThere) {
    // A worker of one pool calling into another is an outside caller there: it blocks
    // until that pool has finished, and gets exact results.
    WorkerPool outer_pool(2);
    WorkerPool inner_pool(3);
    const auto input = iota_input(10);
    const auto rows = parallel_map(outer_pool, std::span<const std::int64_t>(input), [&](std::int64_t row) {
        return parallel_map(inner_pool, std::span<const std::int64_t>(input),
                            [row](std::int64_t column) { return row * 10 + column; });
    });
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            ASSERT_EQ(rows[r][c], static_cast<std::int64_t>(r * 10 + c));
        }
    }
}

TEST(ParallelMap, CurrentWorkerIsKnownOnlyInsideItsOwnPool) {
    WorkerPool pool(2);
    WorkerPool other(1);
    EXPECT_EQ(pool.current_worker(), nullptr);
    const auto input = iota_input(8);
    const auto inside = parallel_map(pool, std::span<const std::int64_t>(input), [&](std::int64_t) {
        return static_cast<int>(pool.current_worker() != nullptr) + 2 * static_cast<int>(other.current_worker() != nullptr);
    });
    for (const int flags : inside) {
        EXPECT_EQ(flags, 1) << "a worker of `pool` only";
    }
}

TEST(GlobalPool, IsCreatedOnceUnderConcurrentFirstUse) {
    constexpr std::size_t callers = 8;
    std::barrier line_up(static_cast<std::ptrdiff_t>(callers));
    std::vector<WorkerPool*> seen(callers, nullptr);
    std::vector<std::size_t> sizes(callers, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < callers; ++t) {
        threads.emplace_back([&, t] {
            line_up.arrive_and_wait();
            seen[t] = &WorkerPool::global();
            sizes[t] = current_num_threads();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (std::size_t t = 0; t < callers; ++t) {
        EXPECT_EQ(seen[t], seen[0]);
        EXPECT_EQ(sizes[t], seen[0]->size());
    }
    EXPECT_GE(seen[0]->size(), 1u);
    EXPECT_EQ(seen[0]->size(), pool_size_from_environment());
}

TEST(GlobalPoolDeathTest, SizeIsReadFromTheEnvironmentOnceAndExitDoesNotHang) {
    // A fresh process (threadsafe style re-executes the test binary), so that the
    // global pool does not exist yet when the variables are set.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("RAYON_NUM_THREADS", "3", 1);
            ::setenv("RAYON_RS_NUM_CPUS", "5", 1);
            const std::size_t first = current_num_threads();
            ::setenv("RAYON_NUM_THREADS", "6", 1);
            const std::size_t again = current_num_threads();
            const auto input = iota_input(100);
            const auto output = parallel_map(std::span<const std::int64_t>(input), [](std::int64_t x) { return x; });
            // Exits with the workers still running or asleep.
            std::exit(first == 3 && again == 3 && output.back() == 99 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(GlobalPoolDeathTest, RsNumCpusIsUsedWhenNumThreadsIsUnparsable) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("RAYON_NUM_THREADS", "-2", 1);
            ::setenv("RAYON_RS_NUM_CPUS", "+5", 1);
            std::exit(current_num_threads() == 5 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(GlobalPool, MapsOnTheGlobalPoolKeepOrder) {
    const auto input = iota_input(1000);
    const auto output = parallel_map(std::span<const std::int64_t>(input), [](std::int64_t x) { return mix(x); });
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t i = 0; i < output.size(); ++i) {
        ASSERT_EQ(output[i], mix(static_cast<std::int64_t>(i)));
    }
    const auto empty = parallel_map(std::span<const std::int64_t>(), [](std::int64_t x) { return x; });
    EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace vellomir
