#pragma once
// Complete elliptic integrals in Legendre's form, in the parameter m = k^2:
//   K(m)    = \int_0^{pi/2} dθ / sqrt(1 - m sin^2 θ)
//   E(m)    = \int_0^{pi/2} sqrt(1 - m sin^2 θ) dθ
//   Π(n, m) = \int_0^{pi/2} dθ / ((1 - n sin^2 θ) sqrt(1 - m sin^2 θ))   (n > 1: Cauchy principal value)
// K and E by Fukushima's piecewise Taylor series (Celest. Mech. Dyn. Astron. 105, 305 (2009))
// and the arithmetic-geometric mean; Π from Carlson's RF and RJ (DLMF 19.25.2).
//
// Each routine returns the value, or the Status of its failure under its own name
// (Status::ellipk_nan, ...), pure and without allocation.

#include "base/status.hpp"

namespace vellomir {

// The former name of Result<double>, for code written before Status replaced message texts.
using EllipResult = Result<double>;

Result<double> ellipk(double m) noexcept;
Result<double> ellipe(double m) noexcept;
// The characteristic n comes first, the parameter m second.
Result<double> ellippi(double n, double m) noexcept;

// The same integrals at m = 1 - mc and n = 1 - nc, for callers that know the complementary
// parameters without cancellation (next to m = 1 and n = 1, where K, E and Π depend on them
// alone). Where they are not small these equal the entries above at the rounded 1 - mc and
// 1 - nc, errors and messages included.
Result<double> ellipk_complement(double mc) noexcept;
Result<double> ellipe_complement(double mc) noexcept;
Result<double> ellippi_complement(double nc, double mc) noexcept;

}  // namespace vellomir
