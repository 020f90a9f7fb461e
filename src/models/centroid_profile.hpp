#pragma once
// Centroid shift of a limb-darkened star lensed by a point mass, to a given tolerance: the star as
// a stack of uniform sub-disks (subdisk_integral.hpp), integrating the sub-disk's magnification
// and magnification-weighted shift (centroid.hpp) together; the mean-value series far from the
// lens.

#include <optional>
#include <span>

#include "models/limb_darkening_law.hpp"
#include "models/outcome.hpp"
#include "models/radial_profile.hpp"
#include "models/subdisk_profile.hpp"

namespace vellomir {

struct ProfileCentroid {
    double value;
    double error_estimate;  // relative to max(|value|, tau) (see CentroidProfile::shift); 0 when exact
    bool met_tolerance;     // false only where the adaptive rule reached its cap
};

class CentroidProfile {
public:
    // Fails as RadialProfile::of_law does. `coefficients` holds limb_darkening_coefficient_count(law)
    // values.
    static Outcome<CentroidProfile> of_law(LimbDarkeningLaw law, std::span<const double> coefficients);

    const RadialProfile& profile() const noexcept { return profile_; }

    // delta(u, rho) = C_x - u along the lens-source axis (positive away from the lens), u and rho
    // in Einstein radii, the sign of u ignored (the caller applies the oddness). The error is at
    // most rtol max(|delta|, tau), tau = x / (10 (x^2 + 2)) with x = max(u, rho), the tenth of the
    // point-source shift at the star's edge: relative except next to the centre and where the
    // shift changes sign. rtol in [1e-14, 1e-2]; NaN in gives NaN. Any thread.
    ProfileCentroid shift(double u, double rho, double rtol) const;

    // The cheap cases alone (NaN, rho = 0, u = 0 or infinite, the series where its bound allows).
    std::optional<double> shift_without_integral(double u, double rho, double rtol) const noexcept;

    // The error floor tau of shift().
    static double error_floor(double u, double rho) noexcept;

    // An empty profile: only what a failed construction carries.
    CentroidProfile() : stack_(profile_) {}

private:
    explicit CentroidProfile(RadialProfile profile) : profile_(std::move(profile)), stack_(profile_) {}

    RadialProfile profile_;
    SubdiskProfile stack_;
};

}  // namespace vellomir
