// Flux maps: the magnification of a star with a tabulated radial profile I(r).
//   discrete:            A = sum_j bf[j] H(l, bl[j])                    (thin rings)
//   integrated, rings:   A = int_0^1 I(r) 2 pi r H(l, r) dr / N          (Heyrovsky 2003)
//   integrated, annuli:  A = int_0^1 I(r) 2 pi r M(r) dr / N, M(r) the mean uniform-disk
//                        magnification (Witt & Mao 1994) of the annulus r +- 1e-4, from the
//                        difference of the magnified fluxes of two disks,
// with N = int_0^1 I(r) 2 pi r dr. The integrals run piece by piece between the table's radii,
// where I has kinks or jumps, and the points where the magnification has a kink or a logarithmic
// singularity; each piece by the rule its distance from the nearest singularity allows
// (piecewise_rule.hpp).

#include "models/flux_map.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <string_view>

#include "models/heyrovsky.hpp"
#include "models/integrated.hpp"
#include "models/internal_failure.hpp"
#include "models/model_constants.hpp"
#include "models/tabulated_profile.hpp"
#include "models/witt_mao.hpp"
#include "parallel/parallel_map.hpp"
#include "quadrature/piecewise_rule.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr double ANNULUS_HALF_WIDTH = 1e-4;

// Absolute tolerance of the tanh-sinh pieces, relative to the unmagnified flux N: the magnified
// flux is at least N (a magnification is at least 1), so this bounds the relative error.
constexpr double PIECE_TARGET_PER_FLUX = 1e-15;

void require_equal_lengths(const std::vector<double>& bl, const std::vector<double>& bf) {
    if (bl.size() != bf.size()) throw count_mismatch(bl.size(), bf.size());
}

// Ring-flux integral of the tabulated star for one separation, over the unmagnified flux.
double ring_map_element(double l, double q, const TabulatedProfile& profile, double unmagnified) {
    if (!(l >= 0.0)) return NOT_A_NUMBER;
    l += 0.0;
    // H(l, r) has a logarithmic singularity at r = l (the ring through the lens) and branch points
    // at r = -l and r = l +- 2iq.
    const std::array<SingularPoint, 3> singular = {{{l, 0.0}, {-l, 0.0}, {l, 2.0 * q}}};
    const std::array<double, 1> cuts = {l};
    const double target = PIECE_TARGET_PER_FLUX * std::fabs(unmagnified);
    bool any_ring = false;
    double flux = 0.0;
    profile.for_each_piece(cuts, [&](double a, double b, double slope, double intercept) {
        auto ring_flux = [&](double r) {
            const Outcome<double> ring = heyrovsky_magnification(l, r, q, 1.0);
            const double h = ring.ok() ? ring.value() : NOT_A_NUMBER;
            any_ring = any_ring || std::isfinite(h);
            return (slope * r + intercept) * ((TWO_PI * r) * h);
        };
        flux += integrate_piece(ring_flux, a, b, singular, target);
    });
    return any_ring ? flux / unmagnified : NOT_A_NUMBER;
}

// Annulus-flux integral of the tabulated star for one separation, over the unmagnified flux.
double annulus_map_element(double l, double rho, const TabulatedProfile& profile, double unmagnified) {
    if (!(l >= 0.0) || std::isnan(rho)) return NOT_A_NUMBER;
    l += 0.0;
    const double u = l * rho;
    // A star of no extent: every annulus has the point-source magnification (+inf at u = 0).
    if (rho == 0.0) return witt_mao_magnification_scaled(u, rho);
    const double w = ANNULUS_HALF_WIDTH;
    // The mean has kinks with a logarithmic slope where an edge of the annulus crosses the lens
    // (r = l -+ w, and r = w - l for a lens next to the centre) and branch points near
    // r = l +- 2i / rho; it changes form where the annulus meets the centre or the rim (r = w,
    // r = 1 - w).
    const double q = 1.0 / rho;
    const std::array<SingularPoint, 4> singular = {{{l - w, 0.0}, {l + w, 0.0}, {w - l, 0.0}, {l, 2.0 * q}}};
    std::array<double, 4> cuts = {l - w, l + w, w, 1.0 - w};
    std::sort(cuts.begin(), cuts.end());
    const double target = PIECE_TARGET_PER_FLUX * std::fabs(unmagnified);
    bool any_annulus = false;
    double flux = 0.0;
    profile.for_each_piece(cuts, [&](double a, double b, double slope, double intercept) {
        auto annulus_flux = [&](double r) {
            const double r1 = std::max(r - w, 0.0);
            const double r2 = std::min(r + w, 1.0);
            const double a1 = r1 * r1;
            const double a2 = r2 * r2;
            double mean = NOT_A_NUMBER;  // an empty annulus: the sample counts 0
            if (a1 < a2) {
                const double inner = a1 == 0.0 ? 0.0 : witt_mao_magnification_scaled(u, r1 * rho) * a1;
                mean = (witt_mao_magnification_scaled(u, r2 * rho) * a2 - inner) / (a2 - a1);
            }
            any_annulus = any_annulus || std::isfinite(mean);
            return (slope * r + intercept) * ((TWO_PI * r) * mean);
        };
        flux += integrate_piece(annulus_flux, a, b, singular, target);
    });
    return any_annulus ? flux / unmagnified : NOT_A_NUMBER;
}

// One element of the discrete map: its sum, or the message of its first failing ring.
struct RingSum {
    double value = 0.0;
    std::string_view failure;
};

}  // namespace

Outcome<std::vector<double>> discrete_flux_map_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l,
                                                                       double re, double rstar,
                                                                       std::vector<double> bl,
                                                                       std::vector<double> bf) {
    require_equal_lengths(bl, bf);
    std::vector<RingSum> sums(l.size());
    parallel_map_into(pool, std::span<const double>(l), std::span<RingSum>(sums), [&](double lc) {
        RingSum sum;
        for (std::size_t j = 0; j < bl.size(); ++j) {
            const Outcome<double> ring = heyrovsky_magnification(lc, bl[j], re, rstar);
            if (!ring.ok()) return RingSum{0.0, ring.message()};
            sum.value = sum.value + ring.value() * bf[j];
        }
        return sum;
    });
    // The sequential loop would stop at the first failing separation: report that one, whatever
    // the order in which the workers finished.
    for (std::size_t i = 0; i < sums.size(); ++i) {
        if (sums[i].failure.data() != nullptr) return Outcome<std::vector<double>>::failure(sums[i].failure);
        l[i] = sums[i].value;
    }
    return Outcome<std::vector<double>>::success(std::move(l));
}

Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(WorkerPool& pool, std::vector<double> l,
                                                                        double re, double rstar,
                                                                        std::vector<double> bl,
                                                                        std::vector<double> bf) {
    require_equal_lengths(bl, bf);
    const TabulatedProfile profile(bl, bf);
    const double unmagnified = profile.usable() ? profile.flux() : NOT_A_NUMBER;
    const double quotient = rstar / re;
    const double rho = quotient >= 0.0 && profile.usable() ? quotient + 0.0 : NOT_A_NUMBER;
    parallel_map_into(pool, std::span<const double>(l), std::span<double>(l), [&](double lc) {
        return annulus_map_element(lc, rho, profile, unmagnified);
    });
    return Outcome<std::vector<double>>::success(std::move(l));
}

Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l,
                                                                         double re, double rstar,
                                                                         std::vector<double> bl,
                                                                         std::vector<double> bf) {
    require_equal_lengths(bl, bf);
    const TabulatedProfile profile(bl, bf);
    const bool usable = profile.usable();
    const double unmagnified = usable ? profile.flux() : NOT_A_NUMBER;
    const double q = usable ? einstein_radius_in_stellar_radii(re, rstar) : NOT_A_NUMBER;
    parallel_map_into(pool, std::span<const double>(l), std::span<double>(l), [&](double lc) {
        return std::isnan(q) ? NOT_A_NUMBER : ring_map_element(lc, q, profile, unmagnified);
    });
    return Outcome<std::vector<double>>::success(std::move(l));
}

Outcome<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                                       std::vector<double> bl, std::vector<double> bf) {
    return discrete_flux_map_heyrovsky_magnification(WorkerPool::global(), std::move(l), re, rstar, std::move(bl),
                                                     std::move(bf));
}

Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double> l, double re, double rstar,
                                                                        std::vector<double> bl, std::vector<double> bf) {
    return integrated_flux_map_witt_mao_magnification(WorkerPool::global(), std::move(l), re, rstar, std::move(bl),
                                                      std::move(bf));
}

Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                         double rstar, std::vector<double> bl,
                                                                         std::vector<double> bf) {
    return integrated_flux_map_heyrovsky_magnification(WorkerPool::global(), std::move(l), re, rstar, std::move(bl),
                                                       std::move(bf));
}

}  // namespace vellomir
