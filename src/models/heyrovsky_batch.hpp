#pragma once
// The ring magnification over an array of ring radii, several at a time in SIMD registers, bit
// for bit heyrovsky_magnification (heyrovsky.hpp).

#include <span>

#include "simd/simd_isa.hpp"

namespace vellomir {

// out[i] = heyrovsky_magnification(l, r[i], re, rstar), or NaN where it fails. `out` has the
// radii's length and may be their own storage. Pure; any thread.
void heyrovsky_magnification_batch(double l, std::span<const double> r, double re, double rstar,
                                   std::span<double> out, SimdIsa isa = active_simd_isa()) noexcept;

}  // namespace vellomir
