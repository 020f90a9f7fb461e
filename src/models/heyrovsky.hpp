#pragma once
// Magnification of a thin ring of the source by a point-mass lens: the point-lens
// magnification averaged over a circle (Heyrovsky 2003, ApJ 594, 464).

#include "models/outcome.hpp"

namespace vellomir {

// The circle has radius r and its centre lies at distance l from the lens, both in stellar
// radii; re and rstar (one common unit) give the Einstein radius q = re / rstar in stellar
// radii. Fails with the message of the elliptic routine that failed (NaN arguments, l and r of
// opposite signs); a negative q, or l and r both negative, give NaN. Pure; any thread.
Outcome<double> heyrovsky_magnification(double l, double r, double re, double rstar) noexcept;

}  // namespace vellomir
