#pragma once
// Constants shared by the magnification models, written as the literals the formulas use
// so that every result is reproducible to the last bit.

namespace vellomir {

inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966;
inline constexpr double TWO_PI = 6.283185307179586;

// Tolerance of the quadratures over the stellar radius: below what doubles resolve, so the
// tanh-sinh rule runs through its finest level unless the integrand is exhausted earlier.
inline constexpr double RADIAL_QUADRATURE_TARGET = 1e-16;

}  // namespace vellomir
