#pragma once
// Block-wise parallel loop: fn(begin, end) over contiguous ranges that cover [0, count) once,
// every boundary but the last a multiple of `block`. For batched kernels: each range is
// whole batches except at its very end, and only the range holding `count` ends short.
//
// Splitting as in parallel_map (recursive halving under the same budget), over blocks rather
// than elements. `fn` is called concurrently and must be safe to call so; an exception is
// passed to the caller as parallel_map passes it. Cancellation as in parallel_map: every range
// checks the call's flag, and an unsplit range runs in slices of `blocks_per_check` blocks with
// a check before each, so a cancelled call stops within one slice per worker.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <stdexcept>

#include "parallel/cancellation.hpp"
#include "parallel/join.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {

namespace detail {

// Blocks computed between two looks at the cancellation flag: small enough to stop promptly,
// large enough that the look costs nothing next to the work.
inline constexpr std::size_t blocks_per_check = 32;

template <class Fn>
class BlockRun {
public:
    BlockRun(std::size_t count, std::size_t block, Fn& fn, Cancellation& cancellation) noexcept
        : count_(count), block_(block), fn_(fn), cancellation_(cancellation) {}

    // Runs blocks [first, last) and returns how many elements they hold.
    std::size_t run(WorkerThread& self, std::size_t first, std::size_t last, bool migrated, SplitBudget budget) {
        if (cancellation_.requested()) {
            throw MapCancelled();
        }
        if (budget.try_split(last - first, migrated)) {
            const std::size_t mid = first + (last - first) / 2;
            std::size_t left = 0;
            std::size_t right = 0;
            join(
                self, [&](WorkerThread& here) { left = run(here, first, mid, false, budget); },
                [&](WorkerThread& here, bool stolen) { right = run(here, mid, last, stolen, budget); });
            return left + right;
        }
        const CancellationInScope nested_maps_belong_here(cancellation_);
        for (std::size_t slice = first; slice < last; slice += blocks_per_check) {
            if (cancellation_.requested()) {
                throw MapCancelled();
            }
            fn_(slice * block_, std::min(std::min(slice + blocks_per_check, last) * block_, count_));
        }
        return std::min(last * block_, count_) - first * block_;
    }

private:
    std::size_t count_;
    std::size_t block_;
    Fn& fn_;
    Cancellation& cancellation_;
};

}  // namespace detail

template <class Fn>
void parallel_for_blocks(WorkerPool& pool, std::size_t count, std::size_t block, Fn&& fn) {
    if (block == 0) {
        throw std::logic_error("parallel_for_blocks: blocks of 0 elements");
    }
    Cancellation& cancellation = detail::current_cancellation();
    if (cancellation.requested()) {
        throw MapCancelled();
    }
    if (count == 0) {
        return;
    }
    const std::size_t blocks = count / block + (count % block != 0);
    detail::BlockRun<std::remove_reference_t<Fn>> loop(count, block, fn, cancellation);
    auto body = [&](WorkerThread& self) { return loop.run(self, 0, blocks, false, detail::SplitBudget(pool.size())); };

    if (detail::run_on_pool(pool, body) != count) {
        throw std::logic_error("parallel_for_blocks: covered the wrong number of elements");
    }
}

}  // namespace vellomir
