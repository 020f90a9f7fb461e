#pragma once
// Centroid shift of a limb-darkened star lensed by a point mass, to a given tolerance: the star as
// a stack of uniform sub-disks (centroid.hpp) weighted by the law's slope, over the star's
// magnification (profile_magnification.hpp); the mean-value series far from the lens.

#include <optional>
#include <span>

#include "models/limb_darkening_law.hpp"
#include "models/outcome.hpp"
#include "models/radial_profile.hpp"

namespace vellomir {

class CentroidProfile {
public:
    // Fails as RadialProfile::of_law does (no positive total flux). `coefficients` holds
    // limb_darkening_coefficient_count(law) values.
    static Outcome<CentroidProfile> of_law(LimbDarkeningLaw law, std::span<const double> coefficients);

    const RadialProfile& profile() const noexcept { return profile_; }

    // delta(u, rho) = C_x - u along the lens-source axis (positive away from the lens), u and rho
    // in Einstein radii, the sign of u ignored (the shift is odd in u: the caller applies it).
    // Error at most rtol max(|delta|, tau), tau = x / (10 (x^2 + 2)) with x = max(u, rho): relative
    // wherever the shift is not much smaller than the point-source shift at the star's edge.
    // rtol in [1e-14, 1e-2]; NaN in gives NaN. Pure; any thread.
    double shift(double u, double rho, double rtol) const noexcept;

    // The cheap cases alone (NaN, rho = 0, u = 0 or infinite, the series where its bound allows).
    std::optional<double> shift_without_integral(double u, double rho, double rtol) const noexcept;

    CentroidProfile() = default;

private:
    // dI/dmu at mu in (0, 1].
    double slope(double mu) const noexcept;

    RadialProfile profile_;
    PowerSumIntensity law_{};
    double edge_intensity_ = 0.0;  // I at mu = 0
};

}  // namespace vellomir
