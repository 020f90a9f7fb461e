#pragma once
// Integration of a uniform-disk kernel over the sub-disk stack of a radial profile
// (subdisk_profile.hpp): for each quantity q of the kernel,
//     value_q = (sum_j m_j r_j^2 k_q(rho r_j) + int_0^1 w(r) r^2 k_q(rho r) dr) / F,
// which for the uniform-disk magnification is the magnification of the profile.
// The integral is split where the sub-disk rim passes the lens (r = l = u / rho) and, just
// outside the star, at the distance of that point from the limb, so that the kink sits at an
// end of its pieces; there the piece is mapped by x = end -+ (length) t^3, which turns the
// (x - l) ln|x - l| kink into t^5 ln t; a law whose weight is singular at the limb (a logarithm,
// a power of mu that is not a multiple of 1/2) is clustered there alike. Each piece is integrated
// by an adaptive Gauss-Kronrod rule (QUADPACK's global strategy, bisecting the panel with the
// largest estimate |K - G|, see panel_sums) until the summed estimate is below
// rtol times the value, or a panel cap is reached; the result says which. The first kernel call
// takes the points of every piece and the atoms, each bisection one more with both halves
// (batches for the vector paths).
//
// Kernel requirements (a uniform disk of radius R about a lens at distance u, Einstein radii):
//     static constexpr std::size_t quantities;                   // Q >= 1
//     void operator()(double u, std::span<const double> radii,   // R_i = rho r_i
//                     std::span<double> out) const;              // out[q * radii.size() + i]
// and optionally
//     std::array<double, Q> error_scales(const std::array<double, Q>& values) const;
// the size each quantity's error is measured against (default |value_q|): a kernel whose
// quantities cross zero (derivatives) supplies a floor there; and
//     std::span<const SubdiskProfile* const> weight_profiles() const;
//     std::size_t weight_set(std::size_t q) const;
// further intensities in the coordinate of the profile, a law (SubdiskProfile(sum, profile)),
// whose weights and atoms quantity q takes instead of the profile's (set 0 the profile's own,
// set j weight_profiles()[j - 1]; at most 7 further), at the same points: integrals of several
// intensities from one set of kernel values. Every value is divided by the profile's own flux.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "models/subdisk_profile.hpp"
#include "quadrature/gauss_kronrod.hpp"

namespace vellomir {

template <std::size_t Q>
struct SubdiskIntegral {
    std::array<double, Q> value{};  // NaN where the kernel failed
    std::array<double, Q> error{};  // estimate of |value - exact|
    std::uint32_t evaluations = 0;  // kernel values computed
    bool converged = false;         // every error within rtol of its scale
};

// Panels the adaptive rule may add beyond the initial pieces before it gives up.
inline constexpr std::size_t SUBDISK_MAX_BISECTIONS = 400;

namespace subdisk_detail {

enum class Cluster : std::uint8_t { none, at_begin, at_end, both };

struct Segment {
    SubdiskPiece piece;
    Cluster cluster;
};

template <std::size_t Q>
struct Panel {
    std::uint32_t segment;
    double t0, t1;  // in the segment's parameter t in [0, 1]
    std::array<double, Q> kronrod, error;
    double badness;  // the largest error relative to its share of the tolerance
};

// Per-thread scratch, grown once: no allocation per element after the first ones.
template <std::size_t Q>
struct Scratch {
    std::vector<Segment> segments;
    std::vector<Panel<Q>> panels;
    std::vector<double> radii, factors, values;  // one kernel call's points (factors per weight set)
    std::vector<double> atom_radii;              // the atoms of every weight set
};

template <std::size_t Q>
Scratch<Q>& scratch() {
    thread_local Scratch<Q> storage;
    return storage;
}

// The pieces of `profile` split at the lens, each with the end the kink is at.
inline void split_at_lens(const SubdiskProfile& profile, double l, double rho, std::vector<Segment>& out) {
    out.clear();
    for (const SubdiskPiece& piece : profile.pieces()) {
        double kink = -1.0;  // in the piece's coordinate; none at l = 0, where r^2 K is smooth
        double apart = -1.0;  // a break without a kink
        if (piece.coordinate == SubdiskCoordinate::radius) {
            if (l > 0.0) kink = l;
        } else if (0.0 < l && l < 1.0) {
            kink = profile.limb_coordinate(1.0 - l);  // s of r = l
        } else if (l > 1.0) {
            // The kink lies outside the star; its distance l - 1 = -s^m from the limb puts a
            // singular point at |s| = (l - 1)^(1/m) off the axis: a break there when it is close
            // to the limb (farther out the rule converges fast enough without one: measured on
            // crossing light curves, s = 1/4 for r = 1 - s^2, always for r = 1 - s^4).
            apart = profile.limb_coordinate(l - 1.0);
            if (profile.limb_exponent() == 2 && apart > 0.25) apart = -1.0;
        }
        const std::size_t first = out.size();
        if (piece.begin < kink && kink < piece.end) {
            out.push_back({SubdiskPiece{piece.begin, kink, piece.coordinate, piece.density}, Cluster::at_end});
            out.push_back({SubdiskPiece{kink, piece.end, piece.coordinate, piece.density}, Cluster::at_begin});
        } else if (piece.begin < apart && apart < piece.end) {
            out.push_back({SubdiskPiece{piece.begin, apart, piece.coordinate, piece.density}, Cluster::none});
            out.push_back({SubdiskPiece{apart, piece.end, piece.coordinate, piece.density}, Cluster::none});
        } else {
            const Cluster cluster = kink == piece.begin ? Cluster::at_begin
                                    : kink == piece.end ? Cluster::at_end
                                                        : Cluster::none;
            out.push_back({piece, cluster});
        }
        // A weight with a power or logarithm singular at the limb (s = 0) is clustered there too.
        if (piece.coordinate == SubdiskCoordinate::limb && profile.limb_is_singular()) {
            Cluster& cluster = out[first].cluster;
            cluster = cluster == Cluster::at_end ? Cluster::both : Cluster::at_begin;
        }
        // A large star with the lens near its centre: r^2 K has branch points 2i / rho from the
        // real axis about r = l, close to the centre (s = 1) where the limb coordinate does not
        // resolve them: a break at r = l + 2 / rho, whose pieces keep their ends' clustering.
        const double centre_break = l + 2.0 / rho;
        if (piece.coordinate == SubdiskCoordinate::limb && centre_break < 0.25) {
            const double at = profile.limb_coordinate(1.0 - centre_break);
            for (std::size_t i = first; i < out.size(); ++i) {
                const Segment segment = out[i];
                if (!(segment.piece.begin < at && at < segment.piece.end)) continue;
                const bool begin_clustered = segment.cluster == Cluster::at_begin || segment.cluster == Cluster::both;
                const bool end_clustered = segment.cluster == Cluster::at_end || segment.cluster == Cluster::both;
                out[i] = {SubdiskPiece{segment.piece.begin, at, piece.coordinate, piece.density},
                          begin_clustered ? Cluster::at_begin : Cluster::none};
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                           Segment{SubdiskPiece{at, segment.piece.end, piece.coordinate, piece.density},
                                   end_clustered ? Cluster::at_end : Cluster::none});
                break;
            }
        }
    }
}

// Writes the panel's radii rho r_i and integrand factors w r^2 dx/dt (dt the rule's weight
// scale) into radii[0, P) and factors[0, P), and those of the further weight sets `extra` (laws
// only, SubdiskProfile::law_weights_of_sets) into factors[j stride, j stride + P) for set j.
template <std::size_t N, int Order>
void panel_points(const SubdiskProfile& profile, std::span<const SubdiskProfile* const> extra, const Segment& segment,
                  double t0, double t1, double rho, double* radii, double* factors, std::size_t stride) {
    constexpr auto& rule = gauss_kronrod_rule<N>;
    constexpr std::size_t P = rule.points;
    std::array<double, P> x, jacobian{}, r, weight;
    const double half = (t1 - t0) * 0.5, centre = (t0 + t1) * 0.5;
    const double begin = segment.piece.begin, end = segment.piece.end, length = end - begin;
    for (std::size_t i = 0; i < P; ++i) {
        const double t = centre + half * rule.abscissa[i];
        switch (segment.cluster) {
            case Cluster::none:
                x[i] = begin + length * t;
                jacobian[i] = length * half;
                break;
            // x = begin + length t^3 (kink at begin) or end - length (1 - t)^3 (kink at end),
            // each written so that both ends keep their relative precision: near the far end
            // through 1 - (1 - d)^3 = d (3 - 3d + d^2), d the distance from it in t.
            // A kernel with a logarithmic singularity there (derivatives) takes the fifth power:
            // 1 - (1 - d)^5 = d (5 - 10d + 10d^2 - 5d^3 + d^4).
            case Cluster::at_begin: {
                const double d = 1.0 - t;
                if constexpr (Order == 5) {
                    const double t2 = t * t;
                    x[i] = t < 0.5 ? begin + length * (t2 * t2 * t)
                                   : end - length * (d * (5.0 + d * (-10.0 + d * (10.0 + d * (d - 5.0)))));
                    jacobian[i] = (5.0 * length) * (t2 * t2) * half;
                } else {
                    x[i] = t < 0.5 ? begin + length * (t * t * t) : end - length * (d * (3.0 + d * (d - 3.0)));
                    jacobian[i] = (3.0 * length) * (t * t) * half;
                }
                break;
            }
            case Cluster::at_end: {
                const double d = 1.0 - t;
                if constexpr (Order == 5) {
                    const double d2 = d * d;
                    x[i] = t < 0.5 ? begin + length * (t * (5.0 + t * (-10.0 + t * (10.0 + t * (t - 5.0)))))
                                   : end - length * (d2 * d2 * d);
                    jacobian[i] = (5.0 * length) * (d2 * d2) * half;
                } else {
                    x[i] = t < 0.5 ? begin + length * (t * (3.0 + t * (t - 3.0))) : end - length * (d * d * d);
                    jacobian[i] = (3.0 * length) * (d * d) * half;
                }
                break;
            }
            // Both ends: x = begin + length phi(t), phi = t^3 (10 - 15 t + 6 t^2), phi' = 30 t^2 (1 - t)^2,
            // with 1 - phi(t) = phi(1 - t).
            case Cluster::both: {
                const double d = 1.0 - t;
                const double near = t < 0.5 ? t : d;
                const double phi = near * near * near * (10.0 + near * (6.0 * near - 15.0));
                x[i] = t < 0.5 ? begin + length * phi : end - length * phi;
                jacobian[i] = (30.0 * length) * ((t * t) * (d * d)) * half;
                break;
            }
        }
    }
    if (extra.empty()) {
        profile.weights(segment.piece, x, r, weight);
        for (std::size_t i = 0; i < P; ++i) {
            radii[i] = rho * r[i];
            factors[i] = weight[i] * (r[i] * r[i]) * jacobian[i];
        }
        return;
    }
    // Every set's weights at once (they share the coordinate and its powers), then the factors.
    constexpr std::size_t MAX_SETS = 8;
    std::array<const SubdiskProfile*, MAX_SETS> sets{&profile};
    std::array<std::array<double, P>, MAX_SETS> set_weight;
    std::array<double*, MAX_SETS> set_weights{};
    const std::size_t count = 1 + extra.size();
    for (std::size_t j = 0; j < count; ++j) {
        if (j > 0) sets[j] = extra[j - 1];
        set_weights[j] = set_weight[j].data();
    }
    SubdiskProfile::law_weights_of_sets(std::span(sets.data(), count), x, r, std::span(set_weights.data(), count));
    for (std::size_t i = 0; i < P; ++i) radii[i] = rho * r[i];
    for (std::size_t j = 0; j < count; ++j) {
        double* set = factors + j * stride;
        for (std::size_t i = 0; i < P; ++i) set[i] = set_weight[j][i] * (r[i] * r[i]) * jacobian[i];
    }
}

// K and its error estimate |K - G| for a panel from its P values starting at values[0] (quantity
// q at q * stride). |K - G| estimates the error of G, far above that of K wherever the panel is
// resolved. (QUADPACK's sharper A (200 |K - G| / A)^(3/2), A = int |f - mean f|, was tried and
// found to under-estimate by 50x next to a branch point 1e-3 from the end of a panel, the centre
// of a star of rho = 1e3 with the lens on it: not used.)
// Quantity q takes the factors of its weight set, factors[set[q] factor_stride + i].
template <std::size_t N, std::size_t Q>
void panel_sums(const double* factors, std::size_t factor_stride, const std::array<std::size_t, Q>& set,
                const double* values, std::size_t stride, Panel<Q>& panel) {
    constexpr auto& rule = gauss_kronrod_rule<N>;
    for (std::size_t q = 0; q < Q; ++q) {
        const double* weight = factors + set[q] * factor_stride;
        double k = 0.0, g = 0.0;
        for (std::size_t i = 0; i < rule.points; ++i) {
            const double f = weight[i] * values[q * stride + i];
            k += rule.kronrod_weight[i] * f;
            g += rule.gauss_weight[i] * f;
        }
        panel.kronrod[q] = k;
        panel.error[q] = std::isnan(k) ? k : std::fabs(k - g);
    }
}

template <class Kernel>
std::array<double, Kernel::quantities> scales_of(const Kernel& kernel, const std::array<double, Kernel::quantities>& v) {
    if constexpr (requires { kernel.error_scales(v); }) {
        return kernel.error_scales(v);
    } else {
        std::array<double, Kernel::quantities> s;
        for (std::size_t q = 0; q < s.size(); ++q) s[q] = std::fabs(v[q]);
        return s;
    }
}

template <class Kernel>
std::span<const SubdiskProfile* const> weight_profiles_of(const Kernel& kernel) {
    if constexpr (requires { kernel.weight_profiles(); }) {
        return kernel.weight_profiles();
    } else {
        return {};
    }
}

template <class Kernel>
std::array<std::size_t, Kernel::quantities> weight_sets_of(const Kernel& kernel) {
    std::array<std::size_t, Kernel::quantities> set{};
    if constexpr (requires { kernel.weight_set(std::size_t{0}); }) {
        for (std::size_t q = 0; q < set.size(); ++q) set[q] = kernel.weight_set(q);
    }
    return set;
}

// The mass of `profile`'s atoms at radius r (0 where it has none).
inline double atom_mass_at(const SubdiskProfile& profile, double r) {
    double mass = 0.0;
    for (const SubdiskAtom& atom : profile.atoms()) {
        if (atom.radius == r) mass += atom.mass;
    }
    return mass;
}

// The power of the map that clusters points at the lens: 3, or the kernel's cluster_order() (5).
template <class Kernel>
int cluster_order_of(const Kernel& kernel) {
    if constexpr (requires { kernel.cluster_order(); }) {
        return kernel.cluster_order();
    } else {
        return 3;
    }
}

template <std::size_t N, class Kernel>
SubdiskIntegral<Kernel::quantities> integrate(const Kernel& kernel, const SubdiskProfile& profile, double u,
                                              double rho, double rtol) {
    constexpr std::size_t Q = Kernel::quantities;
    constexpr std::size_t P = gauss_kronrod_rule<N>.points;
    Scratch<Q>& work = scratch<Q>();
    SubdiskIntegral<Q> result;
    const std::span<const SubdiskProfile* const> extra = weight_profiles_of(kernel);
    const std::array<std::size_t, Q> set = weight_sets_of(kernel);
    const auto points = cluster_order_of(kernel) == 5 ? panel_points<N, 5> : panel_points<N, 3>;

    // The atoms: the profile's, then those of further weight sets at other radii.
    auto& atom_radii = work.atom_radii;
    atom_radii.clear();
    for (const SubdiskAtom& atom : profile.atoms()) atom_radii.push_back(atom.radius);
    for (const SubdiskProfile* other : extra) {
        for (const SubdiskAtom& atom : other->atoms()) {
            if (std::find(atom_radii.begin(), atom_radii.end(), atom.radius) == atom_radii.end()) {
                atom_radii.push_back(atom.radius);
            }
        }
    }

    // First call: every piece's panel and the atoms together (one batch for the vector paths).
    split_at_lens(profile, u / rho, rho, work.segments);
    auto& panels = work.panels;
    panels.clear();
    const std::size_t first = work.segments.size() * P + atom_radii.size();
    work.radii.resize(std::max(first, 2 * P));
    const std::size_t stride = work.radii.size();  // of the factors' weight sets
    work.factors.resize((1 + extra.size()) * stride);
    work.values.resize(Q * work.radii.size());
    for (std::uint32_t s = 0; s < work.segments.size(); ++s) {
        panels.push_back(Panel<Q>{s, 0.0, 1.0, {}, {}, 0.0});
        points(profile, extra, work.segments[s], 0.0, 1.0, rho, &work.radii[s * P], &work.factors[s * P],
                        stride);
    }
    const std::size_t atom_start = work.segments.size() * P;
    const auto atoms = profile.atoms();
    for (std::size_t j = 0; j < atom_radii.size(); ++j) {
        const double r = atom_radii[j];
        work.radii[atom_start + j] = rho * r;
        work.factors[atom_start + j] = (j < atoms.size() ? atoms[j].mass : 0.0) * (r * r);
        for (std::size_t e = 0; e < extra.size(); ++e) {
            work.factors[(e + 1) * stride + atom_start + j] = atom_mass_at(*extra[e], r) * (r * r);
        }
    }
    kernel(u, std::span<const double>(work.radii.data(), first), std::span<double>(work.values.data(), Q * first));
    result.evaluations += static_cast<std::uint32_t>(first);
    std::array<double, Q> atom_sum{};
    for (std::size_t q = 0; q < Q; ++q) {
        for (std::size_t j = 0; j < atom_radii.size(); ++j) {
            atom_sum[q] += work.factors[set[q] * stride + atom_start + j] * work.values[q * first + atom_start + j];
        }
    }
    for (std::size_t s = 0; s < panels.size(); ++s) {
        panel_sums<N>(&work.factors[s * P], stride, set, &work.values[s * P], first, panels[s]);
    }

    std::array<double, Q> total{}, error{};
    const std::size_t cap = panels.size() + SUBDISK_MAX_BISECTIONS;
    while (true) {
        total = atom_sum;
        error = {};
        for (const Panel<Q>& panel : panels) {
            for (std::size_t q = 0; q < Q; ++q) {
                total[q] += panel.kronrod[q];
                error[q] += panel.error[q];
            }
        }
        const std::array<double, Q> scale = scales_of(kernel, total);
        bool done = true, failed = false;
        for (std::size_t q = 0; q < Q; ++q) {
            if (std::isnan(total[q]) || std::isnan(error[q])) failed = true;
            if (!(error[q] <= rtol * scale[q])) done = false;
        }
        if (failed || done || panels.size() >= cap) {
            result.converged = done && !failed;
            break;
        }
        // Bisect the panel with the largest error relative to the tolerance.
        std::size_t worst = 0;
        double worst_badness = -1.0;
        for (std::size_t i = 0; i < panels.size(); ++i) {
            double badness = 0.0;
            for (std::size_t q = 0; q < Q; ++q) badness = std::max(badness, panels[i].error[q] / scale[q]);
            if (badness > worst_badness) {
                worst_badness = badness;
                worst = i;
            }
        }
        Panel<Q> left = panels[worst];
        const double middle = (left.t0 + left.t1) * 0.5;
        if (!(left.t0 < middle && middle < left.t1)) break;  // unresolvable: leave unconverged
        Panel<Q> right = left;
        left.t1 = middle;
        right.t0 = middle;
        const Segment& segment = work.segments[left.segment];
        points(profile, extra, segment, left.t0, left.t1, rho, &work.radii[0], &work.factors[0], stride);
        points(profile, extra, segment, right.t0, right.t1, rho, &work.radii[P], &work.factors[P], stride);
        kernel(u, std::span<const double>(work.radii.data(), 2 * P), std::span<double>(work.values.data(), Q * 2 * P));
        result.evaluations += 2 * P;
        panel_sums<N>(&work.factors[0], stride, set, &work.values[0], 2 * P, left);
        panel_sums<N>(&work.factors[P], stride, set, &work.values[P], 2 * P, right);
        panels[worst] = left;
        panels.push_back(right);
    }
    const double flux = profile.flux();
    for (std::size_t q = 0; q < Q; ++q) {
        result.value[q] = total[q] / flux;
        result.error[q] = error[q] / std::fabs(flux);
    }
    return result;
}

}  // namespace subdisk_detail

// The kernel integrated over the sub-disks of `profile` for a lens at u from the centre of a
// star of radius rho (Einstein radii, u >= 0, rho > 0 and normal enough that rho * r stays
// normal: the caller rescales tiny stars), to a relative tolerance rtol >= 1e-15. The order of the
// Gauss-Kronrod rule grows as rtol falls. Any thread; allocates only the first time a thread
// needs more scratch than before.
template <class Kernel>
SubdiskIntegral<Kernel::quantities> integrate_over_subdisks(const Kernel& kernel, const SubdiskProfile& profile,
                                                            double u, double rho, double rtol) {
    // The rules that needed the fewest values on a crossing light curve at each tolerance: a
    // table's segments are short, and low orders suffice on them.
    if (profile.is_table()) {
        if (rtol >= 1e-3) return subdisk_detail::integrate<1>(kernel, profile, u, rho, rtol);
        if (rtol >= 1e-5) return subdisk_detail::integrate<2>(kernel, profile, u, rho, rtol);
        if (rtol >= 1e-8) return subdisk_detail::integrate<3>(kernel, profile, u, rho, rtol);
        if (rtol >= 1e-12) return subdisk_detail::integrate<5>(kernel, profile, u, rho, rtol);
        return subdisk_detail::integrate<7>(kernel, profile, u, rho, rtol);
    }
    if (rtol >= 1e-2) return subdisk_detail::integrate<3>(kernel, profile, u, rho, rtol);
    if (rtol >= 1e-5) return subdisk_detail::integrate<5>(kernel, profile, u, rho, rtol);
    if (rtol >= 1e-7) return subdisk_detail::integrate<7>(kernel, profile, u, rho, rtol);
    if (rtol >= 1e-10) return subdisk_detail::integrate<10>(kernel, profile, u, rho, rtol);
    return subdisk_detail::integrate<15>(kernel, profile, u, rho, rtol);
}

}  // namespace vellomir
