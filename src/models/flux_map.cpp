// Flux maps: the magnification of a star with a tabulated radial profile I(r).
//   discrete:            A = sum_j bf[j] H(l, bl[j])                    (thin rings)
//   integrated, rings:   A = int_0^1 I(r) 2 pi r H(l, r) dr / N          (Heyrovsky 2003)
//   integrated, annuli:  A = int_0^1 I(r) 2 pi r M(r) dr / N, M(r) the mean uniform-disk
//                        magnification (Witt & Mao 1994) of the annulus r +- 1e-4, from the
//                        difference of the magnified fluxes of two disks,
// with N = int_0^1 I(r) 2 pi r dr, all integrals by the tanh-sinh rule (Takahasi & Mori 1974).

#include "models/flux_map.hpp"

#include <algorithm>
#include <limits>
#include <span>

#include "models/heyrovsky.hpp"
#include "models/integrated.hpp"
#include "models/internal_failure.hpp"
#include "models/model_constants.hpp"
#include "models/witt_mao.hpp"
#include "quadrature/double_exponential.hpp"
#include "quadrature/interp.hpp"

namespace vellomir {
namespace {

constexpr double ANNULUS_HALF_WIDTH = 1e-4;

void require_equal_lengths(const std::vector<double>& bl, const std::vector<double>& bf) {
    if (bl.size() != bf.size()) throw count_mismatch(bl.size(), bf.size());
}

// The table read as a function of radius: linear between the knots, 0 outside them (a table of
// one point is constant, an empty one 0 everywhere).
class TabulatedProfile {
public:
    TabulatedProfile(const std::vector<double>& bl, const std::vector<double>& bf) : radii_(bl), brightness_(bf) {}
    double operator()(double r) const noexcept { return interp(radii_, brightness_, r, OutOfRange::constant(0.0)); }

private:
    std::span<const double> radii_;
    std::span<const double> brightness_;
};

// Unmagnified flux of the profile, N = int_0^1 I(r) 2 pi r dr.
double profile_flux(const TabulatedProfile& profile) {
    auto ring = [&profile](double r) { return profile(r) * (TWO_PI * r); };
    return integrate(ring, 0.0, 1.0, RADIAL_QUADRATURE_TARGET).integral;
}

}  // namespace

Outcome<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                                       std::vector<double> bl, std::vector<double> bf) {
    require_equal_lengths(bl, bf);
    for (double& element : l) {
        double sum = 0.0;
        for (std::size_t j = 0; j < bl.size(); ++j) {
            const Outcome<double> ring = heyrovsky_magnification(element, bl[j], re, rstar);
            if (!ring.ok()) return Outcome<std::vector<double>>::failure(ring.message());
            sum = sum + ring.value() * bf[j];
        }
        element = sum;
    }
    return Outcome<std::vector<double>>::success(std::move(l));
}

Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double> l, double re, double rstar,
                                                                        std::vector<double> bl, std::vector<double> bf) {
    require_equal_lengths(bl, bf);
    const TabulatedProfile profile(bl, bf);
    const double unmagnified = profile_flux(profile);
    const double rho = rstar / re;
    for (double& element : l) {
        const double u = element * rho;
        auto annulus_flux = [&profile, u, rho](double r) {
            const double r1 = std::max(r - ANNULUS_HALF_WIDTH, 0.0);
            const double r2 = std::min(r + ANNULUS_HALF_WIDTH, 1.0);
            const double a1 = r1 * r1;
            const double a2 = r2 * r2;
            double mean;
            if (a1 >= a2) {
                mean = std::numeric_limits<double>::quiet_NaN();  // empty annulus: the sample counts 0
            } else {
                const double inner = a1 == 0.0 ? 0.0 : witt_mao_magnification_scaled(u, r1 * rho) * a1;
                mean = (witt_mao_magnification_scaled(u, r2 * rho) * a2 - inner) / (a2 - a1);
            }
            return profile(r) * ((TWO_PI * r) * mean);
        };
        element = integrate(annulus_flux, 0.0, 1.0, RADIAL_QUADRATURE_TARGET).integral / unmagnified;
    }
    return Outcome<std::vector<double>>::success(std::move(l));
}

Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                         double rstar, std::vector<double> bl,
                                                                         std::vector<double> bf) {
    require_equal_lengths(bl, bf);
    const TabulatedProfile profile(bl, bf);
    const double unmagnified = profile_flux(profile);
    return Outcome<std::vector<double>>::success(
        _integrated_heyrovsky_magnification(std::move(l), re, rstar, unmagnified, profile));
}

}  // namespace vellomir
