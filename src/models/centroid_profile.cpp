// delta = int I (A_c s_x - A u) d^2s / int I A d^2s over a star of radial intensity I. With the
// star as a stack of uniform sub-disks of radius rho r (subdisk_profile.hpp), both integrals are
// sub-disk sums of uniform-disk quantities: the magnification A(u, rho r) for the denominator
// and A delta = disk_weighted_centroid_shift(u, rho r) for the numerator. One adaptive
// integration (subdisk_integral.hpp) takes both from the same sub-disks, each on its batched
// vector path, and the shift is their quotient.
// Error: the magnification within rtol of itself and the numerator within rtol of max(|A delta|,
// tau A), each by the integrator's |K - G| estimate of its lower-order rule, which lies far above
// the error of the result returned (the references at rtol 1e-4 .. 1e-12 check the quotient
// against rtol max(|delta|, tau)).
// Stars below 2^-400 Einstein radii are computed at 2^-400 and scaled, as for the magnification:
// A delta is a function of u / rho alone there, A rho too, and a power of two is exact.

#include "models/centroid_profile.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "models/centroid.hpp"
#include "models/centroid_batch.hpp"
#include "models/centroid_series.hpp"
#include "models/subdisk_integral.hpp"
#include "models/witt_mao_batch.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr int SMALLEST_DIRECT_EXPONENT = -400;

// The sub-disk's magnification and weighted shift; quantity q of radius i at out[q n + i].
struct DiskCentroidKernel {
    static constexpr std::size_t quantities = 2;
    double floor;  // tau

    void operator()(double u, std::span<const double> radii, std::span<double> out) const noexcept {
        const std::size_t n = radii.size();
        witt_mao_magnification_radii_batch(u, radii, out.subspan(0, n));
        disk_weighted_centroid_shift_radii_batch(u, radii, out.subspan(n, n));
    }

    std::array<double, 2> error_scales(const std::array<double, 2>& v) const noexcept {
        return {std::fabs(v[0]), std::max(std::fabs(v[1]), floor * std::fabs(v[0]))};
    }
};

}  // namespace

Outcome<CentroidProfile> CentroidProfile::of_law(LimbDarkeningLaw law, std::span<const double> coefficients) {
    Outcome<RadialProfile> profile = RadialProfile::of_law(law, coefficients);
    if (!profile.ok()) return Outcome<CentroidProfile>::failure(profile.message());
    return Outcome<CentroidProfile>::success(CentroidProfile(profile.value()));
}

double CentroidProfile::error_floor(double u, double rho) noexcept {
    const double x = std::max(u, rho);
    return x <= 1.0 ? x / (10.0 * (x * x + 2.0)) : 1.0 / (10.0 * (x + 2.0 / x));
}

std::optional<double> CentroidProfile::shift_without_integral(double u, double rho, double rtol) const noexcept {
    if (std::isnan(u) || std::isnan(rho)) return NOT_A_NUMBER;
    const double distance = std::fabs(u);
    if (rho == 0.0) return uniform_centroid_shift(distance, 0.0);
    if (distance == 0.0 || std::isinf(distance) || std::isinf(rho)) return 0.0;
    if (distance > rho && profile_.moments_decrease()) {
        const CentroidSeriesSum series = centroid_mean_value_series(distance, rho, profile_.moments());
        if (series.truncation_bound < rtol * 0.1) return series.weighted_shift / series.magnification;
    }
    return std::nullopt;
}

ProfileCentroid CentroidProfile::shift(double u, double rho, double rtol) const {
    if (const std::optional<double> cheap = shift_without_integral(u, rho, rtol)) return {*cheap, 0.0, true};
    double distance = std::fabs(u);
    int shift = 0;
    if (std::ilogb(rho) < SMALLEST_DIRECT_EXPONENT) {
        shift = SMALLEST_DIRECT_EXPONENT - std::ilogb(rho);
        const double scaled = std::ldexp(distance, shift);
        if (std::isinf(scaled)) return {uniform_centroid_shift(distance, 0.0), 0.0, true};  // u / rho beyond 2^1400
        distance = scaled;
        rho = std::ldexp(rho, shift);
    }
    const double floor = error_floor(distance, rho);
    const SubdiskIntegral<2> integral = integrate_over_subdisks(DiskCentroidKernel{floor}, stack_, distance, rho, rtol);
    const double magnification = integral.value[0];
    const double weighted = integral.value[1];
    if (std::isnan(magnification) || std::isnan(weighted)) return {NOT_A_NUMBER, 0.0, true};
    const double estimate = std::max(integral.error[0] / std::fabs(magnification),
                                     integral.error[1] / std::max(std::fabs(weighted), floor * std::fabs(magnification)));
    return {std::ldexp(weighted / magnification, -shift), estimate, integral.converged};
}

}  // namespace vellomir
