#pragma once
// Computing with the interpreter released, and stopping for Ctrl-C.
//
// The entry points convert their arguments while attached, then detach for the computation
// (other Python threads run meanwhile, stop-the-world pauses are not held up), re-attach and
// build the result. A call stops for Ctrl-C as detached_call.hpp describes; the exception
// the signal handler raised is raised in place of the result.

#include <Python.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "module/detached_call.hpp"
#include "module/errors.hpp"
#include "module/owned_ref.hpp"

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

}  // namespace vellomir
