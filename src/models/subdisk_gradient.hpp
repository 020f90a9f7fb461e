#pragma once
// Near-lens derivatives through the sub-disk integrator (subdisk_integral.hpp): dA/du and
// dA/drho as the profile's integrals of the uniform disk's derivatives, and with them a law's
// dA/dc_k as the integrals of the disk's magnification weighted by dI/dc_k, at the same points.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "models/intensity_basis.hpp"
#include "models/radial_profile.hpp"
#include "models/subdisk_profile.hpp"

namespace vellomir {

// (dA/du, dA/drho) at u >= 0, rho > 0 (finite) for the profile of `stack`, each to rtol of
// max(|derivative|, A / x); `value` is the profile's magnification A there.
std::array<double, 2> subdisk_gradient(double u, double rho, double value, const SubdiskProfile& stack, double rtol);

// The intensities dI/dc_k of a law's coefficients as sub-disk profiles in the law's own
// coordinate (SubdiskProfile(sum, stack)), built once per call. None for a law whose derivatives
// hold a logarithm (logarithmic, power-2's exponent) or whose coordinate is power-2's free one.
class CoefficientProfiles {
public:
    static std::optional<CoefficientProfiles> of(const LawGradientBasis& basis, const SubdiskProfile& stack);

    std::span<const SubdiskProfile* const> profiles() const noexcept { return {pointers_.data(), profiles_.size()}; }

    CoefficientProfiles(const CoefficientProfiles&) = delete;
    CoefficientProfiles(CoefficientProfiles&&) = default;

private:
    CoefficientProfiles() = default;
    std::vector<SubdiskProfile> profiles_;
    std::array<const SubdiskProfile*, MAX_LAW_COEFFICIENTS> pointers_{};
};

struct LawSubdiskGradient {
    double d_u, d_rho;
    std::array<double, MAX_LAW_COEFFICIENTS> d_coefficient;
    bool converged;  // every derivative within its tolerance
    unsigned evaluations;  // kernel values computed
};

// dA/du, dA/drho and dA/dc_k at u >= 0, rho > 0 (finite) for the law of `stack`, from one
// integral of the uniform disk's value and derivatives over its sub-disks: the first two as
// subdisk_gradient, dA/dc_k = (int dI/dc_k d(r^2 A_d) - A F_k) / F (F_k the flux of dI/dc_k, the
// flux's derivative folded in through A), each to 10 rtol of max(|dA/dc_k|, A). `value` is the
// law's magnification A there.
LawSubdiskGradient law_subdisk_gradient(double u, double rho, double value, const SubdiskProfile& stack,
                                        const CoefficientProfiles& coefficients, double rtol);

}  // namespace vellomir
