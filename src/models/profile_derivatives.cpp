// Derivatives of A = int_0^1 I(r) 2r H(u, r rho) dr / F (F = int I 2r dr, H the ring's
// magnification), through the star as a stack of uniform disks: since d(r^2 A_d(u, r rho))/dr =
// 2r H(u, r rho) (A_d the uniform disk, witt_mao_derivatives.cpp), integration by parts gives
//   F A = I(1) A_d(u, rho) - int_0^1 I'(r) r^2 A_d(u, r rho) dr,
// and, differentiated under the integral (d/drho A_d(u, r rho) = r dA_d/drho),
//   F dA/du   = I(1) dA_d/du(u, rho)   - int I'(r) r^2 dA_d/du(u, r rho) dr,
//   F dA/drho = I(1) dA_d/drho(u, rho) - int I'(r) r^3 dA_d/drho(u, r rho) dr,
//   F dA/dc_k = int dI/dc_k 2r (H - A) dr
//             = dI/dc_k(1) (A_d(u, rho) - A) - int (dI/dc_k)'(r) r^2 (A_d(u, r rho) - A) dr
// (the flux's own derivative folded in through A). The disk kernel gives A_d and both of its
// derivatives at once. The integrands have a logarithmic singularity where the sub-disk's rim
// passes through the lens (r = u / rho), an end of a piece here, and the laws' slopes grow as
// mu^(p-2) r at the limb: on r > 1/2 the variable is v = sqrt(mu) (r = sqrt(1 - v^4), I'(r) dr =
// -2v dI/dmu dv), where they are at most v^(2p-1). A table's intensity is linear on each segment:
// its slope is constant there, and its jumps (steps, the outer edge) add boundary terms.
// Far from the lens, where the value is the mean-value series, the derivatives are that series'
// (point_lens_series_gradient.hpp), the coefficients' through the moments
//   dm_k/dc = (dM_k/dc - m_k dM_0/dc) / M_0.

#include "models/profile_derivatives.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "models/gradient_quadrature.hpp"
#include "models/point_lens_series_gradient.hpp"
#include "models/profile_magnification.hpp"
#include "models/witt_mao_derivatives.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

// Where the variable changes from r to v = sqrt(mu).
constexpr double ROOT_VARIABLE_FROM = 0.5;

// Components summed by the quadrature: d/du, d/drho, then the coefficients.
constexpr std::size_t COMPONENTS = 2 + MAX_LAW_COEFFICIENTS;
using Sums = std::array<double, COMPONENTS>;

ProfileGradient all_nan() noexcept {
    ProfileGradient g{NOT_A_NUMBER, NOT_A_NUMBER, NOT_A_NUMBER, {}};
    g.d_coefficient.fill(NOT_A_NUMBER);
    return g;
}

double sign_of(double u) noexcept { return std::signbit(u) ? -1.0 : 1.0; }

// The cases without integrals: NaN, rho = 0, infinite u or rho; nothing otherwise. The values
// are profile_magnification's.
std::optional<ProfileGradient> trivial(double u, double rho) noexcept {
    if (std::isnan(u) || std::isnan(rho)) return all_nan();
    const double distance = std::fabs(u);
    if (rho == 0.0) {
        const DiskGradient point = witt_mao_derivatives_scaled(distance, 0.0);
        return ProfileGradient{point.value, sign_of(u) * point.d_u, point.d_rho, {}};
    }
    if (std::isinf(distance) || std::isinf(rho)) return ProfileGradient{1.0, 0.0, 0.0, {}};
    return std::nullopt;
}

// Whether the series may serve at |u| = distance (after trivial()), and whether its bounds
// let it: the value's tail well below the value's rtol, the derivatives' below rtol.
bool series_may_serve(double distance, double rho, const RadialProfile& profile) noexcept {
    // The value's condition is profile_magnification's, so there the value is the series' too.
    return distance > rho && profile.moments_decrease();
}
bool series_serves(double value_truncation_bound, double truncation_bound, double rtol) noexcept {
    return value_truncation_bound < rtol * 0.1 && truncation_bound < rtol;
}

// The series' derivatives where the value is the series and their own tail is below rtol.
std::optional<SeriesGradient> far_series(double distance, double rho, const RadialProfile& profile, double rtol) noexcept {
    if (!series_may_serve(distance, rho, profile)) return std::nullopt;
    const SeriesGradient gradient = point_lens_mean_value_series_gradient(distance, rho, profile.moments());
    if (!series_serves(gradient.value_truncation_bound, gradient.truncation_bound, rtol)) return std::nullopt;
    return gradient;
}

// Skips a node that lands on the logarithmic singularity itself (an end of its piece rounded
// onto it): its weight is far below what it could change.
bool usable(const DiskGradient& d) noexcept { return !std::isinf(d.d_u) && !std::isinf(d.d_rho); }

struct Geometry {
    double distance, rho, value;
    double l;             // distance / rho
    double one_minus_l;   // 1 - l, from rho - distance
};

auto tolerance_for(double rtol, const Sums& boundary) {
    return [rtol, &boundary](std::size_t c, double l1) { return rtol * (l1 + std::fabs(boundary[c])); };
}

// The sub-disks of radius r rho for the nodes' radii, through the batched kernel.
void sub_disks(const Geometry& g, std::span<const double> r, std::span<DiskGradient> out) noexcept {
    std::array<double, QUADRATURE_CHUNK> radii;
    for (std::size_t i = 0; i < r.size(); ++i) radii[i] = r[i] * g.rho;
    witt_mao_derivatives_batch(std::span<const double>(&g.distance, 1), std::span<const double>(radii.data(), r.size()),
                               out);
}

// Where an integral falls short: the largest relative error estimate among them (0 if none did).
struct Shortfall {
    double worst = 0.0;
    bool any = false;

    void add(bool met, double estimate) noexcept {
        if (met) return;
        any = true;
        worst = std::max(worst, estimate);
    }
    void apply(ProfileGradient& g) const noexcept {
        g.met_tolerance = !any;
        g.error_estimate = worst;
    }
};

// The law's integrals over [0, 1]: r on [0, 1/2], v = sqrt(mu) beyond, each split at the lens.
void law_integrals(const Geometry& g, const LawGradientBasis& basis, double rtol, Sums& sums, Shortfall& shortfall) {
    const std::size_t coefficients = basis.coefficients;
    const Sums boundary = sums;
    const auto tolerance = tolerance_for(rtol, boundary);
    std::array<DiskGradient, QUADRATURE_CHUNK> disks;
    std::array<double, QUADRATURE_CHUNK> radius;
    // One node's integrands: the slope -I'(r) (times the coordinate's Jacobian) r^2 against the
    // disk's derivatives, and each dI/dc_k's slope r^2 against H - A.
    auto store = [&](Sums& values, const DiskGradient& d, double r, auto&& slopes) {
        values.fill(0.0);
        if (!usable(d)) return;
        const double r2 = r * r;
        const double slope = slopes(basis.intensity);
        values[0] = slope * r2 * d.d_u;
        values[1] = slope * (r2 * r) * d.d_rho;
        for (std::size_t k = 0; k < coefficients; ++k) {
            values[2 + k] = slopes(basis.d_coefficient[k]) * r2 * (d.value - g.value);
        }
    };
    auto in_r = [&](std::span<const double> r, std::span<Sums> out) {
        sub_disks(g, r, std::span<DiskGradient>(disks.data(), r.size()));
        for (std::size_t i = 0; i < r.size(); ++i) {
            const double ri = r[i];
            const double mu = std::sqrt((1.0 - ri) * (1.0 + ri));
            store(out[i], disks[i], ri, [&](const IntensitySum& intensity) { return ri * intensity.slope_over_mu(mu); });
        }
    };
    auto in_v = [&](std::span<const double> v, std::span<Sums> out) {
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double v2 = v[i] * v[i];
            radius[i] = std::sqrt((1.0 - v2) * (1.0 + v2));
        }
        sub_disks(g, std::span<const double>(radius.data(), v.size()), std::span<DiskGradient>(disks.data(), v.size()));
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double vi = v[i];
            store(out[i], disks[i], radius[i], [&](const IntensitySum& intensity) { return intensity.slope_in_root(vi); });
        }
    };
    // The tolerance is rtol (l1 + |boundary|), so a change over it is rtol times that ratio.
    auto account = [&](const VectorQuadratureResult& result) {
        shortfall.add(result.converged, result.change_over_tolerance * rtol);
    };
    const double v_end = std::sqrt(std::sqrt((1.0 - ROOT_VARIABLE_FROM) * (1.0 + ROOT_VARIABLE_FROM)));
    if (g.l > 0.0 && g.l < ROOT_VARIABLE_FROM) {
        account(integrate_vector(in_r, 0.0, g.l, sums, tolerance));
        account(integrate_vector(in_r, g.l, ROOT_VARIABLE_FROM, sums, tolerance));
    } else {
        account(integrate_vector(in_r, 0.0, ROOT_VARIABLE_FROM, sums, tolerance));
    }
    if (g.l > ROOT_VARIABLE_FROM && g.l < 1.0) {
        const double v_lens = std::sqrt(std::sqrt(g.one_minus_l * (1.0 + g.l)));
        account(integrate_vector(in_v, 0.0, v_lens, sums, tolerance));
        account(integrate_vector(in_v, v_lens, v_end, sums, tolerance));
    } else {
        account(integrate_vector(in_v, 0.0, v_end, sums, tolerance));
    }
}

// The error that rounding the sub-disk radii next to the lens leaves in dA/du and dA/drho when
// the lens is inside the star at 1 - l from the limb, for a law whose slope holds mu^(p-2) there
// (p the least power below 2 of its intensity): each radius carries a relative error of an ulp,
// which the kernel's logarithmic singularity at the lens weights with the slope there,
// (2 (1 - l))^((p - 2) / 2). Against tests/data/profile_derivative_references.txt the error is
// about half of this for p = 1/2; it cannot be integrated away, so it is reported where it
// exceeds rtol.
// With the lens on the limb of a dark-limbed star (the derivatives are finite only there) the
// slope's mu^(p-2) and the kernel's logarithm meet at the limb itself: the ring within an ulp
// of it, d = eps of the radius, which rounding cannot resolve, holds about
// d^(p/2) |ln d| of the derivative (5.4e-7 for p = 1, where 1.7-3.3e-7 is measured at any
// rtol below 1e-9, against the same references).
double rounding_floor(double distance, double rho, const IntensitySum& intensity) noexcept {
    if (!(distance <= rho)) return 0.0;
    double least = 2.0;
    for (std::size_t t = 0; t < intensity.count; ++t) {
        const IntensityTerm& term = intensity.terms[t];
        if (term.coefficient != 0.0 && term.power > 0.0) least = std::min(least, term.power);
    }
    if (!(least < 2.0)) return 0.0;
    constexpr double eps = std::numeric_limits<double>::epsilon();
    if (distance == rho) {
        return intensity.at_limb() == 0.0 ? std::pow(eps, 0.5 * least) * -std::log(eps) : 0.0;
    }
    const double one_minus_l = (rho - distance) / rho;
    return eps * std::pow(2.0 * one_minus_l, 0.5 * (least - 2.0));
}

Geometry geometry_of(double distance, double rho, double value) noexcept {
    return {distance, rho, value, distance / rho, (rho - distance) / rho};
}

}  // namespace

ProfileGradient law_magnification_gradient(double u, double rho, const RadialProfile& profile,
                                           const SubdiskProfile& stack, const CoefficientProfiles* coefficients,
                                           const LawGradientBasis& basis, double rtol) {
    if (const std::optional<ProfileGradient> simple = trivial(u, rho)) return *simple;
    const double distance = std::fabs(u);
    if (const std::optional<SeriesGradient> series = far_series(distance, rho, profile, rtol)) {
        ProfileGradient out{series->value, sign_of(u) * series->d_u, series->d_rho, {}};
        for (std::size_t k = 0; k < basis.coefficients; ++k) {
            double sum = 0.0;
            for (std::size_t j = series->terms; j-- > 1;) sum += series->d_moment[j] * basis.d_moment[k][j];
            out.d_coefficient[k] = sum;
        }
        return out;
    }

    const ProfileMagnification magnification = profile_magnification(u, rho, profile, stack, rtol);
    const double value = magnification.value;
    ProfileGradient out{value, 0.0, 0.0, {}};
    Shortfall shortfall;
    shortfall.add(magnification.met_tolerance, magnification.error_estimate);
    const double floor = rounding_floor(distance, rho, basis.intensity);
    shortfall.add(!(floor > rtol), floor);
    if (coefficients != nullptr) {
        const LawSubdiskGradient slopes = law_subdisk_gradient(distance, rho, value, stack, *coefficients, rtol);
        shortfall.add(slopes.converged, slopes.error_estimate);
        out.d_u = sign_of(u) * slopes.d_u;
        out.d_rho = slopes.d_rho;
        out.d_coefficient = slopes.d_coefficient;
        shortfall.apply(out);
        return out;
    }
    const Geometry g = geometry_of(distance, rho, value);
    // The boundary terms at the limb, then the integrals.
    Sums sums{};
    const double limb = basis.intensity.at_limb();
    const DiskGradient whole = witt_mao_derivatives_scaled(distance, rho);
    if (limb != 0.0) {
        sums[0] = limb * whole.d_u;
        sums[1] = limb * whole.d_rho;
    }
    for (std::size_t k = 0; k < basis.coefficients; ++k) {
        const double at_limb = basis.d_coefficient[k].at_limb();
        if (at_limb != 0.0) sums[2 + k] = at_limb * (whole.value - value);
    }
    law_integrals(g, basis, rtol, sums, shortfall);
    const double flux = profile.flux();
    out.d_u = distance == 0.0 ? 0.0 : sign_of(u) * (sums[0] / flux);
    out.d_rho = sums[1] / flux;
    for (std::size_t k = 0; k < basis.coefficients; ++k) out.d_coefficient[k] = sums[2 + k] / flux;
    shortfall.apply(out);
    return out;
}

std::size_t law_series_gradients(std::span<const double> u, std::span<const double> rho, const RadialProfile& profile,
                                 const LawGradientBasis& basis, double rtol, std::span<double> rows,
                                 std::span<bool> served) noexcept {
    const std::size_t n = u.size(), width = 3 + basis.coefficients;
    std::array<double, LAW_SERIES_BATCH> distance, radius, value, d_u, d_rho, bound, value_bound;
    std::array<std::array<double, LAW_SERIES_BATCH>, MAX_LAW_COEFFICIENTS> weighted;
    std::array<std::size_t, LAW_SERIES_BATCH> index;
    std::array<const double*, MAX_LAW_COEFFICIENTS> weights{};
    SeriesGradientColumns columns{value.data(), d_u.data(), d_rho.data(), bound.data(), value_bound.data(), {}};
    for (std::size_t k = 0; k < basis.coefficients; ++k) {
        weights[k] = basis.d_moment[k].data();
        columns.weighted[k] = weighted[k].data();
    }
    static_assert(MAX_LAW_COEFFICIENTS <= SERIES_GRADIENT_MAX_WEIGHTS);
    std::size_t count = 0, total = 0;
    std::fill(served.begin(), served.end(), false);
    if (profile.moments().empty()) return 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = rho.size() == 1 ? rho[0] : rho[i];
        const double x = std::fabs(u[i]);
        // trivial() takes NaN, rho = 0 and infinite arguments (and the scalar route all rho <= 0).
        if (std::isnan(u[i]) || !(r > 0.0) || std::isinf(x) || std::isinf(r)) continue;
        if (!series_may_serve(x, r, profile)) continue;
        distance[count] = x;
        radius[count] = r;
        index[count++] = i;
    }
    if (count == 0) return 0;
    point_lens_mean_value_series_gradient_batch(std::span<const double>(distance.data(), count),
                                                std::span<const double>(radius.data(), count), profile.moments(),
                                                std::span<const double* const>(weights.data(), basis.coefficients),
                                                columns);
    for (std::size_t j = 0; j < count; ++j) {
        if (!series_serves(value_bound[j], bound[j], rtol)) continue;
        const std::size_t i = index[j];
        const std::span<double> row = rows.subspan(i * width, width);
        row[0] = value[j];
        row[1] = sign_of(u[i]) * d_u[j];
        row[2] = d_rho[j];
        for (std::size_t k = 0; k < basis.coefficients; ++k) row[3 + k] = weighted[k][j];
        served[i] = true;
        ++total;
    }
    return total;
}

ProfileGradient table_magnification_gradient(double u, double rho, const RadialProfile& profile,
                                             const SubdiskProfile& stack, double rtol) {
    if (const std::optional<ProfileGradient> simple = trivial(u, rho)) return *simple;
    const double distance = std::fabs(u);
    if (const std::optional<SeriesGradient> series = far_series(distance, rho, profile, rtol)) {
        return ProfileGradient{series->value, sign_of(u) * series->d_u, series->d_rho, {}};
    }
    const ProfileMagnification magnification = profile_magnification(u, rho, profile, stack, rtol);
    const SubdiskGradient slopes = subdisk_gradient(distance, rho, magnification.value, stack, rtol);
    ProfileGradient out{magnification.value, sign_of(u) * slopes.slopes[0], slopes.slopes[1], {}};
    Shortfall shortfall;
    shortfall.add(magnification.met_tolerance, magnification.error_estimate);
    shortfall.add(slopes.met_tolerance, slopes.error_estimate);
    shortfall.apply(out);
    return out;
}

}  // namespace vellomir
