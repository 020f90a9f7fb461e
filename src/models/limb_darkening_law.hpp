#pragma once
// The limb-darkening laws as sums of powers of mu = sqrt(1 - r^2) (r in stellar radii):
//     I(mu) = sum_i c_i mu^(p_i) + d mu ln(mu),
// a form whose radial moments have closed forms (see radial_profile.cpp).

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace vellomir {

enum class LimbDarkeningLaw { linear, quadratic, square_root, logarithmic, power_2, claret };

// The law called `name` ("linear", "quadratic", "square-root", "logarithmic", "power-2",
// "claret"), or nothing for any other text.
std::optional<LimbDarkeningLaw> limb_darkening_law_named(std::string_view name) noexcept;

// How many coefficients the law takes (1, 2, 2, 2, 2 and 4).
std::size_t limb_darkening_coefficient_count(LimbDarkeningLaw law) noexcept;

struct PowerTerm {
    double coefficient;
    double power;
};

// I(mu) = sum of terms[0..count) + log_coefficient * mu ln(mu).
struct PowerSumIntensity {
    std::array<PowerTerm, 5> terms{};
    std::size_t count = 0;
    double log_coefficient = 0.0;
};

// The law with the given coefficients (exactly limb_darkening_coefficient_count(law) of them,
// which the caller has checked) as a sum of powers of mu.
PowerSumIntensity power_sum_of_law(LimbDarkeningLaw law, std::span<const double> coefficients) noexcept;

// I(mu) of the sum at mu in [0, 1].
double power_sum_intensity(const PowerSumIntensity& sum, double mu) noexcept;

// Where the intensity is lowest, and its value there, over mu in [0, 1]: the ends, and the
// interior minima of each law's form: for a polynomial in t = sqrt(mu) (powers that are
// multiples of 1/2) the sign changes of P'(t) among 64 intervals, bisected; for c0 + c1 mu +
// L mu ln(mu) its one critical point; a constant plus one power of mu is monotone. (A pair of
// turning points within 1/64 in t would be missed: a dip of depth below 2e-5 max|P''|.)
struct IntensityMinimum {
    double mu;
    double intensity;
};
IntensityMinimum power_sum_minimum(const PowerSumIntensity& sum) noexcept;

}  // namespace vellomir
