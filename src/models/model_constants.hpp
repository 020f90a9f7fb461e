#pragma once
// Constants shared by the magnification models, written as the literals the formulas use
// so that every result is reproducible to the last bit (pi and its multiples: math_constants.hpp).

#include "base/math_constants.hpp"

namespace vellomir {

// Tolerance of the quadratures over the stellar radius: below what doubles resolve, so the
// tanh-sinh rule runs through its finest level unless the integrand is exhausted earlier.
inline constexpr double RADIAL_QUADRATURE_TARGET = 1e-16;

}  // namespace vellomir
