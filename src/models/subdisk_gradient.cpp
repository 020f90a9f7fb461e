// The kernel of dA/du, dA/drho for integrate_over_subdisks: per sub-disk of radius R = rho r,
// dA_d/du(u, R) and r dA_d/drho(u, R) (d/drho A_d(u, rho r) = r dA_d/dR), which the integrator
// weights as it weights A_d for the value (the atoms m_j r_j^2 and int w r^2 dr, over F).
// Coefficients: A = sum_i w_i F_i A_i / F for I = sum_i w_i mu^(p_i), so
// dA/dc = sum_i (dw_i/dc) F_i (A_i - A) / F, the flux's derivative folded in through A.

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

// The flux of mu^p: int_0^1 mu^p 2r dr = 1 / (p/2 + 1).
double power_flux(double p) noexcept { return 1.0 / (p * 0.5 + 1.0); }

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
    const std::array<double, 2> scale = kernel.error_scales(integral.value);
    const double estimate = std::max(integral.error[0] / scale[0], integral.error[1] / scale[1]);
    return {{u == 0.0 ? 0.0 : integral.value[0], integral.value[1]}, integral.converged, estimate};
}

std::optional<PowerTermProfiles> PowerTermProfiles::of(const LawGradientBasis& basis) {
    PowerTermProfiles out;
    for (std::size_t k = 0; k < basis.coefficients; ++k) {
        const IntensitySum& d = basis.d_coefficient[k];
        for (std::size_t t = 0; t < d.count; ++t) {
            if (d.terms[t].logarithmic) return std::nullopt;
            const double p = d.terms[t].power;
            if (p == 0.0 || std::any_of(out.terms_.begin(), out.terms_.end(), [p](const Term& x) { return x.power == p; })) {
                continue;
            }
            const double c[2] = {1.0, p};  // power-2 with c = 1: I = mu^p
            Outcome<RadialProfile> profile = RadialProfile::of_law(LimbDarkeningLaw::power_2, c);
            if (!profile.ok()) return std::nullopt;
            SubdiskProfile stack(profile.value());
            out.terms_.push_back(Term{p, std::move(profile).value(), std::move(stack)});
        }
    }
    return out;
}

PowerTermProfiles::CoefficientGradient PowerTermProfiles::coefficient_gradient(double u, double rho, double value,
                                                                              double flux,
                                                                              const LawGradientBasis& basis,
                                                                              double rtol) const {
    std::array<double, 8> magnification{};
    CoefficientGradient result{{}, true, 0.0};
    for (std::size_t j = 0; j < terms_.size(); ++j) {
        // A_t - A to 10 rtol of A (both are within rtol of theirs).
        const ProfileMagnification term = profile_magnification(u, rho, terms_[j].profile, terms_[j].stack, rtol);
        magnification[j] = term.value;
        if (!term.met_tolerance) {
            result.met_tolerance = false;
            result.error_estimate = std::max(result.error_estimate, term.error_estimate);
        }
    }
    const double disk = witt_mao_magnification_scaled(u, rho);
    std::array<double, MAX_LAW_COEFFICIENTS>& out = result.d_coefficient;
    for (std::size_t k = 0; k < basis.coefficients; ++k) {
        const IntensitySum& d = basis.d_coefficient[k];
        double sum = 0.0;
        for (std::size_t t = 0; t < d.count; ++t) {
            const double p = d.terms[t].power;
            double a = disk;
            if (p != 0.0) {
                for (std::size_t j = 0; j < terms_.size(); ++j) {
                    if (terms_[j].power == p) a = magnification[j];
                }
            }
            sum += d.terms[t].coefficient * power_flux(p) * (a - value);
        }
        out[k] = sum / flux;
    }
    return result;
}

}  // namespace vellomir
