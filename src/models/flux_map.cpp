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
#include "models/heyrovsky_batch.hpp"
#include "models/integrated.hpp"
#include "models/internal_failure.hpp"
#include "models/model_constants.hpp"
#include "models/tabulated_profile.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_batch.hpp"
#include "parallel/parallel_map.hpp"
#include "quadrature/piecewise_rule_batch.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr double ANNULUS_HALF_WIDTH = 1e-4;
// The most points a batched rule hands its integrand at once.
constexpr std::size_t MOST_POINTS_PER_BATCH = detail::tanh_sinh_most_points_per_call();
static_assert(MOST_POINTS_PER_BATCH >= 16);

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
        auto ring_flux = [&](std::span<const double> r, std::span<double> values) {
            heyrovsky_magnification_batch(l, r, q, 1.0, values);  // NaN where the kernel fails
            for (std::size_t i = 0; i < r.size(); ++i) {
                const double h = values[i];
                any_ring = any_ring || std::isfinite(h);
                values[i] = (slope * r[i] + intercept) * ((TWO_PI * r[i]) * (h - 1.0));
            }
        };
        excess += integrate_piece_batched(ring_flux, a, b, singular, rule);
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
        // The disks of a batch of annuli through the batched kernel: outer ones into `values`,
        // inner ones into `inner`, then each sample as the pointwise form computes it.
        std::array<double, MOST_POINTS_PER_BATCH> inner;
        auto annulus_flux = [&](std::span<const double> r, std::span<double> values) {
            const auto half_width = [w](double x) { return std::min(std::min(w, x), 1.0 - x); };
            for (std::size_t i = 0; i < r.size(); ++i) {
                inner[i] = (r[i] - half_width(r[i])) * rho;
                values[i] = (r[i] + half_width(r[i])) * rho;
            }
            witt_mao_magnification_radii_batch(u, std::span<double>(inner.data(), r.size()),
                                               std::span<double>(inner.data(), r.size()));
            witt_mao_magnification_radii_batch(u, values, values);
            for (std::size_t i = 0; i < r.size(); ++i) {
                const double r1 = r[i] - half_width(r[i]);
                const double r2 = r[i] + half_width(r[i]);
                const double a1 = r1 * r1;
                const double a2 = r2 * r2;
                // The mean excess over the annulus, from the excess fluxes of two disks: differencing
                // the excesses rather than the whole fluxes keeps the unmagnified part exact.
                double mean_excess = NOT_A_NUMBER;  // an empty annulus (r = 0 or 1): the sample counts 0
                if (a1 < a2) {
                    const double inner_excess = a1 == 0.0 ? 0.0 : (inner[i] - 1.0) * a1;
                    mean_excess = ((values[i] - 1.0) * a2 - inner_excess) / (a2 - a1);
                }
                any_annulus = any_annulus || std::isfinite(mean_excess);
                values[i] = (slope * r[i] + intercept) * ((TWO_PI * r[i]) * mean_excess);
            }
        };
        excess += integrate_piece_batched(annulus_flux, a, b, singular, rule);
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
        // The rings in batches through the batched kernel; a NaN there is a failure or a NaN
        // result, and the scalar kernel tells which.
        std::array<double, MOST_POINTS_PER_BATCH> rings;
        for (std::size_t first = 0; first < bl.size(); first += rings.size()) {
            const std::size_t count = std::min(rings.size(), bl.size() - first);
            heyrovsky_magnification_batch(lc, std::span<const double>(bl).subspan(first, count), re, rstar,
                                          std::span<double>(rings.data(), count));
            for (std::size_t j = first; j < first + count; ++j) {
                double h = rings[j - first];
                if (std::isnan(h)) {
                    const Outcome<double> ring = heyrovsky_magnification(lc, bl[j], re, rstar);
                    if (!ring.ok()) return RingSum{0.0, ring.message()};
                    h = ring.value();
                }
                sum.value = sum.value + h * bf[j];
            }
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
