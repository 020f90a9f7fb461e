// A = int_0^1 I(r) 2 pi r H(l, r) dr / (pi F) with l = u / rho (stellar radii), H the ring
// magnification (Heyrovsky 2003) for an Einstein radius of 1 / rho stellar radii, and F the
// profile's flux. The integral is split where the integrand is not smooth: at the ring through
// the lens (r = l, a logarithmic singularity) and at a table's radii (kinks and steps), so that
// every singularity sits at an endpoint of a tanh-sinh rule. The rings of each level of the rule
// are computed together by the batched kernel, bit for bit the scalar ones.
// Error control: the point-lens magnification is at least 1, so A >= 1 for a non-negative
// profile, and an absolute error of rtol * pi F on the integral is a relative error of at
// most rtol on A. It is shared among the pieces in proportion to their lengths.

#include "models/profile_magnification.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <span>

#include "models/heyrovsky_batch.hpp"
#include "models/model_constants.hpp"
#include "models/point_lens_series.hpp"
#include "models/witt_mao.hpp"
#include "quadrature/double_exponential_batch.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

struct RingIntegral {
    double sum = 0.0;
    bool failed = false;
};

template <class Intensity>
void integrate_rings(double l, double rho, double begin, double end, double error_per_radius,
                     const Intensity& intensity, RingIntegral& total) {
    // The rings of a level through the batched kernel, which gives NaN where a ring fails (and
    // for no ring that succeeds: l and r are finite and non-negative here).
    auto ring_flux = [&](std::span<const double> r, std::span<double> values) {
        heyrovsky_magnification_batch(l, r, 1.0, rho, values);
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (std::isnan(values[i])) {
                total.failed = true;
                values[i] = 0.0;
            } else {
                values[i] = intensity(r[i]) * ((TWO_PI * r[i]) * values[i]);
            }
        }
    };
    auto piece = [&](double a, double b) {
        total.sum += integrate_batched(ring_flux, a, b, error_per_radius * (b - a)).integral;
    };
    if (begin < l && l < end) {
        piece(begin, l);
        piece(l, end);
    } else {
        piece(begin, end);
    }
}

double ring_magnification(double u, double rho, const RadialProfile& profile, double rtol) noexcept {
    const double l = u / rho;
    const double error_per_radius = rtol * (PI * profile.flux());
    RingIntegral total;
    for (const RadialProfile::Piece& piece : profile.pieces()) {
        if (profile.is_table()) {
            const double slope = (piece.intensity_end - piece.intensity_begin) / (piece.end - piece.begin);
            auto linear = [&piece, slope](double r) { return piece.intensity_begin + slope * (r - piece.begin); };
            integrate_rings(l, rho, piece.begin, piece.end, error_per_radius, linear, total);
        } else {
            auto law = [&profile](double r) { return profile.law_intensity(r); };
            integrate_rings(l, rho, piece.begin, piece.end, error_per_radius, law, total);
        }
    }
    if (total.failed) return NOT_A_NUMBER;
    return total.sum / (PI * profile.flux());
}

}  // namespace

std::optional<double> profile_magnification_without_rings(double u, double rho, const RadialProfile& profile,
                                                          double rtol) noexcept {
    if (std::isnan(u) || std::isnan(rho)) return NOT_A_NUMBER;
    const double distance = std::fabs(u);
    if (rho == 0.0) return witt_mao_magnification_scaled(distance, 0.0);
    if (std::isinf(distance)) return 1.0;
    if (distance > rho && profile.moments_decrease()) {
        const SeriesSum series = point_lens_mean_value_series(distance, rho, profile.moments());
        if (series.truncation_bound < rtol * 0.1) return series.value;
    }
    return std::nullopt;
}

double profile_magnification(double u, double rho, const RadialProfile& profile, double rtol,
                             bool allow_series) noexcept {
    if (allow_series) {
        if (const std::optional<double> cheap = profile_magnification_without_rings(u, rho, profile, rtol)) {
            return *cheap;
        }
    } else {
        // The same trivial cases, without the series.
        if (std::isnan(u) || std::isnan(rho)) return NOT_A_NUMBER;
        if (rho == 0.0) return witt_mao_magnification_scaled(std::fabs(u), 0.0);
        if (std::isinf(u)) return 1.0;
    }
    return ring_magnification(std::fabs(u), rho, profile, rtol);
}

}  // namespace vellomir
