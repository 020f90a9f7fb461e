#pragma once
// The uniform-disk magnification on a batch of lanes: witt_mao.cpp's general case (elliptic
// integrals at complementary parameters) and its mean-value series far from the lens
// (point_lens_series.cpp), step by step, each lane doing the scalar IEEE operations in the
// scalar order, and its entries over arrays, which models_batch_per_isa.cpp puts in the table of
// its instruction set.
//
// Marked in `scalar`, for witt_mao_magnification_scaled: negative or NaN arguments, the point
// source (rho = 0), very large and very small disks, the lens exactly on the rim (an arctangent)
// and the lanes whose elliptic integrals the lane code leaves to the scalar routines.

#include <cstddef>
#include <limits>

#include "base/math_constants.hpp"
#include "ellip/ellip_lanes.hpp"
#include "models/mean_value_series_lanes.hpp"
#include "models/point_lens_series_tables.hpp"
#include "models/witt_mao.hpp"
#include "simd/lanes.hpp"

VELLOMIR_ISA_BEGIN
namespace witt_mao_lanes {

using namespace witt_mao_forms;
using namespace mean_value_series_lanes;

// point_lens_mean_value_series(u, rho, moments).value with the disk's moments 1 / (k + 1).
[[gnu::always_inline]] inline V disk_series(V u, V rho, M lanes) noexcept {
    namespace tables = point_lens_series_tables;
    const M far = u > 1.0;
    const V t = 4.0 / u / u;
    const V s = u * u;
    const V eps = select(far, t / (1.0 + t), 4.0 / (s + 4.0));
    const V big_y = select(far, 1.0 / (1.0 + t), s / (s + 4.0));
    const V y = select(far, 1.0 / Lanes::sqrt(1.0 + t), u / Lanes::sqrt(s + 4.0));
    const V ratio = rho / u;
    const V z = ratio * ratio;

    const V terms = terms_per_lane(z, lanes & (z < 1.0), [](std::size_t k) { return tables::B[k]; });
    const V sum = disk_terms(z, terms, lanes, [&](std::size_t k) {
        const double* c = tables::Q.data() + k * (k - 1);
        V q = splat(c[2 * k - 1]);
        for (std::size_t j = 2 * k - 1; j-- > 0;) q = q * big_y + c[j];
        return q;
    });
    const double m0 = 1.0;
    const V point_excess = m0 / (2.0 * ((1.0 + y) * (1.0 + y)));
    return m0 + (eps * eps / y) * (point_excess + sum);
}

// The general case's quantities: its parameters, E, K and Pi at their complements, and the
// terms of the value (witt_mao_derivatives_lanes.hpp takes the derivatives from them too).
struct GeneralTerms {
    V difference, sum, g2, g, m_complement;
    V e, k, p;
    V d_rho, e_factor, t_e, t_k, t_p;
    V a;  // before the clamp to 1
};

[[gnu::always_inline]] inline GeneralTerms general_terms(V u, V rho, M& scalar) noexcept {
    GeneralTerms t;
    t.difference = u - rho;
    t.sum = u + rho;
    const V w = t.difference / t.sum;
    const V n_complement = w * w;
    t.g2 = t.difference * t.difference + 4.0;
    t.g = Lanes::sqrt(t.g2);
    t.m_complement = n_complement * ((t.sum * t.sum + 4.0) / t.g2);

    t.e = ellip_lanes::ellipe_complement(t.m_complement, scalar);
    t.k = ellip_lanes::ellipk_complement(t.m_complement, scalar);
    t.p = ellip_lanes::ellippi_complement(n_complement, t.m_complement, scalar);

    t.d_rho = t.difference / rho;
    t.e_factor = (t.sum / rho) * (t.g / (2.0 * rho));
    t.t_e = t.e_factor * t.e;
    t.t_k = t.d_rho * ((t.difference * t.sum) * 0.5 + 4.0) / (t.g * rho) * t.k;
    t.t_p = 2.0 * (t.d_rho * t.d_rho) * (1.0 + rho * rho) / (t.g * t.sum) * t.p;
    t.a = ((t.t_e - t.t_k) + t.t_p) / PI;
    return t;
}

[[gnu::always_inline]] inline V general_case(V u, V rho, M& scalar) noexcept {
    const V a = general_terms(u, rho, scalar).a;
    return select(a < 1.0, splat(1.0), a);
}

[[gnu::always_inline]] inline V magnification(V u, V rho, M& scalar) noexcept {
    scalar |= ~((u >= 0.0) & (rho > 0.0) & (rho < LARGEST_RHO) & (rho >= SMALLEST_UNSCALED_RHO) & (u != rho));
    const M series = ~scalar & (u >= SERIES_RATIO * rho);
    M closed_form = scalar | series;  // the lanes the closed form skips, and then those it leaves
    V result = splat(0.0);
    if (any(series)) result = disk_series(u, rho, series);
    if (!none(~closed_form)) {
        const V closed = general_case(u, rho, closed_form);
        result = select(series, result, closed);
        scalar |= closed_form & ~series;
    }
    return result;
}

// out[i] = NaN where separation[i] < 0, else witt_mao_magnification_scaled(separation[i] * scale, rho).
inline void magnification_batch(const double* separation, double scale, double rho, double* out,
                                std::size_t count) noexcept {
    const V radius = splat(rho);
    for_each_batch(
        count, out,
        [&](auto load, M& scalar) {
            const V l = load(separation);
            scalar |= l < 0.0;
            return magnification(l * scale, radius, scalar);
        },
        [&](std::size_t i) {
            return separation[i] < 0.0 ? std::numeric_limits<double>::quiet_NaN()
                                       : witt_mao_magnification_scaled(separation[i] * scale, rho);
        });
}

// out[i] = witt_mao_magnification_scaled(u, rho[i]).
inline void magnification_radii_batch(double u, const double* rho, double* out, std::size_t count) noexcept {
    const V separation = splat(u);
    for_each_batch(
        count, out,
        [&](auto load, M& scalar) { return magnification(separation, load(rho), scalar); },
        [&](std::size_t i) { return witt_mao_magnification_scaled(u, rho[i]); });
}

}  // namespace witt_mao_lanes
VELLOMIR_ISA_END
