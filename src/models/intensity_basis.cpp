// Each law and its coefficient derivatives (limb_darkening_law.cpp has the laws as power sums):
//   linear       I = (1 - a) + a mu                         dI/da = mu - 1
//   quadratic    I = (1 - a - b) + (a + 2b) mu - b mu^2     dI/da = mu - 1, dI/db = 2 mu - mu^2 - 1
//   square-root  I = (1 - c - d) + c mu + d mu^(1/2)        dI/dc = mu - 1, dI/dd = mu^(1/2) - 1
//   logarithmic  I = (1 - c) + c mu - d mu ln(mu)           dI/dc = mu - 1, dI/dd = -mu ln(mu)
//   power-2      I = (1 - c) + c mu^alpha                   dI/dc = mu^alpha - 1, dI/dalpha = c mu^alpha ln(mu)
//   claret       I = (1 - sum a_k) + sum a_k mu^(k/2)       dI/da_k = mu^(k/2) - 1
// Moments: int mu^p r^(2k) 2r dr = B(a, k+1), a = p/2 + 1, and the logarithmic term is half its
// derivative in a, -(1/2) B(a, k+1) sum_{j<=k} 1/(a + j) (as radial_profile.cpp).

#include "models/intensity_basis.hpp"

#include <cmath>

namespace vellomir {
namespace {

void add(IntensitySum& sum, double coefficient, double power, bool logarithmic = false) noexcept {
    sum.terms[sum.count++] = IntensityTerm{coefficient, power, logarithmic};
}

// mu^e for the exponents the laws produce, exactly where they are simple.
double power_of(double mu, double e) noexcept {
    if (e == 0.0) return 1.0;
    if (e == 1.0) return mu;
    if (e == -1.0) return 1.0 / mu;
    if (e == 0.5) return std::sqrt(mu);
    if (e == -0.5) return 1.0 / std::sqrt(mu);
    return std::pow(mu, e);
}

}  // namespace

double IntensitySum::at_limb() const noexcept {
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (terms[i].power == 0.0 && !terms[i].logarithmic) sum += terms[i].coefficient;
    }
    return sum;
}

double IntensitySum::slope_over_mu(double mu) const noexcept {
    // d(mu^p)/dmu / mu = p mu^(p-2); d(mu^p ln mu)/dmu / mu = mu^(p-2) (p ln mu + 1).
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const IntensityTerm& t = terms[i];
        if (t.logarithmic) {
            sum += t.coefficient * (power_of(mu, t.power - 2.0) * (t.power * std::log(mu) + 1.0));
        } else if (t.power != 0.0) {
            sum += t.coefficient * (t.power * power_of(mu, t.power - 2.0));
        }
    }
    return sum;
}

double IntensitySum::slope_in_root(double v) const noexcept {
    // 2 v d(mu^p)/dmu = 2 p v^(2p - 1); 2 v d(mu^p ln mu)/dmu = 2 v^(2p - 1) (2 p ln v + 1).
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const IntensityTerm& t = terms[i];
        const double e = 2.0 * t.power - 1.0;
        if (t.logarithmic) {
            sum += t.coefficient * (2.0 * power_of(v, e) * (2.0 * t.power * std::log(v) + 1.0));
        } else if (t.power != 0.0) {
            sum += t.coefficient * (2.0 * t.power * power_of(v, e));
        }
    }
    return sum;
}

std::array<double, POINT_LENS_SERIES_MAX_TERMS> IntensitySum::raw_moments() const noexcept {
    std::array<double, POINT_LENS_SERIES_MAX_TERMS> raw{};
    for (std::size_t i = 0; i < count; ++i) {
        const IntensityTerm& t = terms[i];
        const double a = t.power * 0.5 + 1.0;
        double beta = 1.0 / a, harmonic = 0.0;
        for (std::size_t k = 0; k < raw.size(); ++k) {
            const double kd = static_cast<double>(k);
            if (k > 0) beta = beta * kd / (a + kd);
            harmonic += 1.0 / (a + kd);
            raw[k] += t.coefficient * (t.logarithmic ? -0.5 * beta * harmonic : beta);
        }
    }
    return raw;
}

LawGradientBasis law_gradient_basis(LimbDarkeningLaw law, std::span<const double> c) noexcept {
    LawGradientBasis basis;
    const PowerSumIntensity powers = power_sum_of_law(law, c);
    for (std::size_t i = 0; i < powers.count; ++i) add(basis.intensity, powers.terms[i].coefficient, powers.terms[i].power);
    if (powers.log_coefficient != 0.0) add(basis.intensity, powers.log_coefficient, 1.0, true);
    basis.coefficients = limb_darkening_coefficient_count(law);
    auto& d = basis.d_coefficient;
    switch (law) {
        case LimbDarkeningLaw::linear:
        case LimbDarkeningLaw::quadratic:
        case LimbDarkeningLaw::square_root:
        case LimbDarkeningLaw::logarithmic:
            add(d[0], -1.0, 0.0);
            add(d[0], 1.0, 1.0);
            if (law == LimbDarkeningLaw::quadratic) {
                add(d[1], -1.0, 0.0);
                add(d[1], 2.0, 1.0);
                add(d[1], -1.0, 2.0);
            } else if (law == LimbDarkeningLaw::square_root) {
                add(d[1], -1.0, 0.0);
                add(d[1], 1.0, 0.5);
            } else if (law == LimbDarkeningLaw::logarithmic) {
                add(d[1], -1.0, 1.0, true);
            }
            break;
        case LimbDarkeningLaw::power_2:
            add(d[0], -1.0, 0.0);
            add(d[0], 1.0, c[1]);
            add(d[1], c[0], c[1], true);
            break;
        case LimbDarkeningLaw::claret:
            for (std::size_t k = 0; k < 4; ++k) {
                add(d[k], -1.0, 0.0);
                add(d[k], 1.0, 0.5 * static_cast<double>(k + 1));
            }
            break;
    }
    const auto raw = basis.intensity.raw_moments();
    for (std::size_t k = 0; k < basis.coefficients; ++k) {
        const auto d_raw = basis.d_coefficient[k].raw_moments();
        for (std::size_t j = 1; j < raw.size(); ++j) {
            basis.d_moment[k][j] = (d_raw[j] - (raw[j] / raw[0]) * d_raw[0]) / raw[0];
        }
    }
    return basis;
}

}  // namespace vellomir
