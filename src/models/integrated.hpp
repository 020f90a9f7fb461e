#pragma once
// Magnification of a limb-darkened star: the uniform-disk (Witt & Mao 1994) or ring
// (Heyrovsky 2003) magnification integrated over the stellar radius with the tanh-sinh rule
// (Takahasi & Mori 1974), one separation per element of a parallel map.

#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "models/heyrovsky.hpp"
#include "models/heyrovsky_batch.hpp"
#include "models/model_constants.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/worker_pool.hpp"
#include "quadrature/double_exponential.hpp"
#include "quadrature/double_exponential_batch.hpp"

namespace vellomir {

// Brightness-weighted area of the limb-darkened star, the divisor of both integrated
// functions. This literal, not the double nearest 0.8 pi (2.5132741228718345).
inline constexpr double LIMB_DARKENED_NORM = 2.5132741228717936;

// Linear limb-darkening law I(r) = 1 - 0.6 (1 - sqrt(1 - r^2)), r in stellar radii.
inline double limb_darkening_profile(double r) noexcept { return 1.0 + (1.0 - std::sqrt(1.0 - r * r)) * -0.6; }

// One limb-darkened magnification per separation l[i] (stellar radii), mapped over `pool` in
// input order; each element is computed alone, so the results do not depend on the pool's size.
// A NaN or negative separation, or a NaN or negative source radius (re and rstar of opposite
// signs), gives NaN; -0.0 counts as +0.0.
std::vector<double> integrated_witt_mao_magnification(WorkerPool& pool, std::vector<double> l, double re,
                                                      double rstar);
std::vector<double> integrated_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l, double re,
                                                       double rstar);

// The same on the process-wide pool.
std::vector<double> integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar);
std::vector<double> integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar);

// The Einstein radius in stellar radii, q = re / rstar, or NaN where it is NaN or negative; -0.0
// becomes +0.0. The ring kernel is then called with (q, 1), which gives it the same q.
inline double einstein_radius_in_stellar_radii(double re, double rstar) noexcept {
    const double q = re / rstar;
    return q >= 0.0 ? q + 0.0 : std::numeric_limits<double>::quiet_NaN();
}

// Ring-flux integral F = int_0^1 I(r) * 2 pi r * H(l, r) dr over a star of brightness profile
// I, divided by `norm`. H is evaluated once per abscissa; where it fails the sample is NaN,
// which the quadrature counts as 0. Where no abscissa gives a finite H nothing was integrated
// at all, and the element is NaN rather than a magnification of 0.
//
// When 0 < l < 1 the ring r = l passes through the lens and H has a logarithmic singularity
// there. Inside the interval it costs the tanh-sinh rule about three digits (3.6e-3 relative at
// l = 0.3), so [0, l] and [l, 1] are integrated separately and the singularity sits at an
// endpoint, where the rule's double-exponential node clustering absorbs it.
template <class Profile>
double limb_darkened_ring_flux(double l, double q, double norm, const Profile& profile) {
    if (!(l >= 0.0)) return std::numeric_limits<double>::quiet_NaN();
    l += 0.0;
    // Where the ring kernel has no finite arguments, the values the sub-disk form gives. The
    // separation in Einstein radii, u = l rho with rho = 1 / q, is inf * 0 = NaN for l = inf with
    // q = inf and for l = 0 with q = 0. Otherwise a star of no extent (rstar = 0, q = inf) is a
    // point source on the lens, +inf; a lens at infinite distance or of no Einstein radius
    // (q = 0) leaves every ring unmagnified: the limit of the finite separations, taken at the
    // largest one.
    if (std::isinf(q) ? std::isinf(l) : (q == 0.0 && l == 0.0)) return std::numeric_limits<double>::quiet_NaN();
    if (std::isinf(q)) return q;
    if (std::isinf(l) || q == 0.0) {
        l = std::numeric_limits<double>::max();
        q = 1.0;
    }
    bool any_ring = false;
    // The rings of one level of the rule at a time, through the batched kernel.
    auto ring_flux = [&](std::span<const double> r, std::span<double> values) {
        heyrovsky_magnification_batch(l, r, q, 1.0, values);
        for (std::size_t i = 0; i < r.size(); ++i) {
            const double h = values[i];  // NaN where the kernel fails
            any_ring = any_ring || std::isfinite(h);
            values[i] = profile(r[i]) * ((TWO_PI * r[i]) * h);
        }
    };
    double flux;
    if (0.0 < l && l < 1.0) {
        flux = integrate_batched(ring_flux, 0.0, l, RADIAL_QUADRATURE_TARGET).integral +
               integrate_batched(ring_flux, l, 1.0, RADIAL_QUADRATURE_TARGET).integral;
    } else {
        flux = integrate_batched(ring_flux, 0.0, 1.0, RADIAL_QUADRATURE_TARGET).integral;
    }
    return any_ring ? flux / norm : std::numeric_limits<double>::quiet_NaN();
}

// limb_darkened_ring_flux for every separation, mapped over `pool` in input order.
template <class Profile>
std::vector<double> _integrated_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l, double re,
                                                        double rstar, double norm, const Profile& profile) {
    const double q = einstein_radius_in_stellar_radii(re, rstar);
    // The results overwrite the owned input: no allocation.
    parallel_map_into(pool, std::span<const double>(l), std::span<double>(l),
                      [q, norm, &profile](double lc) { return limb_darkened_ring_flux(lc, q, norm, profile); },
                      ElementCost::uneven);
    return l;
}

template <class Profile>
std::vector<double> _integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar, double norm,
                                                        const Profile& profile) {
    return _integrated_heyrovsky_magnification(WorkerPool::global(), std::move(l), re, rstar, norm, profile);
}

}  // namespace vellomir
