#pragma once
// The uniform disk's weighted centroid shift over an array, several elements at a time in SIMD
// registers, bit for bit disk_weighted_centroid_shift (centroid.hpp).

#include <span>

#include "simd/simd_isa.hpp"

namespace vellomir {

// out[i] = disk_weighted_centroid_shift(u[i], rho); `out` may be `u` itself. Pure; any thread.
void disk_weighted_centroid_shift_batch(std::span<const double> u, double rho, std::span<double> out,
                                        SimdIsa isa = active_simd_isa()) noexcept;

// out[i] = disk_weighted_centroid_shift(u, rho[i]): sub-disks about one separation. `out` may be
// `rho` itself.
void disk_weighted_centroid_shift_radii_batch(double u, std::span<const double> rho, std::span<double> out,
                                              SimdIsa isa = active_simd_isa()) noexcept;

}  // namespace vellomir
