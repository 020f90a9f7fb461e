// Radial profiles: each law's intensity against its defining formula, and the closed-form
// moments of laws and tables against tanh-sinh quadrature of the intensity (good to about
// 1e-14, hence the tolerances; a naive segment formula would lose 1e-4 on the narrow step).

#include "models/radial_profile.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "quadrature/double_exponential.hpp"

namespace vellomir {
namespace {

struct LawCase {
    LimbDarkeningLaw law;
    std::vector<double> c;
    std::function<double(double mu, const std::vector<double>& c)> formula;
};

std::vector<LawCase> law_cases() {
    return {
        {LimbDarkeningLaw::linear, {0.6}, [](double mu, auto& c) { return 1 - c[0] * (1 - mu); }},
        {LimbDarkeningLaw::quadratic, {0.4, 0.25},
         [](double mu, auto& c) { return 1 - c[0] * (1 - mu) - c[1] * (1 - mu) * (1 - mu); }},
        {LimbDarkeningLaw::square_root, {0.3, 0.4},
         [](double mu, auto& c) { return 1 - c[0] * (1 - mu) - c[1] * (1 - std::sqrt(mu)); }},
        {LimbDarkeningLaw::logarithmic, {0.6, 0.2},
         [](double mu, auto& c) { return 1 - c[0] * (1 - mu) - (mu > 0 ? c[1] * mu * std::log(mu) : 0.0); }},
        {LimbDarkeningLaw::power_2, {0.6, 0.7}, [](double mu, auto& c) { return 1 - c[0] * (1 - std::pow(mu, c[1])); }},
        {LimbDarkeningLaw::claret, {0.7, -0.6, 0.9, -0.3},
         [](double mu, auto& c) {
             double sum = 1;
             for (int k = 1; k <= 4; ++k) sum -= c[k - 1] * (1 - std::pow(mu, k / 2.0));
             return sum;
         }},
    };
}

// int_a^b f(r) r^(2k) 2r dr for every k, by quadrature.
template <class F>
std::vector<double> quadrature_moments(F f, double a, double b) {
    std::vector<double> raw;
    for (std::size_t k = 0; k < POINT_LENS_SERIES_MAX_TERMS; ++k) {
        raw.push_back(integrate([&](double r) { return f(r) * std::pow(r, 2.0 * k) * 2 * r; }, a, b, 1e-17).integral);
    }
    return raw;
}

TEST(RadialProfile, LawsFollowTheirFormulasAndMoments) {
    for (const LawCase& c : law_cases()) {
        const Result<RadialProfile> profile = RadialProfile::of_law(c.law, c.c);
        ASSERT_TRUE(profile.ok());
        for (double r : {0.0, 0.3, 0.7, 0.99, 0.999999, 1.0}) {
            const double mu = std::sqrt(1 - r * r);
            EXPECT_NEAR(profile.value().law_intensity(r), c.formula(mu, c.c), 1e-15) << static_cast<int>(c.law) << " " << r;
        }
        const std::vector<double> raw =
            quadrature_moments([&](double r) { return c.formula(std::sqrt(1 - r * r), c.c); }, 0.0, 1.0);
        EXPECT_NEAR(profile.value().flux(), raw[0], 5e-14 * raw[0]);
        for (std::size_t k = 0; k < raw.size(); ++k) {
            EXPECT_NEAR(profile.value().moments()[k], raw[k] / raw[0], 1e-13) << static_cast<int>(c.law) << " k " << k;
        }
        EXPECT_TRUE(profile.value().moments_decrease());
    }
}

TEST(RadialProfile, TableMomentsAreExactEvenForANarrowStep) {
    const std::vector<double> radius = {0.0, 0.4, 0.6, 0.6 + 1e-12, 1.0};
    const std::vector<double> intensity = {1.0, 0.7, 0.9, 0.2, 0.1};
    const Result<RadialProfile> profile = RadialProfile::of_table(radius, intensity);
    ASSERT_TRUE(profile.ok());
    std::vector<double> raw(POINT_LENS_SERIES_MAX_TERMS, 0.0);
    for (std::size_t j = 0; j + 1 < radius.size(); ++j) {
        const double slope = (intensity[j + 1] - intensity[j]) / (radius[j + 1] - radius[j]);
        const std::vector<double> part = quadrature_moments(
            [&](double r) { return intensity[j] + slope * (r - radius[j]); }, radius[j], radius[j + 1]);
        for (std::size_t k = 0; k < raw.size(); ++k) raw[k] += part[k];
    }
    EXPECT_NEAR(profile.value().flux(), raw[0], 5e-14);
    for (std::size_t k = 0; k < raw.size(); ++k) EXPECT_NEAR(profile.value().moments()[k], raw[k] / raw[0], 5e-14);
    EXPECT_EQ(profile.value().pieces().size(), 4u);
}

TEST(RadialProfile, NonPositiveFluxFails) {
    const std::vector<double> too_dark = {4.0};
    EXPECT_FALSE(RadialProfile::of_law(LimbDarkeningLaw::linear, too_dark).ok());
    const std::vector<double> divergent = {0.5, -2.0};
    EXPECT_FALSE(RadialProfile::of_law(LimbDarkeningLaw::power_2, divergent).ok());
    const std::vector<double> radius = {0.2, 0.2}, intensity = {1.0, 1.0};
    EXPECT_FALSE(RadialProfile::of_table(radius, intensity).ok());
}

}  // namespace
}  // namespace vellomir
