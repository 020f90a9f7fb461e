#pragma once
// K, E, Π, RF and RJ over arrays, several elements at a time in SIMD registers, with results
// bit for bit those of the scalar routines (legendre.hpp, carlson.hpp): where the scalar
// routine fails, NaN. `out` has the inputs' length and may be one of them. The path is the
// one named, or the process's choice (simd/simd_isa.hpp); an unavailable one runs scalar.

#include <span>

#include "simd/simd_isa.hpp"

namespace vellomir {

void ellipk_batch(std::span<const double> m, std::span<double> out, SimdIsa isa = active_simd_isa()) noexcept;
void ellipe_batch(std::span<const double> m, std::span<double> out, SimdIsa isa = active_simd_isa()) noexcept;
void ellippi_batch(std::span<const double> n, std::span<const double> m, std::span<double> out,
                   SimdIsa isa = active_simd_isa()) noexcept;
// The complementary entries: K, E at m = 1 - mc, Π at n = 1 - nc, m = 1 - mc.
void ellipk_complement_batch(std::span<const double> mc, std::span<double> out,
                             SimdIsa isa = active_simd_isa()) noexcept;
void ellipe_complement_batch(std::span<const double> mc, std::span<double> out,
                             SimdIsa isa = active_simd_isa()) noexcept;
void ellippi_complement_batch(std::span<const double> nc, std::span<const double> mc, std::span<double> out,
                              SimdIsa isa = active_simd_isa()) noexcept;
void elliprf_batch(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   std::span<double> out, SimdIsa isa = active_simd_isa()) noexcept;
void elliprj_batch(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   std::span<const double> p, std::span<double> out, SimdIsa isa = active_simd_isa()) noexcept;

}  // namespace vellomir
