// Cancelling a call's maps from the waiting caller, and the global pool in a forked child.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <set>
#include <span>
#include <thread>
#include <vector>

#include "parallel/cancellation.hpp"
#include "parallel/parallel_map.hpp"

namespace vellomir {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// An element that costs about 100 us, as a limb-darkened magnification does.
double slow_square(double x) {
    const auto until = steady_clock::now() + microseconds(100);
    while (steady_clock::now() < until) {
    }
    return x * x;
}

// Asks to cancel once `started` has reached `threshold`; counts its polls.
class CancelAfter final : public WaitPoll {
public:
    CancelAfter(const std::atomic<std::size_t>& started, std::size_t threshold) : started_(started), threshold_(threshold) {}
    bool cancel_requested() noexcept override {
        ++polls;
        return started_.load() >= threshold_;
    }
    std::size_t polls = 0;

private:
    const std::atomic<std::size_t>& started_;
    std::size_t threshold_;
};

std::vector<double> ramp(std::size_t n) {
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) values[i] = static_cast<double>(i);
    return values;
}

class CancellationOnPools : public ::testing::TestWithParam<std::size_t> {};

// 20'000 elements of 100 us would take a second or more; the cancelled map stops after a
// few hundred, and the pool then computes a whole map correctly.
TEST_P(CancellationOnPools, StopsTheMapSoonAndLeavesThePoolUsable) {
    WorkerPool pool(GetParam());
    const auto input = ramp(20'000);
    std::atomic<std::size_t> started{0};
    CancelAfter poll(started, 50);
    {
        const CancellableCall call(poll, milliseconds(1));
        EXPECT_THROW(parallel_map(pool, std::span<const double>(input),
                                  [&](double x) {
                                      started.fetch_add(1);
                                      return slow_square(x);
                                  }),
                     MapCancelled);
        EXPECT_TRUE(call.cancelled());
        EXPECT_THROW(parallel_map(pool, std::span<const double>(input), [](double) -> double { ADD_FAILURE(); return 0; }),
                     MapCancelled)
            << "a map started after the cancellation throws before computing anything";
    }
    EXPECT_GE(poll.polls, 1u);
    EXPECT_LT(started.load(), input.size() / 4);
    const auto small = ramp(1000);
    const auto output = parallel_map(pool, std::span<const double>(small), slow_square);
    for (std::size_t i = 0; i < small.size(); ++i) ASSERT_EQ(output[i], small[i] * small[i]);
}

// The inner maps run on the workers and belong to the caller's call: they stop too.
TEST_P(CancellationOnPools, NestedMapsStopWithTheirCall) {
    WorkerPool pool(GetParam());
    const auto rows = ramp(8);
    const auto columns = ramp(2'000);
    std::atomic<std::size_t> started{0};
    CancelAfter poll(started, 50);
    const CancellableCall call(poll, milliseconds(1));
    EXPECT_THROW(parallel_map(pool, std::span<const double>(rows),
                              [&](double) {
                                  return parallel_map(pool, std::span<const double>(columns), [&](double x) {
                                      started.fetch_add(1);
                                      return slow_square(x);
                                  });
                              }),
                 MapCancelled);
    EXPECT_LT(started.load(), rows.size() * columns.size() / 4);
}

TEST_P(CancellationOnPools, AnUncancelledCallGivesEveryResult) {
    WorkerPool pool(GetParam());
    const auto input = ramp(1'000);
    std::atomic<std::size_t> started{0};
    CancelAfter never(started, input.size() + 1);
    const CancellableCall call(never, milliseconds(1));
    const auto output = parallel_map(pool, std::span<const double>(input), slow_square);
    for (std::size_t i = 0; i < input.size(); ++i) ASSERT_EQ(output[i], input[i] * input[i]);
    EXPECT_FALSE(call.cancelled());
}

INSTANTIATE_TEST_SUITE_P(WorkerCounts, CancellationOnPools, ::testing::Values(1, 2, 4),
                         [](const auto& info) { return std::to_string(info.param) + "Workers"; });

// The child of a fork has none of the parent's worker threads: its maps on the global pool
// must run on a pool of its own (before, they waited for ever), with the same results.
TEST(GlobalPoolAfterFork, ChildGetsAWorkingPoolOfItsOwn) {
    const auto input = ramp(10'000);
    const auto square = [](double x) { return x * x; };
    const auto expected = parallel_map(std::span<const double>(input), square);  // the parent's pool runs
    WorkerPool* parent_pool = &WorkerPool::global();
    // Fork only once every worker has run a task. A thread still starting up may hold a lock
    // of the sanitizers' allocator (GCC 12's is not fork-safe), and the child's first
    // allocation of that size would then wait for ever; the pool itself holds none.
    std::mutex seen_lock;
    std::set<std::thread::id> seen;
    const auto note_worker = [&](double x) {
        const std::lock_guard lock(seen_lock);
        seen.insert(std::this_thread::get_id());
        return slow_square(x);
    };
    for (int round = 0; round < 1'000 && seen.size() < parent_pool->size(); ++round) {
        parallel_map(std::span<const double>(input).first(64), note_worker);
    }
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(60);  // a hang fails the test instead of blocking it
        const auto output = parallel_map(std::span<const double>(input), square);
        const bool fresh = &WorkerPool::global() != parent_pool;
        const bool same_size = WorkerPool::global().size() == pool_size_from_environment();
        _exit(output == expected && fresh && same_size ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(&WorkerPool::global(), parent_pool) << "the parent keeps its pool";
    EXPECT_EQ(parallel_map(std::span<const double>(input), square), expected);
}

}  // namespace
}  // namespace vellomir
