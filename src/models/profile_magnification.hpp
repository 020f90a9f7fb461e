#pragma once
// Magnification of a point-mass lens for a source of any radial brightness profile, to a given
// relative tolerance: the far-field mean-value series where its truncation bound allows, the
// ring integral of the profile otherwise.

#include <optional>

#include "models/radial_profile.hpp"

namespace vellomir {

// u: lens-source separation, rho: source radius, both in Einstein radii; the sign of u is
// ignored and rho = 0 is the point source. rtol in [1e-14, 1e-2] (checked by the caller).
// `allow_series = false` takes the ring integral everywhere (to compare the two routes).
// NaN in gives NaN; so does a ring whose elliptic integrals fail. Pure; any thread.
double profile_magnification(double u, double rho, const RadialProfile& profile, double rtol,
                             bool allow_series = true) noexcept;

// The cheap cases alone (NaN, rho = 0, infinite u, and the series where its bound allows):
// nothing where the ring integral would be needed. profile_magnification begins with it.
std::optional<double> profile_magnification_without_rings(double u, double rho, const RadialProfile& profile,
                                                          double rtol) noexcept;

}  // namespace vellomir
