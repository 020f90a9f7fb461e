#pragma once
// Order-preserving parallel map: out[i] = fn(input[i]) for every i, computed on a
// worker pool by recursive halving.
//
// Adaptive splitting: a range of length >= 2 is halved (mid = length / 2) while a split
// budget remains. The budget starts at the pool size and halves with each split; a half that another worker stole resets its budget to
// max(pool size, budget / 2), since theft means workers are idle. An unsplit range is
// computed in order into its own slice of the output, which is allocated once at its
// final length: no per-element allocation, no locks, and results land in input order
// whatever the thread count or the schedule.
//
// `fn` is called concurrently from several threads: it must be safe to call so (pure, or
// touching only what it owns). If it throws, the other half of every join on the way up
// is still finished before the first exception (leftmost wins) reaches the caller.
//
// A caller outside the pool hands the whole map in as one task and blocks until it is
// done; a worker of the pool (a nested map) runs it itself, still splitting.
//
// Cancellation (cancellation.hpp): a map belongs to the call that is current where it starts
// (a nested map to the call of the element that starts it). Every range and every element
// checks that call's flag first; once it is raised the map throws MapCancelled, after the
// halves in flight have stopped the same way.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "parallel/cancellation.hpp"
#include "parallel/join.hpp"
#include "parallel/task.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {

namespace detail {

class SplitBudget {
public:
    explicit SplitBudget(std::size_t pool_size, std::size_t scale = 1) noexcept
        : splits_(pool_size * scale), pool_size_(pool_size) {}

    bool try_split(std::size_t length, bool migrated) noexcept {
        if (length / 2 < 1) {
            return false;
        }
        if (migrated) {
            splits_ = std::max(pool_size_, splits_ / 2);
            return true;
        }
        if (splits_ > 0) {
            splits_ /= 2;
            return true;
        }
        return false;
    }

private:
    std::size_t splits_;
    std::size_t pool_size_;
};

template <class In, class Fn, class Result>
class MapRun {
public:
    MapRun(std::span<const In> input, Fn& fn, Result* output, Cancellation& cancellation) noexcept
        : input_(input), fn_(fn), output_(output), cancellation_(cancellation) {}

    // Computes [begin, end) and returns how many results it wrote.
    std::size_t run(WorkerThread& self, std::size_t begin, std::size_t end, bool migrated, SplitBudget budget) {
        if (cancellation_.requested()) {
            throw MapCancelled();
        }
        const std::size_t length = end - begin;
        if (budget.try_split(length, migrated)) {
            const std::size_t mid = begin + length / 2;
            std::size_t left_written = 0;
            std::size_t right_written = 0;
            join(
                self, [&](WorkerThread& here) { left_written = run(here, begin, mid, false, budget); },
                [&](WorkerThread& here, bool stolen) { right_written = run(here, mid, end, stolen, budget); });
            return left_written + right_written;
        }
        const CancellationInScope nested_maps_belong_here(cancellation_);
        for (std::size_t i = begin; i < end; ++i) {
            if (cancellation_.requested()) {
                throw MapCancelled();
            }
            output_[i] = std::invoke(fn_, input_[i]);
        }
        return length;
    }

private:
    std::span<const In> input_;
    Fn& fn_;
    Result* output_;
    Cancellation& cancellation_;
};

// The whole map as one task for a caller outside the pool.
template <class Body>
class InjectedMap final : public Task {
public:
    explicit InjectedMap(Body& body) noexcept : body_(body) {}

    void execute(WorkerThread& executor) noexcept override {
        try {
            written = body_(executor);
        } catch (...) {
            error = std::current_exception();
        }
    }

    std::size_t written = 0;
    std::exception_ptr error;

private:
    Body& body_;
};

// Runs `body(worker)` on `pool` and returns what it returns: directly on a worker of the pool
// (a nested map), else handed in as one task while the caller blocks. An exception from the
// body reaches the caller.
template <class Body>
std::size_t run_on_pool(WorkerPool& pool, Body& body) {
    if (WorkerThread* self = pool.current_worker()) {
        return body(*self);
    }
    InjectedMap<Body> task(body);
    pool.run_injected(task);
    if (task.error) {
        std::rethrow_exception(task.error);
    }
    return task.written;
}

}  // namespace detail

// How finely a map splits before any theft: its split budget starts at the pool size times this.
// Elements of similar cost take the standard rule; maps whose elements differ widely in cost
// (an integral next to the lens against a series far from it, often in one run of separations)
// split further, so that no worker is left alone with a slice of expensive ones.
enum class ElementCost : std::size_t { even = 1, uneven = 32 };

// out[i] = fn(input[i]) into storage the caller provides (output.size() == input.size()).
// `output` may be the input's own storage: each element is read before its slot is written,
// and by the same task.
template <class In, class Fn, class Result>
void parallel_map_into(WorkerPool& pool, std::span<const In> input, std::span<Result> output, Fn&& fn,
                       ElementCost cost = ElementCost::even) {
    // Tasks write distinct elements concurrently: std::vector<bool> packs them into shared words.
    static_assert(!std::is_same_v<Result, bool>, "parallel_map cannot write std::vector<bool> elements concurrently");
    static_assert(std::is_move_assignable_v<Result>);
    if (output.size() != input.size()) {
        throw std::logic_error("parallel_map: output of " + std::to_string(output.size()) + " slots for " +
                               std::to_string(input.size()) + " inputs");
    }
    Cancellation& cancellation = detail::current_cancellation();
    if (cancellation.requested()) {
        throw MapCancelled();
    }
    if (input.empty()) {
        return;  // wakes nobody
    }

    detail::MapRun<In, std::remove_reference_t<Fn>, Result> map(input, fn, output.data(), cancellation);
    auto body = [&](WorkerThread& self) {
        return map.run(self, 0, input.size(), false,
                       detail::SplitBudget(pool.size(), static_cast<std::size_t>(cost)));
    };

    const std::size_t written = detail::run_on_pool(pool, body);
    if (written != input.size()) {
        throw std::logic_error("parallel_map: expected " + std::to_string(input.size()) + " results, but " +
                               std::to_string(written) + " were written");
    }
}

template <class In, class Fn>
auto parallel_map(WorkerPool& pool, std::span<const In> input, Fn&& fn)
    -> std::vector<std::invoke_result_t<Fn&, const In&>> {
    using Result = std::invoke_result_t<Fn&, const In&>;
    static_assert(std::is_default_constructible_v<Result>);
    std::vector<Result> output(input.size());
    parallel_map_into(pool, input, std::span<Result>(output), std::forward<Fn>(fn));
    return output;
}

// The same on the process-wide pool.
template <class In, class Fn>
auto parallel_map(std::span<const In> input, Fn&& fn) -> std::vector<std::invoke_result_t<Fn&, const In&>> {
    return parallel_map(WorkerPool::global(), input, std::forward<Fn>(fn));
}

}  // namespace vellomir
