#pragma once
// The per-instruction-set entry points behind witt_mao_batch.hpp and heyrovsky_batch.hpp.

#include <cstddef>

#define VELLOMIR_MODELS_BATCH_PATHS                                                                  \
    void witt_mao_magnification_batch(const double* separation, double scale, double rho, double* out, \
                                      std::size_t count) noexcept;                                     \
    void witt_mao_magnification_radii_batch(double u, const double* rho, double* out, std::size_t count) noexcept; \
    void heyrovsky_magnification_batch(double l, const double* r, double re, double rstar, double* out,       \
                                       std::size_t count) noexcept;

namespace vellomir::batch_avx2 {
VELLOMIR_MODELS_BATCH_PATHS
}
namespace vellomir::batch_avx512 {
VELLOMIR_MODELS_BATCH_PATHS
}

#undef VELLOMIR_MODELS_BATCH_PATHS
