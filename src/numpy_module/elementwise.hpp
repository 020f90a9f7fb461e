#pragma once
// out[i] = kernel(u[i], rho[i or 0]) on the worker pool, with the interpreter released and the
// call cancellable by Ctrl-C (module/detached_call.hpp, shared with vellomir): every element is
// computed on its own, so the results are the same for any number of workers. The caller holds
// the buffers; the workers see only the spans.

#include <Python.h>

#include <cstddef>
#include <exception>
#include <new>
#include <span>

#include "module/detached_call.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir::numpy_face {

// Below this many elements of a cheap kernel, waking the pool costs more than the work.
inline constexpr std::size_t INLINE_CHEAP_ELEMENTS = 32;

// Turns what a worker (or the calling thread) threw into the matching Python exception;
// returns None when nothing was thrown, else nullptr.
inline PyObject* finish(std::exception_ptr error) {
    if (!error) Py_RETURN_NONE;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& failure) {
        PyErr_Format(PyExc_RuntimeError, "vellomir_numpy internal failure: %s", failure.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "vellomir_numpy internal failure");
    }
    return nullptr;
}

// Runs `work` (no Python objects) detached as one cancellable call. Returns None, or nullptr
// with the exception set: a signal handler's (KeyboardInterrupt) wins over what `work` threw
// (MapCancelled, once cancelled).
template <class Work>
PyObject* run_on_pool(const Work& work) noexcept {
    std::exception_ptr error;
    OwnedRef raised = run_detached([&]() noexcept {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    });
    if (raised) {
        PyErr_SetRaisedException(raised.release());
        return nullptr;
    }
    return finish(error);
}

// `rho` has one element or as many as `u`, and `out` as many as `u`. Returns as run_on_pool.
template <class Kernel>
PyObject* map_elements(std::span<const double> u, std::span<const double> rho, std::span<double> out, bool cheap,
                       const Kernel& kernel) noexcept {
    const bool broadcast_rho = rho.size() == 1;
    auto element = [&](const double& separation) {
        const std::size_t i = static_cast<std::size_t>(&separation - u.data());
        return kernel(separation, broadcast_rho ? rho[0] : rho[i]);
    };
    if (cheap && u.size() <= INLINE_CHEAP_ELEMENTS) {
        for (std::size_t i = 0; i < u.size(); ++i) out[i] = element(u[i]);
        Py_RETURN_NONE;
    }
    // Expensive elements (ring integrals near the lens) sit among cheap ones (the far series).
    const ElementCost cost = cheap ? ElementCost::even : ElementCost::uneven;
    return run_on_pool([&] { parallel_map_into(WorkerPool::global(), u, out, element, cost); });
}

}  // namespace vellomir::numpy_face
