#pragma once
// A value created once per process, on first use, by exactly one thread, and kept
// until the process ends (interned names, the PanicException type, the Sequence type).
// Not for anything a forked child must not inherit: the worker pool keeps its own rule.
//
// The creating thread stays attached to the interpreter while it runs the
// factory, which may call into Python. A thread that finds the value being
// created by another detaches (PyEval_SaveThread) for as long as it waits: with a
// GIL the creator may need the lock back to finish, and without one a waiting
// attached thread would stall stop-the-world pauses. A factory that throws
// leaves the value empty, so a later caller tries again.

#include <Python.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "models/internal_failure.hpp"

namespace vellomir {

template <class T>
class OnceValue {
public:
    template <class Factory>
    const T& get(Factory&& make) {
        if (state_.load(std::memory_order_acquire) == State::ready) {
            return *value_;
        }
        return get_slow(make);
    }

    // The value if it has been created, else nullptr; never creates it.
    const T* peek() const noexcept {
        return state_.load(std::memory_order_acquire) == State::ready ? &*value_ : nullptr;
    }

private:
    enum class State { empty, creating, ready };

    template <class Factory>
    const T& get_slow(Factory& make) {
        std::unique_lock lock(mutex_);  // state_ changes and creator_ are guarded by mutex_
        for (;;) {
            const State state = state_.load(std::memory_order_relaxed);
            if (state == State::ready) {
                return *value_;
            }
            if (state == State::empty) {
                state_.store(State::creating, std::memory_order_relaxed);
                creator_ = std::this_thread::get_id();
                lock.unlock();
                try {
                    value_.emplace(make());
                } catch (...) {
                    lock.lock();
                    creator_ = {};
                    state_.store(State::empty, std::memory_order_relaxed);
                    changed_.notify_all();
                    throw;
                }
                lock.lock();
                creator_ = {};
                state_.store(State::ready, std::memory_order_release);
                changed_.notify_all();
                return *value_;
            }
            // The factory called back into code that needs this very value: waiting
            // would never end.
            if (creator_ == std::this_thread::get_id()) {
                throw InternalFailure("a one-time value was requested again while it was being created");
            }
            lock.unlock();
            PyThreadState* detached = PyEval_SaveThread();
            {
                std::unique_lock wait_lock(mutex_);
                changed_.wait(wait_lock, [this] { return state_.load(std::memory_order_relaxed) != State::creating; });
            }
            PyEval_RestoreThread(detached);
            lock.lock();
        }
    }

    std::atomic<State> state_{State::empty};
    std::optional<T> value_;  // written once, before state_ becomes ready (release)
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread::id creator_;
};

}  // namespace vellomir
