// Limb-darkened magnification for the law I(r) = 1 - 0.6 (1 - sqrt(1 - r^2)):
//   Witt-Mao form:  A = (0.6 J + 0.4 A(u, rho)) * pi / N, where
//                   J = int_0^1 A(u, s rho) s^2 dx with s = sqrt(1 - x^2),
//                   a sum over concentric uniform sub-disks (integration by parts of the
//                   profile against the disk magnification; Witt & Mao 1994);
//   ring form:      A = int_0^1 I(r) 2 pi r H(l, r) dr / N (Heyrovsky 2003),
// with N = LIMB_DARKENED_NORM, the brightness-weighted area of the star.

#include "models/integrated.hpp"

#include "models/witt_mao.hpp"
#include "models/witt_mao_batch.hpp"

namespace vellomir {
namespace {

// The Witt-Mao form for one separation l (stellar radii) and source radius rho.
double limb_darkened_disks(double l, double rho) noexcept {
    if (!(l >= 0.0) || std::isnan(rho)) return std::numeric_limits<double>::quiet_NaN();
    l += 0.0;
    const double u = l * rho;
    // Sub-disk of radius s rho weighted by s^2; x = 1 is the empty disk and adds nothing. The
    // sub-disks of one level of the rule at a time go through the batched kernel: the values
    // hold the radii s rho first, and the empty disk (w = 0) is set to 0 afterwards.
    auto sub_disks = [u, rho](std::span<const double> x, std::span<double> values) {
        for (std::size_t i = 0; i < x.size(); ++i) values[i] = std::sqrt(1.0 - x[i] * x[i]) * rho;
        witt_mao_magnification_radii_batch(u, values, values);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double w = 1.0 - x[i] * x[i];
            const double s = std::sqrt(w);
            values[i] = w == 0.0 ? 0.0 : values[i] * (s * s);
        }
    };
    // For 0 < l < 1 the rim of the sub-disk s = l passes through the lens: there the sub-disk
    // magnification has a kink with a logarithmic slope, which inside one tanh-sinh interval
    // costs some 1e-5. Split at it, x = sqrt(1 - l^2), so that it sits at an endpoint.
    double sum_of_sub_disks;
    if (0.0 < l && l < 1.0) {
        const double kink = std::sqrt((1.0 - l) * (1.0 + l));
        sum_of_sub_disks = integrate_batched(sub_disks, 0.0, kink, RADIAL_QUADRATURE_TARGET).integral +
                           integrate_batched(sub_disks, kink, 1.0, RADIAL_QUADRATURE_TARGET).integral;
    } else {
        sum_of_sub_disks = integrate_batched(sub_disks, 0.0, 1.0, RADIAL_QUADRATURE_TARGET).integral;
    }
    // Unguarded: a NaN or infinite whole-disk term (rho = 0: the point source at u = 0) reaches
    // the result.
    const double whole_disk = witt_mao_magnification_scaled(u, rho);
    return ((sum_of_sub_disks * 0.6) + (whole_disk * 0.4)) * PI / LIMB_DARKENED_NORM;
}

}  // namespace

std::vector<double> integrated_witt_mao_magnification(WorkerPool& pool, std::vector<double> l, double re,
                                                      double rstar) {
    const double quotient = rstar / re;
    const double rho = quotient >= 0.0 ? quotient + 0.0 : std::numeric_limits<double>::quiet_NaN();
    parallel_map_into(pool, std::span<const double>(l), std::span<double>(l),
                      [rho](double separation) { return limb_darkened_disks(separation, rho); },
                      ElementCost::uneven);
    return l;
}

std::vector<double> integrated_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l, double re,
                                                       double rstar) {
    return _integrated_heyrovsky_magnification(pool, std::move(l), re, rstar, LIMB_DARKENED_NORM,
                                               [](double r) { return limb_darkening_profile(r); });
}

std::vector<double> integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar) {
    return integrated_witt_mao_magnification(WorkerPool::global(), std::move(l), re, rstar);
}

std::vector<double> integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar) {
    return integrated_heyrovsky_magnification(WorkerPool::global(), std::move(l), re, rstar);
}

}  // namespace vellomir
