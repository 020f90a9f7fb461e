#pragma once
// Block-wise parallel loop: fn(begin, end) over contiguous ranges that cover [0, count) once,
// every boundary but the last a multiple of `block`. For batched kernels: each range is
// whole batches except at its very end, and only the range holding `count` ends short.
//
// Splitting as in parallel_map (recursive halving under the same budget), over blocks rather
// than elements. `fn` is called concurrently and must be safe to call so; an exception is
// passed to the caller as parallel_map passes it.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <stdexcept>

#include "parallel/join.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {

namespace detail {

template <class Fn>
class BlockRun {
public:
    BlockRun(std::size_t count, std::size_t block, Fn& fn) noexcept : count_(count), block_(block), fn_(fn) {}

    // Runs blocks [first, last) and returns how many elements they hold.
    std::size_t run(WorkerThread& self, std::size_t first, std::size_t last, bool migrated, SplitBudget budget) {
        if (budget.try_split(last - first, migrated)) {
            const std::size_t mid = first + (last - first) / 2;
            std::size_t left = 0;
            std::size_t right = 0;
            join(
                self, [&](WorkerThread& here) { left = run(here, first, mid, false, budget); },
                [&](WorkerThread& here, bool stolen) { right = run(here, mid, last, stolen, budget); });
            return left + right;
        }
        const std::size_t begin = first * block_;
        const std::size_t end = std::min(last * block_, count_);
        fn_(begin, end);
        return end - begin;
    }

private:
    std::size_t count_;
    std::size_t block_;
    Fn& fn_;
};

}  // namespace detail

template <class Fn>
void parallel_for_blocks(WorkerPool& pool, std::size_t count, std::size_t block, Fn&& fn) {
    if (block == 0) {
        throw std::logic_error("parallel_for_blocks: blocks of 0 elements");
    }
    if (count == 0) {
        return;
    }
    const std::size_t blocks = count / block + (count % block != 0);
    detail::BlockRun<std::remove_reference_t<Fn>> loop(count, block, fn);
    auto body = [&](WorkerThread& self) { return loop.run(self, 0, blocks, false, detail::SplitBudget(pool.size())); };

    std::size_t done = 0;
    if (WorkerThread* self = pool.current_worker()) {
        done = body(*self);
    } else {
        detail::InjectedMap<decltype(body)> task(body);
        pool.run_injected(task);
        if (task.error) {
            std::rethrow_exception(task.error);
        }
        done = task.written;
    }
    if (done != count) {
        throw std::logic_error("parallel_for_blocks: covered the wrong number of elements");
    }
}

}  // namespace vellomir
