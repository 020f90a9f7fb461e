#pragma once
// The calling thread's detachment from the interpreter for one computation, cancellable by
// Ctrl-C. Shared by both extensions (vellomir and vellomir_numpy._core); it needs only the C
// API, OwnedRef and the pool's cancellation.
//
// While the calling thread waits for the worker pool it wakes every 20 ms, re-attaches for the
// moment of PyErr_CheckSignals and detaches again; an exception that a signal handler raises
// (KeyboardInterrupt) cancels the call's remaining work (its maps throw MapCancelled), and is
// handed to the caller once the work in flight has stopped.

#include <Python.h>

#include <utility>

#include "capi/owned_ref.hpp"
#include "parallel/cancellation.hpp"

namespace vellomir {

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

// Runs `compute` (no Python objects; it must not throw) detached, as one cancellable call, and
// returns attached with the exception a signal handler raised meanwhile, if any.
template <class Compute>
OwnedRef run_detached(Compute&& compute) noexcept {
    DetachedCall detached;
    {
        const CancellableCall call(detached);
        compute();
    }
    detached.attach();
    return detached.take_raised();
}

}  // namespace vellomir
