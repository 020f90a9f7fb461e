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
//
// A child forked while another thread was creating a value has no such thread: the
// value goes back to empty in the child (a fork handler), and the child's first use
// creates it again. There is no lock to inherit: the state is one atomic word, waited
// on by futex (std::atomic::wait).

#include <Python.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

#include "models/internal_failure.hpp"

namespace vellomir {

namespace once_detail {

// The state of one value, and the list of every value whose creation has ever begun,
// which the fork handler walks.
class OnceState {
public:
    // In a forked child: a creation begun by another thread (which the child lacks) is
    // abandoned. One begun by the forking thread goes on in the child.
    void abandon_creation_in_child() noexcept {
        if (state_.load(std::memory_order_relaxed) == State::creating &&
            creator_.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
            creator_.store(std::thread::id(), std::memory_order_relaxed);
            state_.store(State::empty, std::memory_order_relaxed);
        }
    }

    OnceState* next_registered() const noexcept { return next_registered_; }

protected:
    // Four bytes, so that waiting on it is a futex wait on its own address.
    enum class State : std::uint32_t { empty, creating, ready };

    // Puts this value on the list once, before its first creation begins.
    void register_for_fork() noexcept;

    std::atomic<State> state_{State::empty};
    std::atomic<std::thread::id> creator_{};

private:
    std::atomic<bool> registered_{false};
    OnceState* next_registered_ = nullptr;  // written once, before the value is pushed
};

// Head of the list (values are never removed: they live as long as the process).
inline std::atomic<OnceState*> registered_values{nullptr};

inline void OnceState::register_for_fork() noexcept {
    if (registered_.exchange(true, std::memory_order_relaxed)) {
        return;
    }
    OnceState* head = registered_values.load(std::memory_order_relaxed);
    do {
        next_registered_ = head;
    } while (!registered_values.compare_exchange_weak(head, this, std::memory_order_release,
                                                      std::memory_order_relaxed));
}

// Runs in the child of fork(), before anything else there; only the forking thread exists.
inline void abandon_creations_in_child() noexcept {
    for (OnceState* value = registered_values.load(std::memory_order_acquire); value != nullptr;
         value = value->next_registered()) {
        value->abandon_creation_in_child();
    }
}

// Registered once per loaded library, while it loads.
[[maybe_unused]] inline const int fork_handler_registered =
    pthread_atfork(nullptr, nullptr, abandon_creations_in_child);

}  // namespace once_detail

template <class T>
class OnceValue : private once_detail::OnceState {
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
    template <class Factory>
    const T& get_slow(Factory& make) {
        register_for_fork();
        for (;;) {
            State state = state_.load(std::memory_order_acquire);
            if (state == State::ready) {
                return *value_;
            }
            if (state == State::empty) {
                if (!state_.compare_exchange_strong(state, State::creating, std::memory_order_acquire)) {
                    continue;
                }
                creator_.store(std::this_thread::get_id(), std::memory_order_relaxed);
                try {
                    value_.emplace(make());
                } catch (...) {
                    finish(State::empty);
                    throw;
                }
                finish(State::ready);
                return *value_;
            }
            // The factory called back into code that needs this very value: waiting
            // would never end.
            if (creator_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
                throw InternalFailure("a one-time value was requested again while it was being created");
            }
            PyThreadState* detached = PyEval_SaveThread();
            state_.wait(State::creating, std::memory_order_acquire);
            PyEval_RestoreThread(detached);
        }
    }

    void finish(State outcome) noexcept {
        creator_.store(std::thread::id(), std::memory_order_relaxed);
        state_.store(outcome, std::memory_order_release);  // publishes value_ when ready
        state_.notify_all();
    }

    std::optional<T> value_;  // written once, before state_ becomes ready (release)
};

}  // namespace vellomir
