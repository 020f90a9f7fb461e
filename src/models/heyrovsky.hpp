#pragma once
// Magnification of a thin ring of the source by a point-mass lens: the point-lens
// magnification averaged over a circle (Heyrovsky 2003, ApJ 594, 464).

#include "base/status.hpp"

namespace vellomir {

// A circle that nearly passes through the lens (d = r - l near 0) takes the logarithmic expansion
// of heyrovsky.cpp, which replaces the elliptic form where |d| < THROUGH_LENS_BAND min(l, q). Its neglected
// terms are of order (d / l)^2 log and (d / q)^2: measured against angular averages it is within
// 2.6e-15 at |d| = 1e-8 l (q = l / 30) and at rounding level from 1e-9 min(l, q) down, while the
// elliptic form, exact in its complements, stays within 3.3e-16 down to |d| = 1e-14 l. So the
// band is where the expansion is at least as accurate (and cheaper); inside the old absolute
// band of 1e-5 it was already off by 2e-11 at |d| = 1e-6 (l = 3, q = 0.1), and next to the lens,
// where d / l is not small, it failed altogether.
inline constexpr double THROUGH_LENS_BAND = 1e-9;

// The circle has radius r and its centre lies at distance l from the lens, both in stellar
// radii; re and rstar (one common unit) give the Einstein radius q = re / rstar in stellar
// radii. Fails with the status of the elliptic routine that failed (NaN arguments, l and r of
// opposite signs); a negative q, or l and r both negative, give NaN. Pure; any thread.
Result<double> heyrovsky_magnification(double l, double r, double re, double rstar) noexcept;

}  // namespace vellomir
