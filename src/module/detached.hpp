#pragma once
// Computing with the interpreter released, and stopping for Ctrl-C.
//
// The entry points convert their arguments while attached, then detach for the computation
// (other Python threads run meanwhile, stop-the-world pauses are not held up), re-attach and
// build the result. While the calling thread waits for the worker pool it wakes every 20 ms,
// re-attaches for the moment of PyErr_CheckSignals and detaches again; an exception that a
// signal handler raises (KeyboardInterrupt) cancels the call's remaining work, and once the
// work in flight has stopped it is raised in place of the result.

#include <Python.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "module/errors.hpp"
#include "module/owned_ref.hpp"
#include "parallel/cancellation.hpp"

namespace vellomir {

// The calling thread's detachment for one computation, and the poll of its waits.
class DetachedCall final : public WaitPoll {
public:
    DetachedCall() noexcept : thread_state_(PyEval_SaveThread()) {}
    ~DetachedCall() { attach(); }
    DetachedCall(const DetachedCall&) = delete;
    DetachedCall& operator=(const DetachedCall&) = delete;

    // Runs on the detached calling thread, between waits for the pool.
    bool cancel_requested() noexcept override {
        PyEval_RestoreThread(thread_state_);
        if (PyErr_CheckSignals() < 0) {
            raised_ = OwnedRef(PyErr_GetRaisedException());
        }
        thread_state_ = PyEval_SaveThread();
        return static_cast<bool>(raised_);
    }

    void attach() noexcept {
        if (thread_state_ != nullptr) {
            PyEval_RestoreThread(std::exchange(thread_state_, nullptr));
        }
    }

    // Attached only: the exception a signal handler raised during the call, if any.
    OwnedRef take_raised() noexcept { return std::move(raised_); }

private:
    PyThreadState* thread_state_;
    OwnedRef raised_;  // created and released while attached
};

// Runs `compute` (no Python objects!) detached, and returns its value once re-attached; an
// exception it throws is rethrown attached. A signal handler's exception wins over both.
template <class Compute>
Expected<std::invoke_result_t<Compute&>> compute_detached(Compute&& compute) {
    using Value = std::invoke_result_t<Compute&>;
    std::optional<Value> value;
    std::exception_ptr failure;
    OwnedRef raised;
    {
        DetachedCall detached;
        {
            const CancellableCall call(detached);
            try {
                value.emplace(compute());
            } catch (...) {
                failure = std::current_exception();
            }
        }
        detached.attach();
        raised = detached.take_raised();
    }
    if (raised) {
        return PendingError::normalised(std::move(raised));
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return std::move(*value);
}

}  // namespace vellomir
