#pragma once
// Centroid-shift maps over arrays, as the NumPy face computes them: out[i] = delta(u[i],
// rho[i or 0]) for the uniform disk (centroid.hpp) and for a limb-darkening law
// (centroid_profile.hpp). Each element on its own: the same bits for any number of workers.

#include <span>

#include "models/centroid_profile.hpp"
#include "models/magnification_maps.hpp"
#include "parallel/pool_launcher.hpp"

namespace vellomir {

// The NumPy face's element rule: NaN in gives NaN; the shift is odd in u (its sign follows u's,
// +0.0 at u = +-0.0); an infinite u gives 0. Pure; any thread.
double uniform_centroid_shift_element(double u, double rho) noexcept;

// out[i] = uniform_centroid_shift_element(u[i], rho[rho.size() == 1 ? 0 : i]); `rho` holds one
// value or u.size(), `out` u.size() (std::invalid_argument otherwise).
void uniform_centroid_shift_map(std::span<const double> u, std::span<const double> rho, std::span<double> out,
                                PoolLauncher& launcher);

// out[i] = the law's shift at (u[i], rho[...]) to rtol, odd in u as above; the elements whose
// adaptive integral reached its cap are counted.
MissedTolerance profile_centroid_shift_map(std::span<const double> u, std::span<const double> rho,
                                const CentroidProfile& profile, double rtol, std::span<double> out,
                                PoolLauncher& launcher);

}  // namespace vellomir
