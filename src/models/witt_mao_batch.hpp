#pragma once
// The uniform-disk magnification over an array, several separations at a time in SIMD
// registers, bit for bit witt_mao_magnification_scaled (witt_mao.hpp).

#include <cstddef>
#include <span>

#include "simd/simd_isa.hpp"

namespace vellomir {

// One element of the vector function: out[i] = NaN where separation[i] < 0, else
// witt_mao_magnification_scaled(separation[i] * scale, rho). `out` has the separations' length
// and may be their own storage. Pure; any thread.
void witt_mao_magnification_batch(std::span<const double> separation, double scale, double rho,
                                  std::span<double> out, SimdIsa isa = active_simd_isa()) noexcept;

// out[i] = witt_mao_magnification_scaled(u, rho[i]): sub-disks about one separation. `out` may
// be `rho` itself.
void witt_mao_magnification_radii_batch(double u, std::span<const double> rho, std::span<double> out,
                                        SimdIsa isa = active_simd_isa()) noexcept;

// Elements per block of a parallel map over a batched kernel: whole batches on every path.
inline constexpr std::size_t BATCH_BLOCK = 64;

}  // namespace vellomir
