// Limb-darkened magnification for the law I(r) = 1 - 0.6 (1 - sqrt(1 - r^2)):
//   Witt-Mao form:  A = (0.6 J + 0.4 A(u, rho)) * pi / N, where
//                   J = int_0^1 A(u, s rho) s^2 dx with s = sqrt(1 - x^2),
//                   a sum over concentric uniform sub-disks (integration by parts of the
//                   profile against the disk magnification; Witt & Mao 1994);
//   ring form:      A = int_0^1 I(r) 2 pi r H(l, r) dr / N (Heyrovsky 2003),
// with N = LIMB_DARKENED_NORM, the brightness-weighted area of the star.

#include "models/integrated.hpp"

#include "models/witt_mao.hpp"

namespace vellomir {

std::vector<double> integrated_witt_mao_magnification(std::vector<double> l, double re, double rstar) {
    const double rho = rstar / re;
    for (double& element : l) {
        const double u = element * rho;
        // Sub-disk of radius s rho weighted by s^2; x = 1 is the empty disk and adds nothing.
        auto sub_disks = [u, rho](double x) {
            const double w = 1.0 - x * x;
            if (w == 0.0) return 0.0;
            const double s = std::sqrt(w);
            return witt_mao_magnification_scaled(u, s * rho) * (s * s);
        };
        const double sum_of_sub_disks = integrate(sub_disks, 0.0, 1.0, RADIAL_QUADRATURE_TARGET).integral;
        // Unguarded: a NaN or infinite whole-disk term reaches the result.
        const double whole_disk = witt_mao_magnification_scaled(u, rho);
        element = ((sum_of_sub_disks * 0.6) + (whole_disk * 0.4)) * PI / LIMB_DARKENED_NORM;
    }
    return l;
}

std::vector<double> integrated_heyrovsky_magnification(std::vector<double> l, double re, double rstar) {
    return _integrated_heyrovsky_magnification(std::move(l), re, rstar, LIMB_DARKENED_NORM,
                                               [](double r) { return limb_darkening_profile(r); });
}

}  // namespace vellomir
