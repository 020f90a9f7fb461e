#pragma once
// Near-lens derivatives through the sub-disk integrator (subdisk_integral.hpp): dA/du and
// dA/drho as the profile's integrals of the uniform disk's derivatives, and a law's dA/dc_k from
// the magnifications of its power terms mu^p alone.

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "models/intensity_basis.hpp"
#include "models/radial_profile.hpp"
#include "models/subdisk_profile.hpp"

namespace vellomir {

struct SubdiskGradient {
    std::array<double, 2> slopes;  // dA/du, dA/drho
    bool met_tolerance;            // false where the adaptive rule reached its cap
    double error_estimate;         // the larger error estimate relative to its scale
};

// (dA/du, dA/drho) at u >= 0, rho > 0 (finite) for the profile of `stack`, each to 10 rtol of
// max(|derivative|, A / x); `value` is the profile's magnification A there.
SubdiskGradient subdisk_gradient(double u, double rho, double value, const SubdiskProfile& stack, double rtol);

// The profiles mu^p for the powers p > 0 of a law's coefficient derivatives (power-2's c mu^p with
// c = 1), built once per call: with them dA/dc_k = sum_t c_t F_t (A_t - A) / F over the terms
// c_t mu^(p_t) of dI/dc_k (F_t, A_t the flux and magnification of mu^(p_t); the uniform disk for
// p = 0). None for a law whose derivatives hold a logarithm (logarithmic, power-2's exponent).
class PowerTermProfiles {
public:
    static std::optional<PowerTermProfiles> of(const LawGradientBasis& basis);

    struct CoefficientGradient {
        std::array<double, MAX_LAW_COEFFICIENTS> d_coefficient;
        bool met_tolerance;     // false where a term's adaptive rule reached its cap
        double error_estimate;  // the largest of the terms' relative error estimates
    };

    // dA/dc_k at u >= 0, rho > 0 (finite) for k < basis.coefficients, the profile having
    // magnification `value` and flux `flux` there.
    CoefficientGradient coefficient_gradient(double u, double rho, double value, double flux,
                                             const LawGradientBasis& basis, double rtol) const;

private:
    struct Term {
        double power;
        RadialProfile profile;
        SubdiskProfile stack;
    };
    std::vector<Term> terms_;
};

}  // namespace vellomir
