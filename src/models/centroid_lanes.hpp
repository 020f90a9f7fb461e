#pragma once
// The uniform disk's weighted centroid shift (centroid.cpp) on a batch of lanes: the closed form
// in Bulirsch's cel and the series about the centre, step by step, each lane doing the scalar
// IEEE operations in the scalar order, and its entries over arrays, which
// models_batch_per_isa.cpp puts in the table of its instruction set.
//
// Marked in `scalar`, for disk_weighted_centroid_shift: negative, NaN or infinite arguments, the
// point source, u = 0, the rim and small disks (rescaled). The far field (u >= 3 rho) is the
// mean-value series of centroid_series.cpp with the disk's moments 1 / (k + 1).

#include <cstddef>

#include "base/math_constants.hpp"
#include "ellip/ellip_lanes.hpp"
#include "models/centroid.hpp"
#include "models/centroid_series_tables.hpp"
#include "models/mean_value_series_lanes.hpp"
#include "simd/lanes.hpp"

VELLOMIR_ISA_BEGIN
namespace centroid_lanes {

using namespace centroid_forms;
using namespace mean_value_series_lanes;

// root_of_square_plus_four.
[[gnu::always_inline]] inline V root_of_square_plus_four(V x) noexcept {
    const V magnitude = fabs(x);
    const V ratio = 2.0 / magnitude;
    return select(magnitude > 1.0, magnitude * Lanes::sqrt(1.0 + ratio * ratio), Lanes::sqrt(x * x + 4.0));
}

// cel_difference in `lanes`.
[[gnu::always_inline]] inline V cel_difference(V kc, V root_nc, M lanes) noexcept {
    const V one = splat(1.0);
    root_nc = select(lanes, root_nc, one);
    const auto [x, z] = ellip_lanes::cel<2>(select(lanes, kc, one),
                                            {{{one, splat(0.0), one}, {root_nc, splat(0.0), root_nc}}}, lanes);
    return x - z;
}

// centroid_mean_value_series(u, rho, disk moments).weighted_shift in `lanes` (z <= 1/9).
[[gnu::always_inline]] inline V disk_series(V u, V rho, M lanes) noexcept {
    namespace tables = centroid_series_tables;
    const M far = u > 1.0;
    const V t = 4.0 / u / u;
    const V s = u * u;
    const V big_y = select(far, 1.0 / (1.0 + t), s / (s + 4.0));
    const V inverse_root = select(far, 1.0 / (u * Lanes::sqrt(1.0 + t)), 1.0 / Lanes::sqrt(s + 4.0));
    const V ratio = rho / u;
    const V z = ratio * ratio;

    const V terms =
        terms_per_lane(z, lanes, [](std::size_t k) { return tables::C[k < series_terms ? k : series_terms - 1]; });
    const V sum = disk_terms(z, terms, lanes, [&](std::size_t k) {
        const std::size_t begin = tables::OFFSET[k];
        std::size_t j = tables::OFFSET[k + 1] - 1;
        V r = splat(tables::R[j]);
        while (j-- > begin) r = r * big_y + tables::R[j];
        return r;
    });
    return (1.0 + sum) * inverse_root;
}

[[gnu::always_inline]] inline V weighted_shift(V u, V rho, M& scalar) noexcept {
    scalar |= ~((u > 0.0) & (rho >= SMALLEST_UNSCALED_RHO) & (u != rho) & is_finite(rho) & is_finite(u));
    const M series = ~scalar & (u >= SERIES_RATIO * rho);
    V result = splat(0.0);
    if (any(series)) result = disk_series(u, rho, series);
    const M lanes = ~scalar & ~series;
    if (none(lanes)) return result;
    const V d = u - rho;
    const V s = u + rho;
    const V g = root_of_square_plus_four(d);
    const V u_s = u / s;
    const V rho_s = rho / s;
    const V n = 4.0 * u_s * rho_s;
    const M centre = lanes & (n <= CENTRE_SERIES_LARGEST_N);
    const M cel = lanes & ~centre;
    if (any(centre)) {
        const V two_g = 2.0 / g;
        const V m = n * (two_g * two_g);
        result = select(centre, u_s * (d / s) * centre_series(n, m) / g, result);
    }
    if (any(cel)) {
        const V root_nc = fabs(d) / s;
        const V h = root_of_square_plus_four(s);
        const V kc = root_nc * (h / g);
        result = select(cel, 4.0 * d * cel_difference(kc, root_nc, cel) / (PI * g * rho), result);
    }
    return result;
}

// out[i] = disk_weighted_centroid_shift(u[i], rho).
inline void weighted_shift_batch(const double* u, double rho, double* out, std::size_t count) noexcept {
    const V radius = splat(rho);
    for_each_batch(
        count, out, [&](auto load, M& scalar) { return weighted_shift(load(u), radius, scalar); },
        [&](std::size_t i) { return disk_weighted_centroid_shift(u[i], rho); });
}

// out[i] = disk_weighted_centroid_shift(u, rho[i]).
inline void weighted_shift_radii_batch(double u, const double* rho, double* out, std::size_t count) noexcept {
    const V separation = splat(u);
    for_each_batch(
        count, out, [&](auto load, M& scalar) { return weighted_shift(separation, load(rho), scalar); },
        [&](std::size_t i) { return disk_weighted_centroid_shift(u, rho[i]); });
}

}  // namespace centroid_lanes
VELLOMIR_ISA_END
