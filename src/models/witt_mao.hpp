#pragma once
// Magnification of a uniform stellar disk by a point-mass lens (Witt & Mao 1994, ApJ 430, 505),
// in complete elliptic integrals of the three kinds, with the point-source limit and the
// closed form for a lens on the rim of the disk.

#include <vector>

#include "parallel/worker_pool.hpp"

namespace vellomir {

// Where each form of the magnification takes over, shared by witt_mao.cpp and its lane twin
// (witt_mao_lanes.hpp).
namespace witt_mao_forms {

// From u = SERIES_RATIO rho outwards the series is used: against 2-D integrals it is the more
// accurate form from there on (2e-16 against the closed form's 2e-15 at u = 3 rho, where the
// closed form loses about eps (u/rho)^2; at 2 rho the closed form is still the better), and its
// remaining terms fall below 2^-60 within the 20 tabulated.
inline constexpr double SERIES_RATIO = 3.0;

// Above this radius the mean lies within 2 / rho^2 < 2^-58 of 1 wherever the lens is (the
// integral of A - 1 over the whole plane is 2 pi), so 1 is the correctly rounded value.
inline constexpr double LARGEST_RHO = 1e9;

// Below this radius the closed form works on the disk scaled up by 2^300 and scales its result
// back: for sources this small A = 1/x (1 + O(x^2)) and the mean scales as 1/rho to far below
// an ulp, while 1/rho^2 and g / rho would overflow unscaled.
inline constexpr double SMALLEST_UNSCALED_RHO = 1e-200;
inline constexpr double SMALL_DISK_SCALE = 0x1p300;

}  // namespace witt_mao_forms

// u: lens-source separation, rho: source radius, both in Einstein radii. A failure of an
// elliptic routine gives NaN. Pure; callable from any thread.
double witt_mao_magnification_scaled(double u, double rho) noexcept;

// One magnification per separation l[i] (in stellar radii; re and rstar share any unit),
// mapped over `pool` in input order.
std::vector<double> witt_mao_magnification(WorkerPool& pool, std::vector<double> l, double re, double rstar);

// The same on the process-wide pool.
std::vector<double> witt_mao_magnification(std::vector<double> l, double re, double rstar);

}  // namespace vellomir
