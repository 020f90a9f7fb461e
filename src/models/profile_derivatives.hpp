#pragma once
// Derivatives of the magnification of a radially symmetric star (profile_magnification.hpp)
// with respect to the separation u, the source radius rho and a law's coefficients.

#include <array>
#include <cstddef>
#include <span>

#include "models/intensity_basis.hpp"
#include "models/radial_profile.hpp"
#include "models/subdisk_gradient.hpp"
#include "models/subdisk_profile.hpp"

namespace vellomir {

struct ProfileGradient {
    double value;  // profile_magnification(u, rho, profile, rtol), bit for bit
    double d_u;
    double d_rho;
    std::array<double, MAX_LAW_COEFFICIENTS> d_coefficient;  // laws only; zero for a table
    // False where an adaptive integral (the value's or a derivative's) reached its cap short of
    // its tolerance; error_estimate is then the largest relative error estimate among them.
    bool met_tolerance = true;
    double error_estimate = 0.0;
};

// For a law: `profile` is RadialProfile::of_law, `stack` SubdiskProfile(profile) and
// `coefficients` CoefficientProfiles::of(basis, stack) (built once per call; nullptr where there
// is none), `basis` law_gradient_basis of the same law and coefficients. Near the lens all the
// derivatives come from one sub-disk integral (law_subdisk_gradient) where `coefficients` is
// given, else from a tanh-sinh rule over the sub-disks. Each derivative to about rtol of its scale (max(|derivative|, A / x)). u's
// sign is kept (dA/du is odd in u). At u = rho dA/du and dA/drho are infinite where the
// intensity at the limb is not zero, finite where it is. NaN in gives NaN. Any thread.
ProfileGradient law_magnification_gradient(double u, double rho, const RadialProfile& profile,
                                           const SubdiskProfile& stack, const CoefficientProfiles* coefficients,
                                           const LawGradientBasis& basis, double rtol);

// Elements law_series_gradients takes at once.
inline constexpr std::size_t LAW_SERIES_BATCH = 16;

// The rows law_magnification_gradient gives from the far-field series, several elements at a
// time in SIMD registers, bit for bit: row i (3 + basis.coefficients values from
// rows[i * width]) for each i whose derivatives are the series', served[i] saying which (the
// others are left for law_magnification_gradient). u.size() <= LAW_SERIES_BATCH; rho holds one
// value or u.size(). Returns the number served. Any thread.
std::size_t law_series_gradients(std::span<const double> u, std::span<const double> rho, const RadialProfile& profile,
                                 const LawGradientBasis& basis, double rtol, std::span<double> rows,
                                 std::span<bool> served) noexcept;

// The same for a table (RadialProfile::of_table): d_u and d_rho.
ProfileGradient table_magnification_gradient(double u, double rho, const RadialProfile& profile,
                                             const SubdiskProfile& stack, double rtol);

}  // namespace vellomir
