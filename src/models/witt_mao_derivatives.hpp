#pragma once
// The uniform disk's magnification (witt_mao.hpp) with its derivatives with respect to the
// separation u and the source radius rho, all from one set of complete elliptic integrals.

#include <array>
#include <cstddef>
#include <span>

#include "simd/simd_isa.hpp"

namespace vellomir {

// The constants of witt_mao_derivatives.cpp that its lane code (witt_mao_derivatives_lanes.hpp)
// shares.
namespace witt_mao_derivative_forms {

// Below this parameter (m - 2) K + 2 E is summed as its series: 30 terms reach 2^-60 of it.
inline constexpr double SERIES_PARAMETER = 0.25;
inline constexpr int PARAMETER_SERIES_TERMS = 30;

// Coefficients c_j = a_{j-1} (j - 1) / j of m^(j-2), with a_j = a_{j-1} ((2j - 1) / (2j))^2.
inline constexpr std::array<double, PARAMETER_SERIES_TERMS> KERNEL_SERIES = [] {
    std::array<double, PARAMETER_SERIES_TERMS> c{};
    double a = 1.0;  // a_0
    for (int j = 2; j < PARAMETER_SERIES_TERMS + 2; ++j) {
        const double ratio = (2.0 * j - 3.0) / (2.0 * j - 2.0);
        a *= ratio * ratio;  // a_{j-1}
        c[static_cast<std::size_t>(j - 2)] = a * (j - 1.0) / static_cast<double>(j);
    }
    return c;
}();

}  // namespace witt_mao_derivative_forms

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

// out[i] = witt_mao_derivatives_scaled(u[i or 0], rho[i or 0]), bit for bit, several elements
// at a time in SIMD registers (u and rho hold one value or out.size()). Defined with the other
// batched kernels (models_batch.cpp).
void witt_mao_derivatives_batch(std::span<const double> u, std::span<const double> rho, std::span<DiskGradient> out,
                                SimdIsa isa = active_simd_isa()) noexcept;

// The same by column: value[i], d_u[i], d_rho[i] (all of one length, which u and rho have or 1).
void witt_mao_derivatives_batch(std::span<const double> u, std::span<const double> rho, std::span<double> value,
                                std::span<double> d_u, std::span<double> d_rho, SimdIsa isa = active_simd_isa()) noexcept;

}  // namespace vellomir
