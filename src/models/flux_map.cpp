// Flux maps: the magnification of a star with a tabulated radial profile I(r).
//   discrete:            A = sum_j bf[j] H(l, bl[j])                    (thin rings)
//   integrated, rings:   A = int_0^1 I(r) 2 pi r H(l, r) dr / N          (Heyrovsky 2003)
//   integrated, annuli:  A = int_0^1 I(r) 2 pi r M(r) dr / N, M(r) the mean uniform-disk
//                        magnification (Witt & Mao 1994) of the annulus r +- 1e-4 (narrowed
//                        to stay inside the star), from the difference of the magnified
//                        fluxes of two disks,
// with N = int_0^1 I(r) 2 pi r dr, exact for each linear piece of I. The integrated maps run
// piece by piece between the table's radii, where I has kinks or jumps, and the points where the
// magnification has a kink or a logarithmic singularity; each piece by the rule its distance from
// the nearest singularity allows (piecewise_rule.hpp).

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

// The pieces' rules. The tanh-sinh targets are relative to the unmagnified flux N: the magnified
// flux is at least N (a magnification is at least 1), so they bound the relative error. The ring
// form is integrated to rounding; the annulus form approximates it to about 1e-8 and needs no
// more than tau = 1e-9 per piece (rho^(-2N) <= tau), and its pieces between the annulus' kinks,
// 2e-4 wide, are short enough for 16 points.
PieceRule ring_piece_rule(double unmagnified) noexcept { return exact_piece_rule(1e-14 * std::fabs(unmagnified)); }

PieceRule annulus_piece_rule(double unmagnified) noexcept {
    return {13.3, 3.65, 1.91, 1e-3, 1e-12 * std::fabs(unmagnified)};
}

// Both integrated maps integrate the excess magnification, A - 1, and return 1 + excess / N:
// the unmagnified part is N exactly, the quadrature's own error scales with the excess only, and
// a magnification that is 1 to within rounding (a weak or distant lens) stays at least 1.

void require_equal_lengths(const std::vector<double>& bl, const std::vector<double>& bf) {
    if (bl.size() != bf.size()) throw count_mismatch(bl.size(), bf.size());
}

// Ring-flux integral of the tabulated star for one separation, over the unmagnified flux N.
double ring_map_element(double l, double q, const TabulatedProfile& profile, double unmagnified) {
    if (!(l >= 0.0)) return NOT_A_NUMBER;
    l += 0.0;
    // H(l, r) has a logarithmic singularity at r = l (the ring through the lens) and branch points
    // at r = -l and r = l +- 2iq.
    const std::array<SingularPoint, 3> singular = {{{l, 0.0}, {-l, 0.0}, {l, 2.0 * q}}};
    const std::array<double, 1> cuts = {l};
    const PieceRule rule = ring_piece_rule(unmagnified);
    bool any_ring = false;
    double excess = 0.0;
    profile.for_each_piece(cuts, [&](double a, double b, double slope, double intercept) {
        auto ring_flux = [&](double r) {
            const Outcome<double> ring = heyrovsky_magnification(l, r, q, 1.0);
            const double h = ring.ok() ? ring.value() : NOT_A_NUMBER;
            any_ring = any_ring || std::isfinite(h);
            return (slope * r + intercept) * ((TWO_PI * r) * (h - 1.0));
        };
        excess += integrate_piece(ring_flux, a, b, singular, rule);
    });
    return any_ring ? 1.0 + excess / unmagnified : NOT_A_NUMBER;
}

// Annulus-flux integral of the tabulated star for one separation, over the unmagnified flux N.
// The annulus about r has half-width w = min(1e-4, r, 1 - r): it stays centred on r inside the
// star, so that 2 pi r M(r) = pi (Phi(r + w) - Phi(r - w)) / (2 w), Phi(R) = R^2 A(u, R rho),
// is a central difference of the disks' magnified flux, whose windows each carry unit weight. (An
// annulus clipped at the centre or the rim would weigh its window by 2r / (r + w) or so, an
// error of order 1e-4 wherever the lens sits near the centre or the limb.)
double annulus_map_element(double l, double rho, const TabulatedProfile& profile, double unmagnified) {
    if (!(l >= 0.0) || std::isnan(rho)) return NOT_A_NUMBER;
    l += 0.0;
    const double u = l * rho;
    // A star of no extent: every annulus has the point-source magnification (+inf at u = 0).
    if (rho == 0.0) return witt_mao_magnification_scaled(u, rho);
    const double w = ANNULUS_HALF_WIDTH;
    // The mean has kinks with a logarithmic slope where an edge of the annulus crosses the lens:
    // r = l -+ w, and within w of the centre or the rim, where the annulus is [0, 2r] or
    // [2r - 1, 1], r = l / 2 and r = (1 + l) / 2. Its half-width changes form at r = w and
    // r = 1 - w, and it has branch points near r = l +- 2i / rho.
    const double q = 1.0 / rho;
    const double centre_kink = 0.5 * l < w ? 0.5 * l : -1.0;  // -1: none, outside the star
    const double rim_kink = 0.5 * (1.0 + l) > 1.0 - w ? 0.5 * (1.0 + l) : -1.0;
    const std::array<SingularPoint, 5> singular = {
        {{l - w, 0.0}, {l + w, 0.0}, {centre_kink, 0.0}, {rim_kink, 0.0}, {l, 2.0 * q}}};
    std::array<double, 6> cuts = {l - w, l + w, w, 1.0 - w, centre_kink, rim_kink};
    std::sort(cuts.begin(), cuts.end());
    const PieceRule rule = annulus_piece_rule(unmagnified);
    bool any_annulus = false;
    double excess = 0.0;
    profile.for_each_piece(cuts, [&](double a, double b, double slope, double intercept) {
        auto annulus_flux = [&](double r) {
            const double half_width = std::min(std::min(w, r), 1.0 - r);
            const double r1 = r - half_width;
            const double r2 = r + half_width;
            const double a1 = r1 * r1;
            const double a2 = r2 * r2;
            // The mean excess over the annulus, from the excess fluxes of two disks: differencing
            // the excesses rather than the whole fluxes keeps the unmagnified part exact.
            double mean_excess = NOT_A_NUMBER;  // an empty annulus (r = 0 or 1): the sample counts 0
            if (a1 < a2) {
                const double inner = a1 == 0.0 ? 0.0 : (witt_mao_magnification_scaled(u, r1 * rho) - 1.0) * a1;
                mean_excess = ((witt_mao_magnification_scaled(u, r2 * rho) - 1.0) * a2 - inner) / (a2 - a1);
            }
            any_annulus = any_annulus || std::isfinite(mean_excess);
            return (slope * r + intercept) * ((TWO_PI * r) * mean_excess);
        };
        excess += integrate_piece(annulus_flux, a, b, singular, rule);
    });
    return any_annulus ? 1.0 + excess / unmagnified : NOT_A_NUMBER;
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
