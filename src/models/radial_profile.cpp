// Radial moments in closed form.
// Law: with t = mu^2 = 1 - r^2, int_0^1 mu^p r^(2k) 2r dr = int_0^1 t^(a-1) (1-t)^k dt = B(a, k+1)
// with a = p/2 + 1, and B(a, k+1) = k! / (a (a+1) ... (a+k)). The logarithmic term is its
// derivative in a: int mu ln(mu) r^(2k) 2r dr = (1/2) dB/da at a = 3/2
// = -(1/2) B(3/2, k+1) sum_{j<=k} 1/(a+j).
// Table: on a segment [x0, x0 + h] with end values y0, y1 and r = x0 + h s,
//   int I r^m dr = h sum_j C(m,j) x0^(m-j) h^j (y0 / ((j+1)(j+2)) + y1 / (j+2)),
// a sum of terms of one sign for non-negative y: no cancellation however narrow the segment.

#include "models/radial_profile.hpp"

#include <cmath>
#include <limits>

namespace vellomir {
namespace {

constexpr std::size_t TERMS = POINT_LENS_SERIES_MAX_TERMS;
using Raw = std::array<double, TERMS>;

// B(a, k+1) for k < TERMS, or NaN everywhere for a <= 0 (a divergent flux).
Raw beta_column(double a) noexcept {
    Raw beta{};
    double b = a > 0.0 ? 1.0 / a : std::numeric_limits<double>::quiet_NaN();
    for (std::size_t k = 0; k < TERMS; ++k) {
        if (k > 0) b = b * static_cast<double>(k) / (a + static_cast<double>(k));
        beta[k] = b;
    }
    return beta;
}

// int_x0^(x0+h) ((1-s) y0 + s y1) 2 r^(2k+1) dr for every k < TERMS.
void add_segment_moments(double x0, double h, double y0, double y1, Raw& raw) noexcept {
    for (std::size_t k = 0; k < TERMS; ++k) {
        const std::size_t m = 2 * k + 1;
        double binomial = 1.0;  // C(m, j)
        double sum = 0.0;
        for (std::size_t j = 0; j <= m; ++j) {
            const double jd = static_cast<double>(j);
            const double weight = y0 / ((jd + 1.0) * (jd + 2.0)) + y1 / (jd + 2.0);
            sum += binomial * std::pow(x0, static_cast<double>(m - j)) * std::pow(h, jd) * weight;
            binomial = binomial * static_cast<double>(m - j) / (jd + 1.0);
        }
        raw[k] += 2.0 * h * sum;
    }
}

}  // namespace

Outcome<RadialProfile> RadialProfile::finish(RadialProfile profile, const Raw& raw, std::string_view failure) {
    const double flux = raw[0];
    if (!(flux > 0.0) || !std::isfinite(flux)) return Outcome<RadialProfile>::failure(failure);
    profile.flux_ = flux;
    bool decreasing = true;
    double previous = 1.0;
    for (std::size_t k = 0; k < TERMS; ++k) {
        const double moment = k == 0 ? 1.0 : raw[k] / flux;
        profile.moments_[k] = moment;
        decreasing = decreasing && 0.0 <= moment && moment <= previous;
        previous = moment;
    }
    profile.moments_decrease_ = decreasing;
    return Outcome<RadialProfile>::success(std::move(profile));
}

Outcome<RadialProfile> RadialProfile::of_law(LimbDarkeningLaw law, std::span<const double> coefficients) {
    RadialProfile profile;
    profile.law_ = power_sum_of_law(law, coefficients);
    profile.pieces_.push_back(Piece{0.0, 1.0, 0.0, 0.0});
    Raw raw{};
    for (std::size_t i = 0; i < profile.law_.count; ++i) {
        const PowerTerm term = profile.law_.terms[i];
        const Raw beta = beta_column(term.power * 0.5 + 1.0);
        for (std::size_t k = 0; k < TERMS; ++k) raw[k] += term.coefficient * beta[k];
    }
    if (profile.law_.log_coefficient != 0.0) {
        const Raw beta = beta_column(1.5);
        double harmonic = 0.0;
        for (std::size_t k = 0; k < TERMS; ++k) {
            harmonic += 1.0 / (1.5 + static_cast<double>(k));
            raw[k] += profile.law_.log_coefficient * (-0.5 * beta[k] * harmonic);
        }
    }
    return finish(std::move(profile), raw, "coefficients give a profile whose total flux is not positive");
}

Outcome<RadialProfile> RadialProfile::of_table(std::span<const double> radius, std::span<const double> intensity) {
    RadialProfile profile;
    profile.is_table_ = true;
    double largest = 0.0;
    for (const double value : intensity) largest = std::fmax(largest, std::fabs(value));
    // Scaled by 2^-floor(log2 largest): exact for every value, subnormal ones included.
    const int exponent = largest > 0.0 && std::isfinite(largest) ? std::ilogb(largest) : 0;
    Raw raw{};
    for (std::size_t j = 0; j + 1 < radius.size(); ++j) {
        const double h = radius[j + 1] - radius[j];
        if (!(h > 0.0)) continue;  // a step adds no area
        const double y0 = std::ldexp(intensity[j], -exponent), y1 = std::ldexp(intensity[j + 1], -exponent);
        profile.pieces_.push_back(Piece{radius[j], radius[j + 1], y0, y1});
        add_segment_moments(radius[j], h, y0, y1, raw);
    }
    return finish(std::move(profile), raw, "intensity gives a profile whose total flux is not positive");
}

double RadialProfile::law_intensity(double r) const noexcept {
    const double mu2 = 1.0 - r * r;
    const double mu = std::sqrt(mu2 > 0.0 ? mu2 : 0.0);
    double sum = 0.0;
    for (std::size_t i = 0; i < law_.count; ++i) {
        const PowerTerm term = law_.terms[i];
        const double power = term.power == 0.0   ? 1.0
                             : term.power == 1.0 ? mu
                             : term.power == 2.0 ? mu2
                                                 : std::pow(mu, term.power);
        sum += term.coefficient * power;
    }
    if (law_.log_coefficient != 0.0 && mu > 0.0) sum += law_.log_coefficient * (mu * std::log(mu));
    return sum;
}

}  // namespace vellomir
