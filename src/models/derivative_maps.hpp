#pragma once
// Maps of magnifications with their derivatives over arrays, as the NumPy face computes them:
// row i of `out` (column i for the uniform disk) holds A, dA/du, dA/drho (and dA/dc_k for a law) at u[i], rho[i or 0]. Every
// element is computed on its own, so the results are the same bits for any number of workers.

#include <cstddef>
#include <span>

#include "models/intensity_basis.hpp"
#include "models/magnification_maps.hpp"
#include "models/radial_profile.hpp"
#include "models/witt_mao_derivatives.hpp"
#include "parallel/pool_launcher.hpp"

namespace vellomir {

// The uniform disk's element rule (as uniform_disk_magnification): NaN in u or rho gives NaN
// everywhere, an infinite u gives (1, 0, 0), else witt_mao_derivatives_scaled(|u|, rho) with
// dA/du odd in u. Pure; any thread.
DiskGradient uniform_disk_gradient(double u, double rho) noexcept;

// `out` holds 3 u.size() values, by column rather than by row: A at out[i], dA/du at
// out[n + i], dA/drho at out[2n + i] (n = u.size()), so that each is one contiguous array;
// `rho` one value or u.size() (std::invalid_argument otherwise).
void uniform_disk_gradient_map(std::span<const double> u, std::span<const double> rho, std::span<double> out,
                               PoolLauncher& launcher);

// `out` holds (3 + basis.coefficients) u.size() values. Returns the elements for which an
// adaptive integral (the value's or a derivative's) reached its cap short of its tolerance.
MissedTolerance law_gradient_map(std::span<const double> u, std::span<const double> rho, const RadialProfile& profile,
                                 const LawGradientBasis& basis, double rtol, std::span<double> out,
                                 PoolLauncher& launcher);

// A table's profile (RadialProfile::of_table); `out` holds 3 u.size() values. Returns as
// law_gradient_map.
MissedTolerance table_gradient_map(std::span<const double> u, std::span<const double> rho, const RadialProfile& profile,
                                   double rtol, std::span<double> out, PoolLauncher& launcher);

}  // namespace vellomir
