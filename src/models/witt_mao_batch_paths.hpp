#pragma once
// The per-instruction-set entry points behind witt_mao_batch.hpp.

#include <cstddef>

namespace vellomir::batch_avx2 {
void witt_mao_magnification_batch(const double* separation, double scale, double rho, double* out,
                                  std::size_t count) noexcept;
}
namespace vellomir::batch_avx512 {
void witt_mao_magnification_batch(const double* separation, double scale, double rho, double* out,
                                  std::size_t count) noexcept;
}
