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

// (dA/du, dA/drho) at u >= 0, rho > 0 (finite) for the profile of `stack`, each to rtol of
// max(|derivative|, A / x); `value` is the profile's magnification A there.
std::array<double, 2> subdisk_gradient(double u, double rho, double value, const SubdiskProfile& stack, double rtol);

// The profiles mu^p for the powers p > 0 of a law's coefficient derivatives (power-2's c mu^p with
// c = 1), built once per call: with them dA/dc_k = sum_t c_t F_t (A_t - A) / F over the terms
// c_t mu^(p_t) of dI/dc_k (F_t, A_t the flux and magnification of mu^(p_t); the uniform disk for
// p = 0). None for a law whose derivatives hold a logarithm (logarithmic, power-2's exponent).
class PowerTermProfiles {
public:
    static std::optional<PowerTermProfiles> of(const LawGradientBasis& basis);

    // dA/dc_k at u >= 0, rho > 0 (finite) for k < basis.coefficients, the profile having
    // magnification `value` and flux `flux` there.
    std::array<double, MAX_LAW_COEFFICIENTS> coefficient_gradient(double u, double rho, double value, double flux,
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
