#pragma once
// Carlson's symmetric elliptic integrals, with t running from 0 to infinity:
//   RF(x, y, z)    = 1/2 \int dt / sqrt((t+x)(t+y)(t+z))
//   RD(x, y, z)    = 3/2 \int dt / (sqrt((t+x)(t+y)) (t+z)^{3/2})
//   RJ(x, y, z, p) = 3/2 \int dt / (sqrt((t+x)(t+y)(t+z)) (t+p))   (p < 0: Cauchy principal value)
//   RC(x, y)       = 1/2 \int dt / (sqrt(t+x) (t+y))                (y < 0: Cauchy principal value)
// B. C. Carlson, "Numerical computation of real or complex elliptic integrals",
// Numer. Algorithms 10, 13 (1995).
//
// The routines check nothing: callers validate their arguments. A NaN result means
// that NaN came in or that a duplication did not reach its stopping rule within its
// cap. All are pure and allocate nothing.

namespace vellomir {

// Domain: x, y, z >= 0, at most one of them zero.
double elliprf_unchecked(double x, double y, double z) noexcept;
// Domain: x, y >= 0, not both zero; z > 0. With x = y = 0 the integral diverges: +infinity.
double elliprd_unchecked(double x, double y, double z) noexcept;
// Domain: x, y, z >= 0, at most one of them zero; p != 0 (p < 0: principal value).
double elliprj_unchecked(double x, double y, double z, double p) noexcept;
// Domain: x >= 0, y != 0 (y < 0: principal value).
double elliprc(double x, double y) noexcept;

}  // namespace vellomir
