// The Chase–Lev deque: owner order, thief order, a full ring, and racing thieves.

#include "parallel/work_stealing_deque.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <memory>
#include <thread>
#include <vector>

namespace vellomir {
namespace {

class Numbered final : public Task {
public:
    void execute(WorkerThread&) noexcept override {}
    int id = 0;
};

std::vector<Numbered> numbered(std::size_t n) {
    std::vector<Numbered> tasks(n);
    for (std::size_t i = 0; i < n; ++i) {
        tasks[i].id = static_cast<int>(i);
    }
    return tasks;
}

int id_of(Task* task) { return task == nullptr ? -1 : static_cast<Numbered*>(task)->id; }

TEST(WorkStealingDeque, OwnerPopsNewestThievesStealOldest) {
    auto deque = std::make_unique<WorkStealingDeque>();
    auto tasks = numbered(4);
    EXPECT_TRUE(deque->empty());
    for (auto& task : tasks) {
        ASSERT_TRUE(deque->push(&task));
    }
    EXPECT_FALSE(deque->empty());
    EXPECT_EQ(id_of(deque->pop()), 3);
    EXPECT_EQ(id_of(deque->steal()), 0);
    EXPECT_EQ(id_of(deque->steal()), 1);
    EXPECT_EQ(id_of(deque->pop()), 2);
    EXPECT_EQ(deque->pop(), nullptr);
    EXPECT_EQ(deque->steal(), nullptr);
    EXPECT_TRUE(deque->empty());
}

TEST(WorkStealingDeque, FullRingRefusesAndWrapsAfterwards) {
    auto deque = std::make_unique<WorkStealingDeque>();
    auto tasks = numbered(WorkStealingDeque::capacity + 1);
    for (std::int64_t i = 0; i < WorkStealingDeque::capacity; ++i) {
        ASSERT_TRUE(deque->push(&tasks[static_cast<std::size_t>(i)]));
    }
    EXPECT_FALSE(deque->push(&tasks.back()));
    EXPECT_EQ(id_of(deque->steal()), 0);
    ASSERT_TRUE(deque->push(&tasks.back()));  // reuses slot 0
    EXPECT_EQ(id_of(deque->pop()), static_cast<int>(WorkStealingDeque::capacity));
    EXPECT_EQ(id_of(deque->steal()), 1);
}

TEST(WorkStealingDeque, EveryTaskIsTakenExactlyOnceUnderRacingThieves) {
    constexpr std::size_t thieves = 3;
    constexpr std::size_t rounds = 2000;
    constexpr std::size_t per_round = 8;
    auto deque = std::make_unique<WorkStealingDeque>();
    auto tasks = numbered(rounds * per_round);
    std::vector<std::atomic<int>> taken(tasks.size());
    std::atomic<bool> owner_done{false};
    std::barrier start(static_cast<std::ptrdiff_t>(thieves + 1));

    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < thieves; ++t) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            while (true) {
                const bool finished = owner_done.load(std::memory_order_acquire);
                if (Task* task = deque->steal()) {
                    taken[static_cast<std::size_t>(id_of(task))].fetch_add(1);
                } else if (finished && deque->empty()) {
                    return;
                }
            }
        });
    }
    start.arrive_and_wait();
    for (std::size_t r = 0; r < rounds; ++r) {
        for (std::size_t k = 0; k < per_round; ++k) {
            Numbered& task = tasks[r * per_round + k];
            if (!deque->push(&task)) {
                taken[static_cast<std::size_t>(task.id)].fetch_add(1);  // full: the owner runs it, as join does
            }
        }
        for (std::size_t k = 0; k < per_round / 2; ++k) {
            if (Task* task = deque->pop()) {
                taken[static_cast<std::size_t>(id_of(task))].fetch_add(1);
            }
        }
    }
    while (Task* task = deque->pop()) {
        taken[static_cast<std::size_t>(id_of(task))].fetch_add(1);
    }
    owner_done.store(true, std::memory_order_release);
    for (auto& thread : threads) {
        thread.join();
    }
    for (std::size_t i = 0; i < taken.size(); ++i) {
        ASSERT_EQ(taken[i].load(), 1) << "task " << i;
    }
}

}  // namespace
}  // namespace vellomir
