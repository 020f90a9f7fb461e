#pragma once
// Magnification of a point-mass lens for a source of any radial brightness profile, to a given
// relative tolerance: the far-field mean-value series where its truncation bound allows, the
// profile's sub-disk integral otherwise.

#include <optional>

#include "models/radial_profile.hpp"
#include "models/subdisk_profile.hpp"

namespace vellomir {

// The tightest relative tolerance met everywhere (from the centre to the limb and the far
// field, rho from the smallest double to 1e300).
inline constexpr double PROFILE_MAGNIFICATION_RTOL_FLOOR = 1e-14;

struct ProfileMagnification {
    double value;
    double error_estimate;  // relative to value; 0 for the exact cases
    bool met_tolerance;     // false only where the adaptive rule reached its cap
};

// u: lens-source separation, rho: source radius, both in Einstein radii; the sign of u is
// ignored and rho = 0 is the point source. rtol in [PROFILE_MAGNIFICATION_RTOL_FLOOR, 1e-2]
// (checked by the caller). `stack` is SubdiskProfile(profile), built once per call.
// `allow_series = false` takes the sub-disk integral everywhere (to compare the two routes).
// NaN in gives NaN; so does a sub-disk whose elliptic integrals fail. Any thread; allocates only
// when a thread first needs more scratch.
ProfileMagnification profile_magnification(double u, double rho, const RadialProfile& profile,
                                           const SubdiskProfile& stack, double rtol, bool allow_series = true);

// The value alone, building the sub-disk form for this one call (for single values and tests; a
// map builds it once).
double profile_magnification(double u, double rho, const RadialProfile& profile, double rtol,
                             bool allow_series = true);

// The cheap cases alone (NaN, rho = 0, infinite u, and the series where its bound allows):
// nothing where the sub-disk integral would be needed. profile_magnification begins with it.
std::optional<double> profile_magnification_without_rings(double u, double rho, const RadialProfile& profile,
                                                          double rtol) noexcept;

}  // namespace vellomir
