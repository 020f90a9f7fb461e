// Each law rewritten as a sum of powers of mu:
//   linear       1 - a(1 - mu)                       = (1 - a) + a mu
//   quadratic    1 - a(1 - mu) - b(1 - mu)^2          = (1 - a - b) + (a + 2b) mu - b mu^2
//   square-root  1 - c(1 - mu) - d(1 - sqrt(mu))      = (1 - c - d) + c mu + d mu^(1/2)
//   logarithmic  1 - c(1 - mu) - d mu ln(mu)          = (1 - c) + c mu - d mu ln(mu)
//   power-2      1 - c(1 - mu^alpha)                  = (1 - c) + c mu^alpha
//   claret       1 - sum_k a_k (1 - mu^(k/2))         = (1 - sum a_k) + sum_k a_k mu^(k/2)

#include "models/limb_darkening_law.hpp"

#include <cmath>

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

double power_sum_intensity(const PowerSumIntensity& sum, double mu) noexcept {
    double value = 0.0;
    for (std::size_t i = 0; i < sum.count; ++i) {
        const PowerTerm term = sum.terms[i];
        value += term.coefficient * (term.power == 0.0 ? 1.0 : std::pow(mu, term.power));
    }
    if (sum.log_coefficient != 0.0 && mu > 0.0) value += sum.log_coefficient * (mu * std::log(mu));
    return value;
}

IntensityMinimum power_sum_minimum(const PowerSumIntensity& sum) noexcept {
    constexpr int SAMPLES = 4096;
    auto at = [&sum](double t) { return power_sum_intensity(sum, t * t); };
    int best = 0;
    double best_value = at(0.0);
    for (int k = 1; k <= SAMPLES; ++k) {
        const double value = at(static_cast<double>(k) / SAMPLES);
        if (value < best_value) {
            best_value = value;
            best = k;
        }
    }
    // Golden-section search on [t_(k-1), t_(k+1)], keeping the best point seen.
    double a = static_cast<double>(best > 0 ? best - 1 : 0) / SAMPLES;
    double b = static_cast<double>(best < SAMPLES ? best + 1 : SAMPLES) / SAMPLES;
    double best_t = static_cast<double>(best) / SAMPLES;
    constexpr double GOLDEN = 0.6180339887498949;
    for (int step = 0; step < 60; ++step) {
        const double c = b - GOLDEN * (b - a), d = a + GOLDEN * (b - a);
        const double fc = at(c), fd = at(d);
        if (fc < best_value) best_value = fc, best_t = c;
        if (fd < best_value) best_value = fd, best_t = d;
        if (fc < fd) b = d; else a = c;
    }
    return {best_t * best_t, best_value};
}

}  // namespace vellomir
