#pragma once
// Integration of a uniform-disk kernel over the sub-disk stack of a radial profile
// (subdisk_profile.hpp): for each quantity q of the kernel,
//     value_q = (sum_j m_j r_j^2 k_q(rho r_j) + int_0^1 w(r) r^2 k_q(rho r) dr) / F,
// which for the uniform-disk magnification is the magnification of the profile.
// The integral is split where the sub-disk rim passes the lens (r = l = u / rho) and, just
// outside the star, at the distance of that point from the limb, so that the kink sits at an
// end of its pieces; there the piece is mapped by x = end -+ (length) t^3, which turns the
// (x - l) ln|x - l| kink into t^5 ln t. Each piece is integrated by an adaptive Gauss-Kronrod
// rule (QUADPACK's global strategy: bisect the panel with the largest error estimate |K - G|)
// until the summed estimate is below rtol times the value, or a panel cap is reached; the
// result says which. The kernel is called once per panel with all its radii (batched vector
// paths) and once for the atoms.
//
// Kernel requirements (a uniform disk of radius R about a lens at distance u, Einstein radii):
//     static constexpr std::size_t quantities;                   // Q >= 1
//     void operator()(double u, std::span<const double> radii,   // R_i = rho r_i
//                     std::span<double> out) const;              // out[q * radii.size() + i]
// and optionally
//     std::array<double, Q> error_scales(const std::array<double, Q>& values) const;
// the size each quantity's error is measured against (default |value_q|): a kernel whose
// quantities cross zero (derivatives) supplies a floor there.

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

enum class Cluster : std::uint8_t { none, at_begin, at_end };

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
    std::vector<double> atom_radii, atom_values;
};

template <std::size_t Q>
Scratch<Q>& scratch() {
    thread_local Scratch<Q> storage;
    return storage;
}

// The pieces of `profile` split at the lens, each with the end the kink is at.
inline void split_at_lens(const SubdiskProfile& profile, double l, std::vector<Segment>& out) {
    out.clear();
    for (const SubdiskPiece& piece : profile.pieces()) {
        double kink = -1.0;  // in the piece's coordinate
        if (piece.coordinate == SubdiskCoordinate::radius) {
            if (l > 0.0) kink = l;  // at l = 0, r^2 K = r sqrt(rho^2 r^2 + 4) / rho is smooth
        } else if (l < 1.0) {
            kink = std::sqrt(std::sqrt(1.0 - l));  // s of r = l; exact 1 - l from l >= 1/2
        } else if (l > 1.0) {
            // The kink lies outside the star, its distance from the limb l - 1 = -s^4 makes
            // a singular point at |s| = (l - 1)^(1/4) off the axis: a break there.
            const double s = std::sqrt(std::sqrt(l - 1.0));
            if (piece.begin < s && s < piece.end) {
                out.push_back({SubdiskPiece{piece.begin, s, piece.coordinate, piece.density}, Cluster::none});
                out.push_back({SubdiskPiece{s, piece.end, piece.coordinate, piece.density}, Cluster::none});
                continue;
            }
        }
        if (piece.begin < kink && kink < piece.end) {
            out.push_back({SubdiskPiece{piece.begin, kink, piece.coordinate, piece.density}, Cluster::at_end});
            out.push_back({SubdiskPiece{kink, piece.end, piece.coordinate, piece.density}, Cluster::at_begin});
        } else {
            const Cluster cluster = kink == piece.begin ? Cluster::at_begin
                                    : kink == piece.end ? Cluster::at_end
                                                        : Cluster::none;
            out.push_back({piece, cluster});
        }
    }
}

template <std::size_t N, class Kernel>
void evaluate_panel(const Kernel& kernel, const SubdiskProfile& profile, const Segment& segment, double u,
                    double rho, Panel<Kernel::quantities>& panel) {
    constexpr std::size_t Q = Kernel::quantities;
    constexpr auto& rule = gauss_kronrod_rule<N>;
    constexpr std::size_t P = rule.points;
    std::array<double, P> x, jacobian, r, weight, radii;
    std::array<double, Q * P> values;
    const double half = (panel.t1 - panel.t0) * 0.5, centre = (panel.t0 + panel.t1) * 0.5;
    const double begin = segment.piece.begin, end = segment.piece.end, length = end - begin;
    for (std::size_t i = 0; i < P; ++i) {
        const double t = centre + half * rule.abscissa[i];
        switch (segment.cluster) {
            case Cluster::none:
                x[i] = begin + length * t;
                jacobian[i] = length * half;
                break;
            case Cluster::at_begin:
                x[i] = begin + length * (t * t * t);
                jacobian[i] = (3.0 * length) * (t * t) * half;
                break;
            case Cluster::at_end:
                x[i] = end - length * ((1.0 - t) * (1.0 - t) * (1.0 - t));
                jacobian[i] = (3.0 * length) * ((1.0 - t) * (1.0 - t)) * half;
                break;
        }
    }
    profile.weights(segment.piece, x, r, weight);
    for (std::size_t i = 0; i < P; ++i) radii[i] = rho * r[i];
    kernel(u, std::span<const double>(radii), std::span<double>(values));
    for (std::size_t q = 0; q < Q; ++q) {
        double k = 0.0, g = 0.0;
        for (std::size_t i = 0; i < P; ++i) {
            const double f = weight[i] * (r[i] * r[i]) * values[q * P + i] * jacobian[i];
            k += rule.kronrod_weight[i] * f;
            g += rule.gauss_weight[i] * f;
        }
        panel.kronrod[q] = k;
        panel.error[q] = std::fabs(k - g);
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

template <std::size_t N, class Kernel>
SubdiskIntegral<Kernel::quantities> integrate(const Kernel& kernel, const SubdiskProfile& profile, double u,
                                              double rho, double rtol) {
    constexpr std::size_t Q = Kernel::quantities;
    constexpr std::size_t P = gauss_kronrod_rule<N>.points;
    Scratch<Q>& work = scratch<Q>();
    SubdiskIntegral<Q> result;

    // The atoms, in one call.
    std::array<double, Q> atoms{};
    const auto atom_list = profile.atoms();
    if (!atom_list.empty()) {
        work.atom_radii.resize(atom_list.size());
        work.atom_values.resize(Q * atom_list.size());
        for (std::size_t j = 0; j < atom_list.size(); ++j) work.atom_radii[j] = rho * atom_list[j].radius;
        kernel(u, std::span<const double>(work.atom_radii), std::span<double>(work.atom_values));
        for (std::size_t q = 0; q < Q; ++q) {
            for (std::size_t j = 0; j < atom_list.size(); ++j) {
                const double r = atom_list[j].radius;
                atoms[q] += atom_list[j].mass * (r * r) * work.atom_values[q * atom_list.size() + j];
            }
        }
        result.evaluations += static_cast<std::uint32_t>(atom_list.size());
    }

    split_at_lens(profile, u / rho, work.segments);
    auto& panels = work.panels;
    panels.clear();
    for (std::uint32_t s = 0; s < work.segments.size(); ++s) {
        panels.push_back(Panel<Q>{s, 0.0, 1.0, {}, {}, 0.0});
        evaluate_panel<N>(kernel, profile, work.segments[s], u, rho, panels.back());
        result.evaluations += P;
    }

    std::array<double, Q> total{}, error{};
    const auto sum_panels = [&] {
        total = atoms;
        error = {};
        for (const Panel<Q>& panel : panels) {
            for (std::size_t q = 0; q < Q; ++q) {
                total[q] += panel.kronrod[q];
                error[q] += panel.error[q];
            }
        }
    };
    const std::size_t cap = panels.size() + SUBDISK_MAX_BISECTIONS;
    while (true) {
        sum_panels();
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
        evaluate_panel<N>(kernel, profile, work.segments[left.segment], u, rho, left);
        evaluate_panel<N>(kernel, profile, work.segments[right.segment], u, rho, right);
        result.evaluations += 2 * P;
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
    if (rtol >= 1e-5) return subdisk_detail::integrate<7>(kernel, profile, u, rho, rtol);
    if (rtol >= 1e-9) return subdisk_detail::integrate<7>(kernel, profile, u, rho, rtol);
    return subdisk_detail::integrate<10>(kernel, profile, u, rho, rtol);
}

}  // namespace vellomir
