#pragma once
// out[i] = kernel(u[i], rho[i or 0]) on the worker pool, with the interpreter released: every
// element is computed on its own, so the results are the same for any number of workers.
// The caller holds the buffers; the workers see only the spans.

#include <cstddef>
#include <exception>
#include <span>

#include "parallel/parallel_map.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir::numpy_face {

// Below this many elements of a cheap kernel, waking the pool costs more than the work.
inline constexpr std::size_t INLINE_CHEAP_ELEMENTS = 32;

// Returns the exception a worker (or the pool) threw, if any; the interpreter is held again
// when it returns. `rho` has one element or as many as `u`, and `out` as many as `u`.
template <class Kernel>
std::exception_ptr map_elements(std::span<const double> u, std::span<const double> rho, std::span<double> out,
                                bool cheap, const Kernel& kernel) noexcept {
    const bool broadcast_rho = rho.size() == 1;
    auto element = [&](const double& separation) {
        const std::size_t i = static_cast<std::size_t>(&separation - u.data());
        return kernel(separation, broadcast_rho ? rho[0] : rho[i]);
    };
    if (cheap && u.size() <= INLINE_CHEAP_ELEMENTS) {
        for (std::size_t i = 0; i < u.size(); ++i) out[i] = element(u[i]);
        return nullptr;
    }
    std::exception_ptr error;
    Py_BEGIN_ALLOW_THREADS
    try {
        parallel_map_into(WorkerPool::global(), u, out, element);
    } catch (...) {
        error = std::current_exception();
    }
    Py_END_ALLOW_THREADS
    return error;
}

}  // namespace vellomir::numpy_face
