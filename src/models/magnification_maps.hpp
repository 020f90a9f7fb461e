#pragma once
// Magnification maps over arrays, as the NumPy face computes them: out[i] = A(u[i], rho[i or 0])
// for the uniform disk (Witt & Mao) and for any radial profile (profile_magnification.hpp).
// Every element is computed on its own, so the results are the same bits for any number of
// workers and whether the map runs on the calling thread or on the pool.
//
// A map of a few cheap elements runs on the calling thread: waking the pool costs tens of
// microseconds, more than the work. Anything else is handed to a PoolLauncher
// (parallel/pool_launcher.hpp).

#include <cstddef>
#include <span>

#include "models/radial_profile.hpp"
#include "parallel/pool_launcher.hpp"

namespace vellomir {

// At most this many cheap elements run on the calling thread.
inline constexpr std::size_t INLINE_CHEAP_ELEMENTS = 32;

// The uniform-disk magnification of one element, the NumPy face's rule: NaN in u or rho gives
// NaN, an infinite u gives 1, else witt_mao_magnification_scaled(|u|, rho). Pure; any thread.
double uniform_disk_magnification(double u, double rho) noexcept;

// out[i] = uniform_disk_magnification(u[i], rho[rho.size() == 1 ? 0 : i]). About one radius the
// batched kernel runs over blocks of whole SIMD batches (bit for bit the same). `rho` holds one
// value or u.size(); `out` holds u.size() (std::invalid_argument otherwise).
void uniform_disk_magnification_map(std::span<const double> u, std::span<const double> rho,
                                    std::span<double> out, PoolLauncher& launcher);

// The elements whose adaptive integral reached its cap before rtol, and the largest relative error
// estimate among them (0 when none).
struct MissedTolerance {
    std::size_t elements = 0;
    double worst_estimate = 0.0;
};

// out[i] = profile_magnification(u[i], rho[...], profile, rtol, !ring_only).value. A few elements
// that all avoid the sub-disk integral run on the calling thread; otherwise the pool computes
// them all.
MissedTolerance profile_magnification_map(std::span<const double> u, std::span<const double> rho, const RadialProfile& profile,
                               double rtol, bool ring_only, std::span<double> out, PoolLauncher& launcher);

}  // namespace vellomir
