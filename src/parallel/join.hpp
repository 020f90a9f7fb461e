#pragma once
// Fork-join on a worker: run `left` here while `right` waits on this worker's deque,
// where an idle worker may steal it (Blumofe & Leiserson, "Scheduling Multithreaded
// Computations by Work Stealing", 1999).
//
// The right half is always finished before join returns or throws, because it may refer
// to the caller's stack. An exception from either half is held until both are done; then
// the left one's is rethrown if it failed, else the right one's.

#include <atomic>
#include <exception>
#include <type_traits>

#include "parallel/task.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {

namespace detail {

// `Right` is called as right(executor, migrated): `migrated` is true when a worker other
// than the one that forked it runs it.
template <class Right>
class JoinTask final : public Task {
public:
    JoinTask(Right& right, WorkerThread& owner) noexcept : right_(right), owner_(owner) {}

    void execute(WorkerThread& executor) noexcept override {
        try {
            right_(executor, &executor != &owner_);
        } catch (...) {
            error_ = std::current_exception();
        }
        set_done_and_wake(done_, owner_);  // the last touch of *this by a thief
    }

    const std::atomic<bool>& done() const noexcept { return done_; }
    const std::exception_ptr& error() const noexcept { return error_; }

private:
    Right& right_;
    WorkerThread& owner_;
    std::exception_ptr error_;
    std::atomic<bool> done_{false};
};

}  // namespace detail

// `self` must be the calling thread's own worker state. `left` is called as left(self).
template <class Left, class Right>
void join(WorkerThread& self, Left&& left, Right&& right) {
    detail::JoinTask<std::remove_reference_t<Right>> right_task(right, self);
    const bool pushed = push_local(self, right_task);

    std::exception_ptr left_error;
    try {
        left(self);
    } catch (...) {
        left_error = std::current_exception();
    }

    if (pushed) {
        run_until(self, right_task.done());
    } else {
        right_task.execute(self);  // deque full: no one else can see it
    }

    if (left_error) {
        std::rethrow_exception(left_error);
    }
    if (right_task.error()) {
        std::rethrow_exception(right_task.error());
    }
}

}  // namespace vellomir
