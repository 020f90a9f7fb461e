#pragma once
// The ring magnification on a batch of lanes: heyrovsky.cpp's elliptic form at complementary
// parameters step by step, each lane doing the scalar IEEE operations in the scalar order, and
// its entry over an array of ring radii, which models_batch_per_isa.cpp puts in the table of its
// instruction set.
//
// Marked in `scalar`, for heyrovsky_magnification (which also gives their failures): negative or
// NaN arguments, circles through the lens and the band of its logarithmic expansion, and the
// lanes whose elliptic integrals the lane code leaves to the scalar routines.

#include <cstddef>
#include <limits>

#include "base/math_constants.hpp"
#include "ellip/ellip_lanes.hpp"
#include "models/heyrovsky.hpp"
#include "simd/lanes.hpp"

VELLOMIR_ISA_BEGIN
namespace heyrovsky_lanes {

// q: the Einstein radius in stellar radii, q >= 0.
[[gnu::always_inline]] inline V magnification(V l, V r, double q, M& scalar) noexcept {
    const V d = r - l;
    const V smaller = select(splat(q) < l, splat(q), l);  // std::min(l, q)
    scalar |= ~((l >= 0.0) & (r >= 0.0) & (d != 0.0)) | (fabs(d) < THROUGH_LENS_BAND * smaller);

    const V s = l + r;
    const double two_q = 2.0 * q;
    const V big = select(two_q < fabs(d), fabs(d), splat(two_q));  // std::max(two_q, |d|)
    const V a = two_q / big;
    const V b = d / big;
    const V h2 = a * a + b * b;
    const V big_s = select(two_q < s, s, splat(two_q));
    const V a_s = two_q / big_s;
    const V s_s = s / big_s;
    const V w = (d / s) * (big_s / big);
    const V m_complement = w * w * ((a_s * a_s + s_s * s_s) / h2);
    const V n_complement = (d / s) * (d / s);

    const V k = ellip_lanes::ellipk_complement(m_complement, scalar);
    const V p = ellip_lanes::ellippi_complement(n_complement, m_complement, scalar);
    return (big / s) * (a * a * k * 0.5 + b * b * p) * (2.0 / (PI * Lanes::sqrt(h2)));
}

// out[i] = heyrovsky_magnification(l, r[i], re, rstar), or NaN where it fails.
inline void magnification_batch(double l, const double* r, double re, double rstar, double* out,
                                std::size_t count) noexcept {
    const double q = re / rstar;
    const auto scalar = [&](std::size_t i) {
        const Result<double> ring = vellomir::heyrovsky_magnification(l, r[i], re, rstar);
        return ring.ok() ? ring.value() : std::numeric_limits<double>::quiet_NaN();
    };
    if (!(q >= 0.0)) {
        for (std::size_t i = 0; i < count; ++i) out[i] = scalar(i);
        return;
    }
    const V separation = splat(l);
    for_each_batch(
        count, out,
        [&](auto load, M& scalar_lanes) { return magnification(separation, load(r), q, scalar_lanes); },
        scalar);
}

}  // namespace heyrovsky_lanes
VELLOMIR_ISA_END
