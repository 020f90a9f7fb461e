#pragma once
// The per-instruction-set entry points behind ellip_batch.hpp, one namespace per path (each
// compiled in its own target region). Raw pointers: every array holds `count` doubles.

#include <cstddef>

#define VELLOMIR_ELLIP_BATCH_PATHS                                                                       \
    void ellipk_batch(const double* m, double* out, std::size_t count) noexcept;                       \
    void ellipe_batch(const double* m, double* out, std::size_t count) noexcept;                       \
    void ellippi_batch(const double* n, const double* m, double* out, std::size_t count) noexcept;     \
    void ellipk_complement_batch(const double* mc, double* out, std::size_t count) noexcept;          \
    void ellipe_complement_batch(const double* mc, double* out, std::size_t count) noexcept;          \
    void ellippi_complement_batch(const double* nc, const double* mc, double* out, std::size_t count) noexcept; \
    void elliprf_batch(const double* x, const double* y, const double* z, double* out, std::size_t count) noexcept; \
    void elliprj_batch(const double* x, const double* y, const double* z, const double* p, double* out, \
                       std::size_t count) noexcept;

namespace vellomir::batch_avx2 {
VELLOMIR_ELLIP_BATCH_PATHS
}
namespace vellomir::batch_avx512 {
VELLOMIR_ELLIP_BATCH_PATHS
}

#undef VELLOMIR_ELLIP_BATCH_PATHS
