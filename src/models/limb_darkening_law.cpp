// Each law rewritten as a sum of powers of mu:
//   linear       1 - a(1 - mu)                       = (1 - a) + a mu
//   quadratic    1 - a(1 - mu) - b(1 - mu)^2          = (1 - a - b) + (a + 2b) mu - b mu^2
//   square-root  1 - c(1 - mu) - d(1 - sqrt(mu))      = (1 - c - d) + c mu + d mu^(1/2)
//   logarithmic  1 - c(1 - mu) - d mu ln(mu)          = (1 - c) + c mu - d mu ln(mu)
//   power-2      1 - c(1 - mu^alpha)                  = (1 - c) + c mu^alpha
//   claret       1 - sum_k a_k (1 - mu^(k/2))         = (1 - sum a_k) + sum_k a_k mu^(k/2)

#include "models/limb_darkening_law.hpp"

namespace vellomir {

std::optional<LimbDarkeningLaw> limb_darkening_law_named(std::string_view name) noexcept {
    if (name == "linear") return LimbDarkeningLaw::linear;
    if (name == "quadratic") return LimbDarkeningLaw::quadratic;
    if (name == "square-root") return LimbDarkeningLaw::square_root;
    if (name == "logarithmic") return LimbDarkeningLaw::logarithmic;
    if (name == "power-2") return LimbDarkeningLaw::power_2;
    if (name == "claret") return LimbDarkeningLaw::claret;
    return std::nullopt;
}

std::size_t limb_darkening_coefficient_count(LimbDarkeningLaw law) noexcept {
    switch (law) {
        case LimbDarkeningLaw::linear: return 1;
        case LimbDarkeningLaw::claret: return 4;
        default: return 2;
    }
}

PowerSumIntensity power_sum_of_law(LimbDarkeningLaw law, std::span<const double> c) noexcept {
    PowerSumIntensity sum;
    auto add = [&sum](double coefficient, double power) { sum.terms[sum.count++] = PowerTerm{coefficient, power}; };
    switch (law) {
        case LimbDarkeningLaw::linear:
            add(1.0 - c[0], 0.0);
            add(c[0], 1.0);
            break;
        case LimbDarkeningLaw::quadratic:
            add((1.0 - c[0]) - c[1], 0.0);
            add(c[0] + 2.0 * c[1], 1.0);
            add(-c[1], 2.0);
            break;
        case LimbDarkeningLaw::square_root:
            add((1.0 - c[0]) - c[1], 0.0);
            add(c[0], 1.0);
            add(c[1], 0.5);
            break;
        case LimbDarkeningLaw::logarithmic:
            add(1.0 - c[0], 0.0);
            add(c[0], 1.0);
            sum.log_coefficient = -c[1];
            break;
        case LimbDarkeningLaw::power_2:
            add(1.0 - c[0], 0.0);
            add(c[0], c[1]);
            break;
        case LimbDarkeningLaw::claret:
            add((((1.0 - c[0]) - c[1]) - c[2]) - c[3], 0.0);
            for (std::size_t k = 0; k < 4; ++k) add(c[k], 0.5 * static_cast<double>(k + 1));
            break;
    }
    return sum;
}

}  // namespace vellomir
