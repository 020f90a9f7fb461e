#pragma once
// The uniform disk's magnification with its derivatives (witt_mao_derivatives.cpp) on a batch of
// lanes: the general case from E, K and Pi at complementary parameters, and far from the lens
// the mean-value series differentiated term by term (point_lens_series_gradient_lanes.hpp), step
// by step, each lane doing the scalar IEEE operations in the scalar order; and its entry over
// arrays, which models_batch_per_isa.cpp puts in the table of its instruction set.
//
// Marked for witt_mao_derivatives_scaled: negative, NaN or infinite arguments, the point source,
// the lens on the rim, very large and very small disks, and the lanes whose elliptic integrals
// the lane code leaves to the scalar routines.

#include <cstddef>

#include "base/math_constants.hpp"
#include "ellip/ellip_lanes.hpp"
#include "models/point_lens_series_gradient_lanes.hpp"
#include "models/uniform_disk_moments.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_derivatives.hpp"
#include "models/witt_mao_lanes.hpp"
#include "simd/lanes.hpp"

VELLOMIR_ISA_BEGIN
namespace witt_mao_derivatives_lanes {

using namespace witt_mao_forms;
using namespace witt_mao_derivative_forms;

struct Gradient {
    V value, d_u, d_rho;
};

// kernel_over_m2_series.
[[gnu::always_inline]] inline V kernel_over_m2_series(V m) noexcept {
    V sum = splat(0.0);
    for (std::size_t i = PARAMETER_SERIES_TERMS; i-- > 0;) sum = sum * m + KERNEL_SERIES[i];
    return -HALF_PI * sum;
}

// general_case and finish, from the value's terms (witt_mao_lanes::general_terms).
[[gnu::always_inline]] inline Gradient general_case(V u, V rho, M& scalar) noexcept {
    const witt_mao_lanes::GeneralTerms t = witt_mao_lanes::general_terms(u, rho, scalar);

    // dA/du: the series of the kernel where m is small, else the kernel itself; 0 at u = 0.
    const V m = (4.0 * (u / t.sum) * (rho / t.sum)) * (4.0 / t.g2);
    const M small = m < SERIES_PARAMETER;
    V slope_u = splat(0.0);
    if (any(small)) {
        slope_u = (t.e_factor * m / PI) * ((16.0 / t.g2) * (rho / t.sum) / t.sum) * kernel_over_m2_series(m);
    }
    if (!none(~small)) {
        const V kernel = 2.0 * t.e - (1.0 + t.m_complement) * t.k;
        slope_u = select(small, slope_u, t.e_factor * kernel / (PI * u));
    }
    slope_u = select(u > 0.0, slope_u, splat(0.0));
    const V slope_rho =
        (2.0 / (PI * rho)) * ((4.0 * t.k - 2.0 * (t.d_rho * t.d_rho) * t.p) / (t.sum * t.g) + (t.t_k - t.t_e));
    return {select(t.a < 1.0, splat(1.0), t.a), slope_u, slope_rho};
}

[[gnu::always_inline]] inline Gradient derivatives(V u, V rho, M& scalar) noexcept {
    scalar |= ~((u >= 0.0) & is_finite(u) & (rho >= SMALLEST_UNSCALED_RHO) & (rho < LARGEST_RHO) & (u != rho));
    const M series = ~scalar & (u >= SERIES_RATIO * rho);
    M closed_form = scalar | series;  // the lanes the closed form skips, and then those it leaves
    Gradient result{splat(0.0), splat(0.0), splat(0.0)};
    if (any(series)) {
        const point_lens_series_gradient_lanes::Gradient g =
            point_lens_series_gradient_lanes::gradient(u, rho, UNIFORM_DISK_MOMENTS.data(), UNIFORM_DISK_MOMENTS.size(), series);
        result = {g.value, g.d_u, g.d_rho};
    }
    if (!none(~closed_form)) {
        const Gradient closed = general_case(u, rho, closed_form);
        result = {select(series, result.value, closed.value), select(series, result.d_u, closed.d_u),
                  select(series, result.d_rho, closed.d_rho)};
        scalar |= closed_form & ~series;
    }
    return result;
}

// store(i, value, d_u, d_rho) with witt_mao_derivatives_scaled(u[i or 0], rho[i or 0]) for
// i < count, batch by batch (store_batch(first, gradient) for whole batches without scalar
// lanes). A short last batch repeats its last element in the spare lanes.
template <class Store, class StoreBatch>
[[gnu::always_inline]] inline void for_each_batch(const double* u, bool one_u, const double* rho, bool one_rho,
                                                  std::size_t count, Store&& store, StoreBatch&& store_batch) noexcept {
    for (std::size_t first = 0; first < count; first += N) {
        const std::size_t lanes = count - first < static_cast<std::size_t>(N) ? count - first : N;
        V x, r;
        if (lanes == static_cast<std::size_t>(N)) {
            x = one_u ? splat(u[0]) : Lanes::load(u + first);
            r = one_rho ? splat(rho[0]) : Lanes::load(rho + first);
        } else {
            for (std::size_t lane = 0; lane < static_cast<std::size_t>(N); ++lane) {
                const std::size_t i = first + (lane < lanes ? lane : lanes - 1);
                x[lane] = one_u ? u[0] : u[i];
                r[lane] = one_rho ? rho[0] : rho[i];
            }
        }
        M scalar = M{};
        const Gradient g = derivatives(x, r, scalar);
        if (lanes == static_cast<std::size_t>(N) && none(scalar)) {
            store_batch(first, g);
            continue;
        }
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            if (scalar[lane]) {
                const DiskGradient d = witt_mao_derivatives_scaled(x[lane], r[lane]);
                store(first + lane, d.value, d.d_u, d.d_rho);
            } else {
                store(first + lane, g.value[lane], g.d_u[lane], g.d_rho[lane]);
            }
        }
    }
}

// out[i] = witt_mao_derivatives_scaled(u[i or 0], rho[i or 0]) for i < count.
inline void derivatives_batch(const double* u, bool one_u, const double* rho, bool one_rho, DiskGradient* out,
                              std::size_t count) noexcept {
    const auto store = [out](std::size_t i, double value, double d_u, double d_rho) { out[i] = {value, d_u, d_rho}; };
    for_each_batch(u, one_u, rho, one_rho, count, store, [&](std::size_t first, const Gradient& g) {
        for (int lane = 0; lane < N; ++lane) store(first + lane, g.value[lane], g.d_u[lane], g.d_rho[lane]);
    });
}

// The same into three arrays: value[i], d_u[i], d_rho[i].
inline void derivative_columns_batch(const double* u, bool one_u, const double* rho, bool one_rho, double* value,
                                     double* d_u, double* d_rho, std::size_t count) noexcept {
    for_each_batch(
        u, one_u, rho, one_rho, count,
        [=](std::size_t i, double a, double slope_u, double slope_rho) {
            value[i] = a;
            d_u[i] = slope_u;
            d_rho[i] = slope_rho;
        },
        [=](std::size_t first, const Gradient& g) {
            Lanes::store(value + first, g.value);
            Lanes::store(d_u + first, g.d_u);
            Lanes::store(d_rho + first, g.d_rho);
        });
}

}  // namespace witt_mao_derivatives_lanes
VELLOMIR_ISA_END
