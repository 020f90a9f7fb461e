// Near the lens: the sub-disk integral (subdisk_integral.hpp) of the uniform-disk magnification.
// Error control: the integrator's summed Gauss-Kronrod estimate |K - G| within rtol of the value; the
// series where its truncation bound is below rtol / 2 (a bound, not an estimate).
// A star below 2^-400 Einstein radii is computed at 2^-400 and scaled: A(u, rho) rho is a
// function of u / rho alone up to relative terms of order rho^2 (the point-lens magnification is
// 1/x (1 + 3x^2/8 + ...)), and a power of two is exact; so the sub-disk radii rho r stay normal
// numbers however close rho is to the subnormal range.

#include "models/profile_magnification.hpp"

#include <cmath>
#include <limits>

#include "models/point_lens_series.hpp"
#include "models/subdisk_integral.hpp"
#include "models/subdisk_kernels.hpp"
#include "models/witt_mao.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr int SMALLEST_DIRECT_EXPONENT = -400;

ProfileMagnification exact(double value) { return {value, 0.0, true}; }

ProfileMagnification subdisk_magnification(double u, double rho, const SubdiskProfile& stack, double rtol) {
    int shift = 0;
    if (std::ilogb(rho) < SMALLEST_DIRECT_EXPONENT) {
        shift = SMALLEST_DIRECT_EXPONENT - std::ilogb(rho);
        const double scaled_u = std::ldexp(u, shift);
        if (std::isinf(scaled_u)) {
            shift = 0;  // u / rho beyond 2^1400: the point source to every digit
            return exact(witt_mao_magnification_scaled(u, 0.0));
        }
        u = scaled_u;
        rho = std::ldexp(rho, shift);
    }
    const SubdiskIntegral<1> integral = integrate_over_subdisks(UniformDiskMagnificationKernel{}, stack, u, rho, rtol);
    const double value = integral.value[0];
    if (std::isnan(value)) return {NOT_A_NUMBER, 0.0, true};
    return {std::ldexp(value, shift), integral.error[0] / std::fabs(value), integral.converged};
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
        if (series.truncation_bound < rtol * 0.5) return series.value;
    }
    return std::nullopt;
}

ProfileMagnification profile_magnification(double u, double rho, const RadialProfile& profile,
                                           const SubdiskProfile& stack, double rtol, bool allow_series) {
    if (allow_series) {
        if (const std::optional<double> cheap = profile_magnification_without_rings(u, rho, profile, rtol)) {
            return exact(*cheap);
        }
    } else {
        // The same trivial cases, without the series.
        if (std::isnan(u) || std::isnan(rho)) return exact(NOT_A_NUMBER);
        if (rho == 0.0) return exact(witt_mao_magnification_scaled(std::fabs(u), 0.0));
        if (std::isinf(u)) return exact(1.0);
    }
    if (std::isinf(rho)) return exact(1.0);
    return subdisk_magnification(std::fabs(u), rho, stack, rtol);
}

double profile_magnification(double u, double rho, const RadialProfile& profile, double rtol, bool allow_series) {
    return profile_magnification(u, rho, profile, SubdiskProfile(profile), rtol, allow_series).value;
}

}  // namespace vellomir
