#pragma once
// Computing with the interpreter released, and stopping for Ctrl-C.
//
// The entry points convert their arguments while attached, then detach for the computation
// (other Python threads run meanwhile, stop-the-world pauses are not held up), re-attach and
// build the result. A call stops for Ctrl-C as detached_call.hpp describes; the exception
// the signal handler raised is raised in place of the result.
//
// vellomir detaches for the whole model call (compute_detached). vellomir_numpy._core lets the
// models entry decide: a few cheap elements are computed attached, and only the pool part of
// a map is detached (DetachedPoolLauncher), so that a tiny call never hands the GIL away.

#include <Python.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "capi/detached_call.hpp"
#include "capi/errors.hpp"
#include "capi/owned_ref.hpp"
#include "parallel/pool_launcher.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {

// Runs `compute` (no Python objects!) detached, and returns its value once re-attached; an
// exception it throws is rethrown attached. A signal handler's exception wins over both.
template <class Compute>
Expected<std::invoke_result_t<Compute&>> compute_detached(Compute&& compute) {
    using Value = std::invoke_result_t<Compute&>;
    std::optional<Value> value;
    std::exception_ptr failure;
    OwnedRef raised = run_detached([&]() noexcept {
        try {
            value.emplace(compute());
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (raised) {
        return PendingError::normalised(std::move(raised));
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return std::move(*value);
}

// Runs a models entry's pool part detached, on the process-wide pool (looked up detached: a
// fork child gets its own), as one cancellable call; keeps what the work threw and what a
// signal handler raised for finish().
class DetachedPoolLauncher final : public PoolLauncher {
public:
    void launch(PoolWork& work) override {
        raised_ = run_detached([&]() noexcept {
            try {
                work.run(WorkerPool::global());
            } catch (...) {
                failure_ = std::current_exception();  // MapCancelled, once cancelled
            }
        });
    }

    // Attached: None, or nullptr with the exception set. A signal handler's exception wins over
    // what the work threw, which `face` raises as its exception table says.
    PyObject* finish(Face face) noexcept {
        if (raised_) {
            PyErr_SetRaisedException(raised_.release());
            return nullptr;
        }
        if (failure_) return raise_cpp_exception(face, failure_);
        Py_RETURN_NONE;
    }

private:
    OwnedRef raised_;
    std::exception_ptr failure_;
};

}  // namespace vellomir
