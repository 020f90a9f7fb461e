#pragma once
// The uniform disk's magnification (witt_mao.hpp) with its derivatives with respect to the
// separation u and the source radius rho, all from one set of complete elliptic integrals.

#include <cstddef>
#include <span>

#include "simd/simd_isa.hpp"

namespace vellomir {

struct DiskGradient {
    double value;  // witt_mao_magnification_scaled(u, rho), bit for bit
    double d_u;    // dA / du
    double d_rho;  // dA / drho
};

// u, rho >= 0 in Einstein radii (NaN or a negative argument gives NaN in all three).
// At u = rho the derivatives are logarithmically infinite: d_u = -inf, d_rho = +inf. At u = 0
// d_u = 0 (the disk is symmetric about the lens). rho = 0 is the point source (d_rho = 0
// there, the disk mean being even in rho; d_u = -inf and d_rho NaN at u = rho = 0). Above
// rho = 1e9, where A is 1 to the last bit inside u < 3 rho, both derivatives are 0 there
// (they are below 4 / rho^3). Derivatives beyond the double range (rho below about 1e-154
// near the disk) overflow to infinity. Pure; any thread.
DiskGradient witt_mao_derivatives_scaled(double u, double rho) noexcept;

// Elements whose elliptic integrals are computed together per batch.
inline constexpr std::size_t DERIVATIVES_BATCH = 64;

// out[i] = witt_mao_derivatives_scaled(u[i or 0], rho[i or 0]), bit for bit, the elliptic
// integrals of the general case through the batched kernels (u and rho hold one value or
// out.size()).
void witt_mao_derivatives_batch(std::span<const double> u, std::span<const double> rho, std::span<DiskGradient> out,
                                SimdIsa isa = active_simd_isa()) noexcept;

}  // namespace vellomir
