#pragma once
// The uniform disk's weighted centroid shift (centroid.cpp) on a batch of lanes: the closed form
// in Bulirsch's cel and the series about the centre, step by step, each lane doing the scalar
// IEEE operations in the scalar order, and its entries over arrays, which
// models_batch_per_isa.cpp puts in the table of its instruction set.
//
// Marked in `scalar`, for disk_weighted_centroid_shift: negative, NaN or infinite arguments, the
// point source, u = 0, the rim and small disks (rescaled). The far field (u >= 3 rho) is the
// mean-value series of centroid_series.cpp with the disk's moments 1 / (k + 1).

#include <array>
#include <cmath>
#include <cstddef>
#include <type_traits>

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

// root_of_square_plus_four; the form for |x| > 1 only where a lane takes it (sub-disks of small
// stars never do).
[[gnu::always_inline]] inline V root_of_square_plus_four(V x) noexcept {
    const V magnitude = fabs(x);
    const M large = magnitude > 1.0;
    const V small = Lanes::sqrt(x * x + 4.0);
    if (none(large)) return small;
    const V ratio = 2.0 / magnitude;
    return select(large, magnitude * Lanes::sqrt(1.0 + ratio * ratio), small);
}

// cel_difference in `lanes`.
[[gnu::always_inline]] inline V cel_difference(V kc, V root_nc, M lanes) noexcept {
    const V one = splat(1.0);
    root_nc = select(lanes, root_nc, one);
    const auto [x, z] = ellip_lanes::cel<2>(select(lanes, kc, one),
                                            {{{one, splat(0.0), one}, {root_nc, splat(0.0), root_nc}}}, lanes);
    return x - z;
}

// R_k(Y), term k's polynomial in Y (Horner's scheme from the highest power), for any number type.
template <class T>
[[gnu::always_inline]] inline T series_polynomial(std::size_t k, T big_y) noexcept {
    namespace tables = centroid_series_tables;
    const std::size_t begin = tables::OFFSET[k];
    std::size_t j = tables::OFFSET[k + 1] - 1;
    T r;
    if constexpr (std::is_same_v<T, double>) {
        r = tables::R[j];
    } else {
        r = splat(tables::R[j]);
    }
    while (j-- > begin) r = r * big_y + tables::R[j];
    return r;
}

// centroid_mean_value_series(u, rho, disk moments).weighted_shift in `lanes` (z <= 1/9), from
// the quantities of u alone: 1 / sqrt(u^2 + 4) and R_k(Y) as polynomial(k).
template <class Polynomial>
[[gnu::always_inline]] inline V disk_series_of(V u, V rho, V inverse_root, M lanes, const Polynomial& polynomial) noexcept {
    namespace tables = centroid_series_tables;
    const V ratio = rho / u;
    const V z = ratio * ratio;
    const V terms =
        terms_per_lane(z, lanes, [](std::size_t k) { return tables::C[k < series_terms ? k : series_terms - 1]; });
    const V sum = disk_terms(z, terms, lanes, polynomial);
    return (1.0 + sum) * inverse_root;
}

// The same with every quantity per lane.
[[gnu::always_inline]] inline V disk_series(V u, V rho, M lanes) noexcept {
    const M far = u > 1.0;
    const V t = 4.0 / u / u;
    const V s = u * u;
    const V big_y = select(far, 1.0 / (1.0 + t), s / (s + 4.0));
    const V inverse_root = select(far, 1.0 / (u * Lanes::sqrt(1.0 + t)), 1.0 / Lanes::sqrt(s + 4.0));
    return disk_series_of(u, rho, inverse_root, lanes, [&](std::size_t k) { return series_polynomial(k, big_y); });
}

// The quantities of one separation u, for sub-disks about it: the lanes' operations on one
// double (so the same bits), Y and the root once, and R_k(Y) once each as the terms call for them
// (the polynomials are most of the series' work, and all lanes and batches share them).
class SeparationSeries {
public:
    explicit SeparationSeries(double u) noexcept {
        const double t = 4.0 / u / u;
        const double s = u * u;
        const bool far = u > 1.0;
        big_y_ = far ? 1.0 / (1.0 + t) : s / (s + 4.0);
        inverse_root_ = splat(far ? 1.0 / (u * std::sqrt(1.0 + t)) : 1.0 / std::sqrt(s + 4.0));
    }

    V operator()(V u, V rho, M lanes) noexcept {
        return disk_series_of(u, rho, inverse_root_, lanes, [this](std::size_t k) {
            for (; ready_ <= k; ++ready_) polynomial_[ready_] = series_polynomial(ready_, big_y_);
            return splat(polynomial_[k]);
        });
    }

private:
    double big_y_;
    V inverse_root_;
    std::array<double, series_terms> polynomial_{};  // R_k(Y) for 1 <= k < ready_
    std::size_t ready_ = 1;
};

// The far series by series(u, rho, lanes).
template <class Series>
[[gnu::always_inline]] inline V weighted_shift(V u, V rho, M& scalar, Series&& series_of) noexcept {
    scalar |= ~((u > 0.0) & (rho >= SMALLEST_UNSCALED_RHO) & (u != rho) & is_finite(rho) & is_finite(u));
    const M series = ~scalar & (u >= SERIES_RATIO * rho);
    V result = splat(0.0);
    if (any(series)) result = series_of(u, rho, series);
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
        count, out,
        [&](auto load, M& scalar) {
            return weighted_shift(load(u), radius, scalar, [](V x, V r, M lanes) { return disk_series(x, r, lanes); });
        },
        [&](std::size_t i) { return disk_weighted_centroid_shift(u[i], rho); });
}

// out[i] = disk_weighted_centroid_shift(u, rho[i]).
inline void weighted_shift_radii_batch(double u, const double* rho, double* out, std::size_t count) noexcept {
    const V separation = splat(u);
    SeparationSeries series(u);
    for_each_batch(
        count, out, [&](auto load, M& scalar) { return weighted_shift(separation, load(rho), scalar, series); },
        [&](std::size_t i) { return disk_weighted_centroid_shift(u, rho[i]); });
}

}  // namespace centroid_lanes
VELLOMIR_ISA_END
