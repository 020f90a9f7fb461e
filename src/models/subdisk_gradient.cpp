// The kernel of dA/du, dA/drho for integrate_over_subdisks: per sub-disk of radius R = rho r,
// dA_d/du(u, R) and r dA_d/drho(u, R) (d/drho A_d(u, rho r) = r dA_d/dR), which the integrator
// weights as it weights A_d for the value (the atoms m_j r_j^2 and int w r^2 dr, over F).
// Coefficients: F A = int I d(r^2 A_d) (the atoms and the weights of I), so
// F dA/dc = int dI/dc d(r^2 A_d) - A dF/dc: the same kernel values weighted by dI/dc's weights
// (SubdiskProfile(dI/dc, stack), a weight set of the integrator), less A times dI/dc's flux.

#include "models/subdisk_gradient.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "models/profile_magnification.hpp"
#include "models/subdisk_integral.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_derivatives.hpp"

namespace vellomir {
namespace {

struct DiskGradientKernel {
    static constexpr std::size_t quantities = 2;
    double rho;
    std::array<double, 2> floor;  // A / u and A / rho: the scales where a derivative crosses zero

    void operator()(double u, std::span<const double> radii, std::span<double> out) const noexcept {
        const std::size_t n = radii.size();
        std::array<DiskGradient, DERIVATIVES_BATCH> g;
        for (std::size_t begin = 0; begin < n; begin += DERIVATIVES_BATCH) {
            const std::size_t count = std::min(DERIVATIVES_BATCH, n - begin);
            witt_mao_derivatives_batch(std::span<const double>(&u, 1), radii.subspan(begin, count),
                                       std::span<DiskGradient>(g.data(), count));
            for (std::size_t i = 0; i < count; ++i) {
                // A point rounded onto the rim through the lens (R = u) has a weight far below
                // what it could change; an atom there is handled by subdisk_gradient.
                const bool on_rim = std::isinf(g[i].d_u) || std::isinf(g[i].d_rho);
                out[begin + i] = on_rim ? 0.0 : g[i].d_u;
                out[n + begin + i] = on_rim ? 0.0 : (radii[begin + i] / rho) * g[i].d_rho;
            }
        }
    }

    std::array<double, 2> error_scales(const std::array<double, 2>& values) const {
        return {std::max(std::fabs(values[0]), floor[0]), std::max(std::fabs(values[1]), floor[1])};
    }
};

// The derivatives' tolerance as a multiple of the value's.
constexpr double DERIVATIVE_RTOL_FACTOR = 10.0;

// The largest error estimate relative to the scale the integrator measured it against (its
// sums before they are divided by the flux).
template <class Kernel>
double relative_error(const Kernel& kernel, const SubdiskIntegral<Kernel::quantities>& integral, double flux) {
    std::array<double, Kernel::quantities> totals;
    for (std::size_t q = 0; q < totals.size(); ++q) totals[q] = integral.value[q] * flux;
    const std::array<double, Kernel::quantities> scale = kernel.error_scales(totals);
    double worst = 0.0;
    for (std::size_t q = 0; q < totals.size(); ++q) worst = std::max(worst, integral.error[q] * std::fabs(flux) / scale[q]);
    return worst;
}

}  // namespace

SubdiskGradient subdisk_gradient(double u, double rho, double value, const SubdiskProfile& stack, double rtol) {
    // An intensity jump on the ring through the lens (the limb at u = rho, a table's step):
    // the logarithmic infinity of the uniform disk's rim, of the jump's sign.
    for (const SubdiskAtom& atom : stack.atoms()) {
        if (atom.mass != 0.0 && atom.radius * rho == u) {
            constexpr double infinity = std::numeric_limits<double>::infinity();
            return {{atom.mass > 0.0 ? -infinity : infinity, atom.mass > 0.0 ? infinity : -infinity}, true, 0.0};
        }
    }
    // Each derivative is owed to 10 rtol of its scale (the kernel's logarithmic singularity at
    // the lens costs the adaptive rule more points than the value's kink).
    const DiskGradientKernel kernel{rho, {value / u, value / rho}};
    const SubdiskIntegral<2> integral = integrate_over_subdisks(kernel, stack, u, rho, DERIVATIVE_RTOL_FACTOR * rtol);
    return {{u == 0.0 ? 0.0 : integral.value[0], integral.value[1]},
            integral.converged,
            relative_error(kernel, integral, stack.flux())};
}

std::optional<CoefficientProfiles> CoefficientProfiles::of(const LawGradientBasis& basis,
                                                           const SubdiskProfile& stack) {
    if (stack.limb_exponent() == 0 || basis.coefficients > MAX_LAW_COEFFICIENTS) return std::nullopt;
    CoefficientProfiles out;
    out.profiles_.reserve(basis.coefficients);
    for (std::size_t k = 0; k < basis.coefficients; ++k) {
        const IntensitySum& d = basis.d_coefficient[k];
        for (std::size_t t = 0; t < d.count; ++t) {
            // A logarithm, or a half power in the coordinate of a law of whole powers (its weight
            // would be singular at the limb there), takes the tanh-sinh route.
            const double p = d.terms[t].power;
            if (d.terms[t].logarithmic || (stack.limb_exponent() == 2 && p != std::floor(p))) return std::nullopt;
        }
        out.profiles_.emplace_back(d, stack);
    }
    for (std::size_t k = 0; k < out.profiles_.size(); ++k) out.pointers_[k] = &out.profiles_[k];
    return out;
}

namespace {

// The kernel of law_subdisk_gradient: DiskGradientKernel's two quantities, then per coefficient
// the disk's magnification, weighted by dI/dc_k (weight set k + 1).
struct LawGradientKernel {
    static constexpr std::size_t quantities = 2 + MAX_LAW_COEFFICIENTS;
    double rho;
    double value;  // the law's A
    double flux;   // the law's F
    std::array<double, 2> floor;
    std::span<const SubdiskProfile* const> coefficients;
    int order;  // of the map that clusters the points at the lens

    void operator()(double u, std::span<const double> radii, std::span<double> out) const noexcept {
        const std::size_t n = radii.size();
        const std::span<double> slope_u = out.subspan(0, n), slope_rho = out.subspan(n, n), disk = out.subspan(2 * n, n);
        witt_mao_derivatives_batch(std::span<const double>(&u, 1), radii, disk, slope_u, slope_rho);
        for (std::size_t i = 0; i < n; ++i) {
            // As DiskGradientKernel: a point rounded onto the rim through the lens counts for nothing.
            const bool on_rim = std::isinf(slope_u[i]) || std::isinf(slope_rho[i]);
            slope_u[i] = on_rim ? 0.0 : slope_u[i];
            slope_rho[i] = on_rim ? 0.0 : (radii[i] / rho) * slope_rho[i];
        }
        for (std::size_t k = 1; k < MAX_LAW_COEFFICIENTS; ++k) {
            const std::span<double> column = out.subspan((2 + k) * n, n);
            if (k < coefficients.size()) {
                std::copy(disk.begin(), disk.end(), column.begin());
            } else {
                std::fill(column.begin(), column.end(), 0.0);
            }
        }
        if (coefficients.empty()) std::fill(disk.begin(), disk.end(), 0.0);
    }

    // Raw sums (times F): dA/du and dA/drho against their floors A / u and A / rho as
    // DiskGradientKernel; F dA/dc_k = sum_k - A F_k against max(|F dA/dc_k|, A F).
    std::array<double, quantities> error_scales(const std::array<double, quantities>& values) const {
        std::array<double, quantities> s{};
        s[0] = std::max(std::fabs(values[0]), floor[0]);
        s[1] = std::max(std::fabs(values[1]), floor[1]);
        for (std::size_t k = 0; k < MAX_LAW_COEFFICIENTS; ++k) {
            s[2 + k] = k < coefficients.size()
                           ? std::max(std::fabs(values[2 + k] - value * coefficients[k]->flux()), value * flux)
                           : 1.0;
        }
        return s;
    }

    std::span<const SubdiskProfile* const> weight_profiles() const noexcept { return coefficients; }
    int cluster_order() const noexcept { return order; }
    std::size_t weight_set(std::size_t q) const noexcept { return q >= 2 && q - 2 < coefficients.size() ? q - 1 : 0; }
};

}  // namespace

LawSubdiskGradient law_subdisk_gradient(double u, double rho, double value, const SubdiskProfile& stack,
                                        const CoefficientProfiles& coefficients, double rtol) {
    const std::span<const SubdiskProfile* const> profiles = coefficients.profiles();
    // The derivatives' logarithm at the lens wants higher orders than the value's kink inside the
    // star, and below rtol = 1e-9 the fifth-power map: the choices that needed the fewest points
    // on a crossing (quadratic and Claret laws, rho = 0.01, the lens from the centre to 1.5 rho).
    const double tolerance = DERIVATIVE_RTOL_FACTOR * rtol;
    const LawGradientKernel kernel{rho, value, stack.flux(), {value / u, value / rho}, profiles, rtol < 1e-9 ? 5 : 3};
    const SubdiskIntegral<LawGradientKernel::quantities> integral =
        rtol >= 1e-4   ? subdisk_detail::integrate<5>(kernel, stack, u, rho, tolerance)
        : rtol >= 1e-7 ? subdisk_detail::integrate<7>(kernel, stack, u, rho, tolerance)
        : u >= rho     ? subdisk_detail::integrate<10>(kernel, stack, u, rho, tolerance)
                       : subdisk_detail::integrate<15>(kernel, stack, u, rho, tolerance);
    LawSubdiskGradient out{u == 0.0 ? 0.0 : integral.value[0], integral.value[1], {}, integral.converged, integral.evaluations,
                           relative_error(kernel, integral, stack.flux())};
    // The values are over the law's flux F: dA/dc_k = sum_k / F - A F_k / F.
    for (std::size_t k = 0; k < profiles.size(); ++k) {
        out.d_coefficient[k] = integral.value[2 + k] - value * (profiles[k]->flux() / stack.flux());
    }
    // The law's limb on the lens: the rim's logarithmic infinity (as subdisk_gradient).
    for (const SubdiskAtom& atom : stack.atoms()) {
        if (atom.mass != 0.0 && atom.radius * rho == u) {
            constexpr double infinity = std::numeric_limits<double>::infinity();
            out.d_u = atom.mass > 0.0 ? -infinity : infinity;
            out.d_rho = atom.mass > 0.0 ? infinity : -infinity;
        }
    }
    return out;
}

}  // namespace vellomir
