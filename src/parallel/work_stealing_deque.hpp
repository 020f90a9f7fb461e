#pragma once
// Work-stealing deque of Chase and Lev ("Dynamic Circular Work-Stealing Deque",
// SPAA 2005) in the C11 formulation of Lê, Pop, Cohen and Zappa Nardelli, "Correct
// and Efficient Work-Stealing for Weak Memory Models", PPoPP 2013 (Fig. 1).
// The owning worker pushes and pops at the bottom; any other thread steals at the top.
//
// Deviations from the paper, each marked below:
//  - the ring has a fixed capacity and never grows: push reports a full ring and the
//    caller then runs the task itself (a join's depth is bounded by its recursion, so
//    this does not happen in practice);
//  - the seq_cst fences are replaced by seq_cst accesses to `top_` and `bottom_`:
//    ThreadSanitizer does not model stand-alone fences, and the pool's sleep protocol
//    needs a push to be ordered before its read of the sleeper count anyway.

#include <array>
#include <atomic>
#include <cstdint>
#include <new>

#include "parallel/task.hpp"

namespace vellomir {

class WorkStealingDeque {
public:
    static constexpr std::int64_t capacity = 1024;  // a power of two
    static_assert((capacity & (capacity - 1)) == 0);

    // Owner only. False when the ring is full (deviation: the paper grows it).
    bool push(Task* task) noexcept {
        const std::int64_t b = bottom_.load(std::memory_order_relaxed);
        const std::int64_t t = top_.load(std::memory_order_acquire);
        if (b - t >= capacity) {
            return false;
        }
        slots_[b & mask].store(task, std::memory_order_relaxed);
        // Paper: release fence, then a relaxed store. Deviation: seq_cst (see above).
        bottom_.store(b + 1, std::memory_order_seq_cst);
        return true;
    }

    // Owner only. The most recently pushed task, or nullptr when empty or when a thief
    // won the race for the last one.
    Task* pop() noexcept {
        const std::int64_t b = bottom_.load(std::memory_order_relaxed) - 1;
        // Paper: relaxed store, seq_cst fence, relaxed load. Deviation: seq_cst accesses.
        bottom_.store(b, std::memory_order_seq_cst);
        std::int64_t t = top_.load(std::memory_order_seq_cst);
        if (t > b) {
            // Empty. Deviation: release instead of relaxed, so that a thief reading this
            // value of bottom still synchronises with the pushes before it.
            bottom_.store(b + 1, std::memory_order_release);
            return nullptr;
        }
        Task* task = slots_[b & mask].load(std::memory_order_relaxed);
        if (t == b) {
            // The last task: race the thieves for it.
            if (!top_.compare_exchange_strong(t, t + 1, std::memory_order_seq_cst, std::memory_order_relaxed)) {
                task = nullptr;
            }
            bottom_.store(b + 1, std::memory_order_release);  // deviation: release, as above
        }
        return task;
    }

    // Any thread. The oldest task, or nullptr when empty or when the race was lost
    // (the paper's ABORT; callers just move on to the next victim).
    Task* steal() noexcept {
        // Paper: acquire load, seq_cst fence, acquire load. Deviation: seq_cst loads.
        std::int64_t t = top_.load(std::memory_order_seq_cst);
        const std::int64_t b = bottom_.load(std::memory_order_seq_cst);
        if (t >= b) {
            return nullptr;
        }
        // Paper: consume; an atomic slot makes the read of a slot being overwritten benign
        // (the CAS below then fails).
        Task* task = slots_[t & mask].load(std::memory_order_relaxed);
        if (!top_.compare_exchange_strong(t, t + 1, std::memory_order_seq_cst, std::memory_order_relaxed)) {
            return nullptr;
        }
        return task;
    }

    // Any thread; a snapshot for the sleep protocol.
    bool empty() const noexcept {
        const std::int64_t t = top_.load(std::memory_order_seq_cst);
        const std::int64_t b = bottom_.load(std::memory_order_seq_cst);
        return t >= b;
    }

private:
    static constexpr std::int64_t mask = capacity - 1;
    static constexpr std::size_t cache_line = 64;

    // Thieves hammer `top_`; the owner alone writes `bottom_`: keep them apart.
    alignas(cache_line) std::atomic<std::int64_t> top_{0};
    alignas(cache_line) std::atomic<std::int64_t> bottom_{0};
    alignas(cache_line) std::array<std::atomic<Task*>, capacity> slots_{};
};

}  // namespace vellomir
