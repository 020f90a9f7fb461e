// Flux maps: the magnification of a star with a tabulated radial profile I(r).
//   discrete:            A = sum_j bf[j] H(l, bl[j])                    (thin rings)
//   integrated, rings:   A = int_0^1 I(r) 2 pi r H(l, r) dr / N          (Heyrovsky 2003)
//   integrated, annuli:  A = int_0^1 I(r) 2 pi r M(r) dr / N, M(r) the mean uniform-disk
//                        magnification (Witt & Mao 1994) of the annulus r +- 1e-4 (folded
//                        back at the edges of the lit star), from the difference of the
//                        magnified fluxes of two disks,
// with N = int_0^1 I(r) 2 pi r dr, exact for each linear piece of I. The integrated maps run
// piece by piece between the table's radii, where I has kinks or jumps, and the points where the
// magnification has a kink or a logarithmic singularity; each piece by the rule its distance from
// the nearest singularity allows (piecewise_rule.hpp).

#include "models/flux_map.hpp"

#include <algorithm>
#include <array>
#include <cmath>
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

// Ring evaluations of a discrete map below which it runs on the calling thread.
constexpr std::size_t DISCRETE_RINGS_ON_CALLING_THREAD = 256;

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

// The integrated maps are ratios, the same for any scale of bf; but a table near the ends of the
// double range (1e306, 1e-320) would overflow or lose digits in its flux and integrand. Such a
// table is first scaled by the power of two that brings its largest magnitude to [1, 2): exact,
// so the result is bit for bit that of the scaled table. Tables within 2^+-500 are left as they
// are, which keeps their results to the last bit.
void normalise_extreme_scale(std::vector<double>& bf) {
    double largest = 0.0;
    for (const double value : bf) largest = std::fmax(largest, std::fabs(value));
    if (!(largest > 0.0) || !std::isfinite(largest)) return;
    const int exponent = std::ilogb(largest);
    if (-500 <= exponent && exponent <= 500) return;
    for (double& value : bf) value = std::ldexp(value, -exponent);
}

// Ring-flux integral of the tabulated star for one separation, over the unmagnified flux N.
double ring_map_element(double l, double q, const TabulatedProfile& profile, double unmagnified) {
    if (!(l >= 0.0)) return NOT_A_NUMBER;
    l += 0.0;
    // As the annulus form: u = l rho is inf * 0 = NaN for l = inf with q = inf and for l = 0 with
    // q = 0; otherwise a star of no extent (q = inf) is a point source on the lens, +inf, and a
    // lens at infinite distance or of no Einstein radius (q = 0) leaves the star unmagnified.
    if (std::isinf(q) ? std::isinf(l) : (q == 0.0 && l == 0.0)) return NOT_A_NUMBER;
    if (std::isinf(q)) return q;
    if (std::isinf(l) || q == 0.0) return 1.0;
    // H(l, r) has a logarithmic singularity at r = l (the ring through the lens) and branch points
    // at r = -l and r = l +- 2iq.
    const std::array<SingularPoint, 3> singular = {{{l, 0.0}, {-l, 0.0}, {l, 2.0 * q}}};
    const std::array<double, 1> cuts = {l};
    const PieceRule rule = ring_piece_rule(unmagnified);
    const double extent = profile.extent();  // fluxes in units of extent^2, as N
    bool any_ring = false;
    double excess = 0.0;
    profile.for_each_piece(cuts, [&](double a, double b, double slope, double intercept) {
        // The rings of a batch through the batched kernel (NaN where it fails).
        auto ring_flux = [&](std::span<const double> r, std::span<double> values) {
            heyrovsky_magnification_batch(l, r, q, 1.0, values);
            for (std::size_t i = 0; i < r.size(); ++i) {
                const double h = values[i];
                any_ring = any_ring || std::isfinite(h);
                values[i] = (slope * r[i] + intercept) * ((TWO_PI * (r[i] / extent)) * (h - 1.0)) / extent;
            }
        };
        excess += integrate_piece_batched(ring_flux, a, b, singular, rule);
    });
    return any_ring ? 1.0 + excess / unmagnified : NOT_A_NUMBER;
}

// Annulus-flux integral of the tabulated star for one separation, over the unmagnified flux N.
//
// With Phi(R) = R^2 (A(u, R rho) - 1) the excess flux of the disk of radius R (over pi), the
// mean excess of the annulus r +- w times its area, 2 pi r M(r), is pi (Phi(r + w) - Phi(r - w))
// / (2w): a central difference of Phi, or the mean of Phi' over the window [r - w, r + w]. Every
// window carries unit weight and the windows are symmetric in r and r', so that the profile is
// only smoothed by the box, to O(w^2) even where the lens sits on the star. Where a window would
// cross an edge of the lit star (its centre, its rim, or a jump of the profile: the table's ends
// and repeated radii) it is folded back at the edge (Phi' beyond the edge is taken from its
// mirror image), which keeps both properties; a window that crossed the edge, or an annulus
// clipped there, would not, an error of order w wherever the lens sits within w of the edge. A
// lit interval narrower than 2w takes windows of half its width.
double annulus_map_element(double l, double rho, const TabulatedProfile& profile, double unmagnified) {
    if (!(l >= 0.0) || std::isnan(rho)) return NOT_A_NUMBER;
    l += 0.0;
    const double u = l * rho;
    // A star of no extent: every annulus has the point-source magnification (+inf at u = 0).
    if (rho == 0.0) return witt_mao_magnification_scaled(u, rho);
    auto excess_flux = [u, rho](double radius) {
        return radius == 0.0 ? 0.0 : radius * radius * (witt_mao_magnification_scaled(u, radius * rho) - 1.0);
    };
    // The same from the disk's magnification, computed by the batched kernel.
    auto excess_flux_of = [](double radius, double magnification) {
        return radius == 0.0 ? 0.0 : radius * radius * (magnification - 1.0);
    };
    std::array<double, MOST_POINTS_PER_BATCH> first_disks;
    const double q = 1.0 / rho;
    const PieceRule rule = annulus_piece_rule(unmagnified);
    const double extent = profile.extent();  // fluxes in units of extent^2, as N
    bool any_annulus = false;
    double excess = 0.0;
    profile.for_each_lit_interval([&](double lo, double hi) {
        const double w = std::min(ANNULUS_HALF_WIDTH, 0.5 * (hi - lo));
        const double inner_edge = excess_flux(lo);
        const double outer_edge = excess_flux(hi);
        // Phi has a kink with a logarithmic slope where its disk's rim crosses the lens, so the
        // integrand has kinks at r = l -+ w and, in the windows folded at lo or hi, at
        // r = 2 lo + w - l and r = 2 hi - w - l; it changes form at r = lo + w and r = hi - w,
        // and has branch points near r = l +- 2i / rho.
        const double inner_kink = 2.0 * lo + w - l;
        const double outer_kink = 2.0 * hi - w - l;
        const std::array<SingularPoint, 5> singular = {
            {{l - w, 0.0}, {l + w, 0.0}, {inner_kink, 0.0}, {outer_kink, 0.0}, {l, 2.0 * q}}};
        std::array<double, 6> cuts = {l - w, l + w, lo + w, hi - w, inner_kink, outer_kink};
        std::sort(cuts.begin(), cuts.end());
        profile.for_each_piece(lo, hi, cuts, [&](double a, double b, double slope, double intercept) {
            // The two disks of each window, first and second in the order of the terms below,
            // for a batch of radii through the batched kernel: the first into first_disks, the
            // second into values.
            const auto disks = [&](double r) -> std::pair<double, double> {
                if (r < lo + w) return {r + w, 2.0 * lo + w - r};
                if (r <= hi - w) return {r + w, r - w};
                return {r - w, 2.0 * hi - w - r};
            };
            auto annulus_flux = [&](std::span<const double> r, std::span<double> values) {
                const std::span<double> first(first_disks.data(), r.size());
                for (std::size_t i = 0; i < r.size(); ++i) {
                    const auto [one, two] = disks(r[i]);
                    first[i] = one * rho;
                    values[i] = two * rho;
                }
                witt_mao_magnification_radii_batch(u, first, first);
                witt_mao_magnification_radii_batch(u, values, values);
                for (std::size_t i = 0; i < r.size(); ++i) {
                    const auto [one, two] = disks(r[i]);
                    const double phi_one = excess_flux_of(one, first[i]);
                    const double phi_two = excess_flux_of(two, values[i]);
                    double difference;
                    if (r[i] < lo + w) {
                        difference = (phi_one - inner_edge) + (phi_two - inner_edge);
                    } else if (r[i] <= hi - w) {
                        difference = phi_one - phi_two;
                    } else {
                        difference = (outer_edge - phi_one) + (outer_edge - phi_two);
                    }
                    const double window_mean = difference / (2.0 * w);
                    any_annulus = any_annulus || std::isfinite(window_mean);
                    values[i] = (slope * r[i] + intercept) * ((PI * window_mean) / extent) / extent;
                }
            };
            excess += integrate_piece_batched(annulus_flux, a, b, singular, rule);
        });
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
    auto ring_sum = [&](double lc) {
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
    };
    // A few dozen rings cost less than waking the pool; each element is computed alike either way.
    if (l.size() * bl.size() <= DISCRETE_RINGS_ON_CALLING_THREAD) {
        std::transform(l.begin(), l.end(), sums.begin(), ring_sum);
    } else {
        parallel_map_into(pool, std::span<const double>(l), std::span<RingSum>(sums), ring_sum);
    }
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
    normalise_extreme_scale(bf);
    const TabulatedProfile profile(bl, bf);
    const double unmagnified = profile.usable() ? profile.flux() : NOT_A_NUMBER;
    const double quotient = rstar / re;
    const double rho = quotient >= 0.0 && profile.usable() ? quotient + 0.0 : NOT_A_NUMBER;
    parallel_map_into(pool, std::span<const double>(l), std::span<double>(l), [&](double lc) {
        return annulus_map_element(lc, rho, profile, unmagnified);
    }, ElementCost::uneven);
    return Outcome<std::vector<double>>::success(std::move(l));
}

Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l,
                                                                         double re, double rstar,
                                                                         std::vector<double> bl,
                                                                         std::vector<double> bf) {
    require_equal_lengths(bl, bf);
    normalise_extreme_scale(bf);
    const TabulatedProfile profile(bl, bf);
    const bool usable = profile.usable();
    const double unmagnified = usable ? profile.flux() : NOT_A_NUMBER;
    const double q = usable ? einstein_radius_in_stellar_radii(re, rstar) : NOT_A_NUMBER;
    parallel_map_into(pool, std::span<const double>(l), std::span<double>(l), [&](double lc) {
        return std::isnan(q) ? NOT_A_NUMBER : ring_map_element(lc, q, profile, unmagnified);
    }, ElementCost::uneven);
    return Outcome<std::vector<double>>::success(std::move(l));
}

Outcome<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                                       std::vector<double> bl, std::vector<double> bf) {
    return discrete_flux_map_heyrovsky_magnification(WorkerPool::global(), std::move(l), re, rstar, std::move(bl),
                                                     std::move(bf));
}

Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double> l, double re, double rstar,
                                                                        std::vector<double> bl,
                                                                        std::vector<double> bf) {
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
