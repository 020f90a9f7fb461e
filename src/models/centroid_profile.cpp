// delta = int I (A_c s_x - A u) d^2s / int I A d^2s over a star of radial intensity I(r), r in
// stellar radii. Written as a stack of uniform sub-disks of radius R = rho r,
//   I(r) = I(1) + int_r^1 (-dI/dr') dr',
// and with mu = sqrt(1 - r^2), in which the laws are sums of powers (limb_darkening_law.hpp),
//   int I f d^2s / (pi rho^2) = I(1) W(rho) + int_0^1 (dI/dmu) (1 - mu^2) W(rho sqrt(1 - mu^2)) dmu,
// W(R) the mean of f over the sub-disk. For the numerator W = disk_weighted_centroid_shift
// (A delta of the sub-disk), for the denominator W = A and the integral is the star's flux F
// times its magnification. The mu form keeps the mu^(p-1) of the laws at an endpoint, where
// the tanh-sinh rule takes it; the sub-disk whose rim passes through the lens (R = u, where W
// has a d ln|d| kink) is the other split point.
// Error: the numerator integral to 0.5 rtol tau F A, the magnification to rtol / 2, so the
// quotient is within rtol max(|delta|, tau) (see the header).

#include "models/centroid_profile.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "models/centroid.hpp"
#include "models/centroid_batch.hpp"
#include "models/centroid_series.hpp"
#include "models/profile_magnification.hpp"
#include "quadrature/double_exponential_batch.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

double edge_scale(double u, double rho) noexcept {
    const double x = std::max(u, rho);
    return x <= 1.0 ? x / (10.0 * (x * x + 2.0)) : 1.0 / (10.0 * (x + 2.0 / x));
}

}  // namespace

Outcome<CentroidProfile> CentroidProfile::of_law(LimbDarkeningLaw law, std::span<const double> coefficients) {
    Outcome<RadialProfile> profile = RadialProfile::of_law(law, coefficients);
    if (!profile.ok()) return Outcome<CentroidProfile>::failure(profile.message());
    CentroidProfile result;
    result.profile_ = profile.value();
    result.law_ = power_sum_of_law(law, coefficients);
    for (std::size_t i = 0; i < result.law_.count; ++i) {
        if (result.law_.terms[i].power == 0.0) result.edge_intensity_ += result.law_.terms[i].coefficient;
    }
    return Outcome<CentroidProfile>::success(std::move(result));
}

double CentroidProfile::slope(double mu) const noexcept {
    double sum = 0.0;
    for (std::size_t i = 0; i < law_.count; ++i) {
        const PowerTerm term = law_.terms[i];
        if (term.power == 0.0) continue;
        const double power = term.power == 1.0 ? 1.0 : term.power == 2.0 ? mu : std::pow(mu, term.power - 1.0);
        sum += term.coefficient * term.power * power;
    }
    if (law_.log_coefficient != 0.0) sum += law_.log_coefficient * (std::log(mu) + 1.0);
    return sum;
}

std::optional<double> CentroidProfile::shift_without_integral(double u, double rho, double rtol) const noexcept {
    if (std::isnan(u) || std::isnan(rho)) return NOT_A_NUMBER;
    const double distance = std::fabs(u);
    if (rho == 0.0) return uniform_centroid_shift(distance, 0.0);
    if (distance == 0.0 || std::isinf(distance)) return 0.0;
    if (distance > rho && profile_.moments_decrease()) {
        const CentroidSeriesSum series = centroid_mean_value_series(distance, rho, profile_.moments());
        if (series.truncation_bound < rtol * 0.1) return series.weighted_shift / series.magnification;
    }
    return std::nullopt;
}

double CentroidProfile::shift(double u, double rho, double rtol) const noexcept {
    if (const std::optional<double> cheap = shift_without_integral(u, rho, rtol)) return *cheap;
    const double distance = std::fabs(u);
    const double magnification = profile_magnification(distance, rho, profile_, rtol * 0.5);
    const double scale = profile_.flux() * magnification;
    const double target = 0.5 * rtol * edge_scale(distance, rho) * scale;

    // The sub-disks of a level through the batched kernel (bit for bit the scalar one).
    bool failed = false;
    auto weighted = [&](std::span<const double> mu, std::span<double> values) {
        for (std::size_t i = 0; i < mu.size(); ++i) values[i] = rho * std::sqrt(1.0 - mu[i] * mu[i]);
        disk_weighted_centroid_shift_radii_batch(distance, values, values);
        for (std::size_t i = 0; i < mu.size(); ++i) {
            if (std::isnan(values[i])) failed = true;
            values[i] = mu[i] > 0.0 ? slope(mu[i]) * (1.0 - mu[i] * mu[i]) * values[i] : 0.0;
        }
    };
    double numerator = edge_intensity_ == 0.0 ? 0.0 : edge_intensity_ * disk_weighted_centroid_shift(distance, rho);
    const double l = distance / rho;
    if (l < 1.0) {
        const double mu_lens = std::sqrt((1.0 - l) * (1.0 + l));
        numerator += integrate_batched(weighted, 0.0, mu_lens, target * mu_lens).integral;
        numerator += integrate_batched(weighted, mu_lens, 1.0, target * (1.0 - mu_lens)).integral;
    } else {
        numerator += integrate_batched(weighted, 0.0, 1.0, target).integral;
    }
    if (failed || std::isnan(magnification)) return NOT_A_NUMBER;
    return numerator / scale;
}

}  // namespace vellomir
