#pragma once
// Magnification of a uniform stellar disk by a point-mass lens (Witt & Mao 1994, ApJ 430, 505),
// in complete elliptic integrals of the three kinds, with the point-source limit and the
// closed form for a lens on the rim of the disk.

#include <vector>

#include "parallel/worker_pool.hpp"

namespace vellomir {

// u: lens-source separation, rho: source radius, both in Einstein radii. A failure of an
// elliptic routine gives NaN. Pure; callable from any thread.
double witt_mao_magnification_scaled(double u, double rho) noexcept;

// One magnification per separation l[i] (in stellar radii; re and rstar share any unit),
// mapped over `pool` in input order.
std::vector<double> witt_mao_magnification(WorkerPool& pool, std::vector<double> l, double re, double rstar);

// The same on the process-wide pool.
std::vector<double> witt_mao_magnification(std::vector<double> l, double re, double rstar);

}  // namespace vellomir
