// Each law rewritten as a sum of powers of mu:
//   linear       1 - a(1 - mu)                       = (1 - a) + a mu
//   quadratic    1 - a(1 - mu) - b(1 - mu)^2          = (1 - a - b) + (a + 2b) mu - b mu^2
//   square-root  1 - c(1 - mu) - d(1 - sqrt(mu))      = (1 - c - d) + c mu + d mu^(1/2)
//   logarithmic  1 - c(1 - mu) - d mu ln(mu)          = (1 - c) + c mu - d mu ln(mu)
//   power-2      1 - c(1 - mu^alpha)                  = (1 - c) + c mu^alpha
//   claret       1 - sum_k a_k (1 - mu^(k/2))         = (1 - sum a_k) + sum_k a_k mu^(k/2)

#include "models/limb_darkening_law.hpp"

#include <array>
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
    IntensityMinimum lowest{1.0, power_sum_intensity(sum, 1.0)};
    const auto consider = [&](double mu) {
        const double value = power_sum_intensity(sum, mu);
        if (value < lowest.intensity || std::isnan(value)) lowest = {mu, value};
    };
    consider(0.0);
    if (sum.log_coefficient != 0.0) {
        // c0 + c1 mu + L mu ln(mu) (the logarithmic law): I' = c1 + L (ln(mu) + 1) vanishes once.
        double c1 = 0.0;
        for (std::size_t i = 0; i < sum.count; ++i) {
            if (sum.terms[i].power == 1.0) c1 += sum.terms[i].coefficient;
        }
        const double critical = std::exp(-c1 / sum.log_coefficient - 1.0);
        if (0.0 < critical && critical < 1.0) consider(critical);
        return lowest;
    }
    // A polynomial in t = sqrt(mu) when every power is a multiple of 1/2 (up to 4): its minima are
    // where P'(t) changes sign from - to +, found among 64 intervals and bisected.
    std::array<double, 9> a{};  // P(t) = sum a_k t^k
    bool polynomial = true;
    for (std::size_t i = 0; i < sum.count; ++i) {
        const double twice = 2.0 * sum.terms[i].power;
        if (twice == std::floor(twice) && twice >= 0.0 && twice <= 8.0) {
            a[static_cast<std::size_t>(twice)] += sum.terms[i].coefficient;
        } else {
            polynomial = false;
        }
    }
    if (!polynomial) {
        // A constant and one other power (power-2) is monotone in mu: the ends decide.
        return lowest;
    }
    const auto slope = [&a](double t) {
        double value = 0.0;
        for (std::size_t k = a.size() - 1; k >= 1; --k) value = value * t + static_cast<double>(k) * a[k];
        return value;
    };
    constexpr int INTERVALS = 64;
    double previous = slope(0.0);
    for (int j = 1; j <= INTERVALS; ++j) {
        double hi = static_cast<double>(j) / INTERVALS;
        const double next = slope(hi);
        if (previous < 0.0 && next >= 0.0) {
            double lo = static_cast<double>(j - 1) / INTERVALS;
            for (int step = 0; step < 60; ++step) {
                const double middle = 0.5 * (lo + hi);
                (slope(middle) < 0.0 ? lo : hi) = middle;
            }
            consider(hi * hi);
        }
        previous = next;
    }
    return lowest;
}

}  // namespace vellomir
