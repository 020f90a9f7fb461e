#pragma once
// K, E, Π, RF and RJ on a batch of lanes: the scalar routines of legendre.cpp and carlson.cpp
// step by step, each lane doing the scalar IEEE operations in the scalar order, and their
// entries over arrays (the *_batch functions below), which ellip_batch_per_isa.cpp puts in the
// table of its instruction set.
//
// Each function computes the lanes on its main paths and adds the others to `scalar` (lanes
// already there are skipped): arguments that take a shortcut (equal Carlson arguments), an
// error, or a rare branch. The caller recomputes those lanes with the scalar routine, so a lane
// marked there may hold anything. Data-dependent loops run while any lane is active; a lane that
// has stopped keeps its values. Polynomial coefficients are gathered per lane from the padded
// tables. Per-step calls of libm (RJ's RC term, the final power) are made lane by lane with the
// scalar routine's own expressions; Π from its complements (Bulirsch's cel) needs none.

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

#include "base/math_constants.hpp"
#include "ellip/carlson.hpp"
#include "ellip/carlson_series.hpp"
#include "ellip/ellip_constants.hpp"
#include "ellip/legendre.hpp"
#include "ellip/legendre_tables_padded.hpp"
#include "simd/lanes.hpp"

VELLOMIR_ISA_BEGIN
namespace ellip_lanes {

using namespace ellip_constants;

// Horner's scheme of evaluate_taylor on the padded table, interval index = trunc(scaled). When
// every lane has the same interval (neighbouring arguments usually do) its coefficients are
// broadcast rather than gathered, and the padding is skipped: the scalar steps either way.
[[gnu::always_inline]] inline V taylor(const legendre_tables::PaddedTaylorTable& table, V scaled, V x) noexcept {
    const Lanes::I index = Lanes::truncate(scaled);
    bool shared = true;
    for (int i = 1; i < N; ++i) shared = shared && index[i] == index[0];
    if (shared) {
        const std::size_t interval = static_cast<std::size_t>(index[0]);
        const V t = x + (-table.centre[interval]);
        std::size_t j = table.leading_row[interval];
        V s = splat(table.coefficient[j][interval]);
        for (++j; j < legendre_tables::PaddedTaylorTable::terms; ++j) s = s * t + table.coefficient[j][interval];
        return s;
    }
    const V t = x + (-Lanes::gather(table.centre.data(), index));
    V s = Lanes::gather(table.coefficient[0].data(), index);
    for (std::size_t j = 1; j < legendre_tables::PaddedTaylorTable::terms; ++j) {
        s = s * t + Lanes::gather(table.coefficient[j].data(), index);
    }
    return s;
}

// Lanes whose interval index trunc(scaled) is 0 to 17, with NaN outside.
[[gnu::always_inline]] inline M has_polynomial(V scaled) noexcept { return (scaled > -1.0) & (scaled < 18.0); }

// K at m by the Taylor polynomial or the AGM, or, in the lanes of `complement`, by the AGM
// from root_mc = sqrt(1 - m) as given (legendre.cpp's ellipk and ellipk_complement).
[[gnu::always_inline]] inline V ellipk_core(V m, V root_mc, M complement, M& scalar) noexcept {
    const V scaled = 20.0 * m;
    const M polynomial = has_polynomial(scaled) & ~complement;
    const M agm = complement | (~polynomial & (m < 1.0) & (scaled >= -index_bound));
    scalar |= ~(polynomial | agm);
    V result = splat(0.0);
    if (any(polynomial & ~scalar)) {
        result = taylor(legendre_tables::k_padded, select(polynomial, scaled, splat(0.0)), m);
    }
    if (any(agm & ~scalar)) {
        // ellipk_agm
        V a = splat(1.0);
        V g = select(complement, root_mc, Lanes::sqrt(1.0 - select(agm, m, splat(0.0))));
        M active = agm & ~scalar;
        for (int update = 0; update < k_agm_cap; ++update) {
            active &= ~(fabs(a - g) < agm_tolerance * fabs(a));
            if (none(active)) break;
            const V next_a = (a + g) * 0.5;
            const V next_g = Lanes::sqrt(a * g);
            a = select(active, next_a, a);
            g = select(active, next_g, g);
        }
        result = select(agm, PI / (a + g), result);
    }
    return result;
}

[[gnu::always_inline]] inline V ellipk(V m, M& scalar) noexcept { return ellipk_core(m, splat(0.0), M{}, scalar); }

[[gnu::always_inline]] inline V ellipk_complement(V mc, M& scalar) noexcept {
    const M complement = (mc > 0.0) & (mc <= complement_switch);
    return ellipk_core(1.0 - mc, Lanes::sqrt(select(complement, mc, splat(1.0))), complement, scalar);
}

// E likewise (ellipe and ellipe_complement).
[[gnu::always_inline]] inline V ellipe_core(V m, V root_mc, M complement, M& scalar) noexcept {
    const M negative = m < 0.0;
    scalar |= m == -std::numeric_limits<double>::infinity();
    const V s = select(negative, Lanes::sqrt(1.0 - m), splat(1.0));
    const V m_prime = select(negative, m / (m - 1.0), m);
    const V scaled = 20.0 * m_prime;
    const M polynomial = has_polynomial(scaled) & ~complement;
    const M agm = complement | (~polynomial & (m_prime < 1.0) & (scaled >= -index_bound));
    scalar |= ~(polynomial | agm);
    V result = splat(0.0);
    if (any(polynomial & ~scalar)) {
        result = s * taylor(legendre_tables::e_padded, select(polynomial, scaled, splat(0.0)), m_prime);
    }
    if (any(agm & ~scalar)) {
        // scaled_ellipe_agm
        const V x0 = splat(1.0);
        const V y0 = select(complement, root_mc, Lanes::sqrt(1.0 - select(agm, m_prime, splat(0.0))));
        V a = x0;
        V b = y0;
        V sum = splat(0.0);
        V w = splat(0.25);
        M active = agm & ~scalar;
        for (int update = 0;; ++update) {
            active &= fabs(a - b) >= agm_tolerance * fabs(a);
            if (none(active)) break;
            if (update == e_agm_cap) {
                scalar |= active;
                break;
            }
            const V t = Lanes::sqrt(b * a);
            const V next_a = (a + b) * 0.5;
            const V next_w = w + w;
            const V next_sum = sum + (next_w * (next_a - t)) * (next_a - t);
            a = select(active, next_a, a);
            b = select(active, t, b);
            w = select(active, next_w, w);
            sum = select(active, next_sum, sum);
        }
        result = select(agm, s * ((x0 + y0) * (x0 + y0) * 0.25 - sum) * (PI / (a + b)), result);
    }
    return result;
}

[[gnu::always_inline]] inline V ellipe(V m, M& scalar) noexcept { return ellipe_core(m, splat(0.0), M{}, scalar); }

[[gnu::always_inline]] inline V ellipe_complement(V mc, M& scalar) noexcept {
    const M complement = (mc > 0.0) & (mc <= complement_switch);
    return ellipe_core(1.0 - mc, Lanes::sqrt(select(complement, mc, splat(1.0))), complement, scalar);
}

// RF(x, y, z): the AGM form when one argument is zero, else the duplication. Two equal
// arguments (the reductions to RC) go to the scalar routine.
[[gnu::always_inline]] inline V elliprf(V x, V y, V z, M& scalar) noexcept {
    scalar |= (x == y) | (x == z) | (y == z);
    // The scalar swaps: x = 0 trades places with z, else y = 0 does.
    const M x_zero = x == 0.0;
    const M y_zero = ~x_zero & (y == 0.0);
    const V z1 = select(x_zero, x, z);
    x = select(x_zero, z, x);
    z = select(y_zero, y, z1);
    y = select(y_zero, z1, y);

    const M agm = z == 0.0;
    const M duplication = ~agm;
    V result = splat(0.0);
    if (any(agm)) {
        V a = Lanes::sqrt(select(agm, x, splat(1.0)));
        V g = Lanes::sqrt(select(agm, y, splat(1.0)));
        M active = agm & ~scalar;
        for (int step = 0; step < rf_iteration_cap; ++step) {
            active &= fabs(a - g) >= agm_tolerance * fabs(a);
            if (none(active)) break;
            const V t = Lanes::sqrt(a * g);
            a = select(active, (a + g) * 0.5, a);
            g = select(active, t, g);
        }
        result = select(agm, PI / (a + g), result);
    }
    if (any(duplication)) {
        const V a0 = (x + y + z) / 3.0;
        V q = rf_start_factor *
              max_ignoring_nan(max_ignoring_nan(fabs(a0), fabs(a0 - x)), max_ignoring_nan(fabs(a0 - y), fabs(a0 - z)));
        V a = a0;
        V f = splat(1.0);
        V xn = x;
        V yn = y;
        V zn = z;
        M active = duplication & ~scalar;
        M converged = M{};
        for (int step = 0; step < rf_iteration_cap && any(active); ++step) {
            const V sx = Lanes::sqrt(xn);
            const V sy = Lanes::sqrt(yn);
            const V sz = Lanes::sqrt(zn);
            const V lambda = sx * sy + sx * sz + sy * sz;
            a = select(active, (a + lambda) * 0.25, a);
            xn = select(active, (xn + lambda) * 0.25, xn);
            yn = select(active, (yn + lambda) * 0.25, yn);
            zn = select(active, (zn + lambda) * 0.25, zn);
            q = select(active, q * 0.25, q);
            f = select(active, f * 4.0, f);
            const M done = active & (fabs(a) > q);
            converged |= done;
            active &= ~done;
        }
        const V value = carlson_series::rf_series(f, a, a0, x, y) / Lanes::sqrt(a);
        result = select(duplication, select(converged, value, splat(std::numeric_limits<double>::quiet_NaN())), result);
    }
    return result;
}

// RJ(x, y, z, p) for p > 0 by duplication. Coinciding arguments (x = y, y = z, z = p) and
// p <= 0 or NaN go to the scalar routine.
[[gnu::always_inline]] inline V elliprj(V x, V y, V z, V p, M& scalar) noexcept {
    const M lanes = ~((x == y) | (y == z) | (z == p)) & (p > 0.0);
    scalar |= ~lanes;
    const V a0 = (x + y + z + 2.0 * p) / 5.0;
    V delta = (p - x) * (p - y) * (p - z);
    const V q = rj_start_factor * max_ignoring_nan(max_ignoring_nan(fabs(a0 - x), fabs(a0 - y)),
                                                   max_ignoring_nan(fabs(a0 - z), fabs(a0 - p)));
    V a = a0;
    V f = splat(1.0);
    V sum = splat(0.0);
    V xn = x;
    V yn = y;
    V zn = z;
    V pn = p;
    M active = ~scalar;
    M converged = M{};
    for (int step = 0; step < rj_iteration_cap && any(active); ++step) {
        const V sx = Lanes::sqrt(xn);
        const V sy = Lanes::sqrt(yn);
        const V sz = Lanes::sqrt(zn);
        const V sp = Lanes::sqrt(pn);
        const V d = (sx + sp) * (sy + sp) * (sz + sp);
        const V e = delta / (d * d);
        // RC(1, 1 + e): 1 at e = 0, atan(s) / s through the square root for e > 0, the other
        // forms (and RC(1, b) near e = -1) lane by lane.
        const M zero = e == 0.0;
        const M positive = e > 0.0;
        const V s = Lanes::sqrt(select(positive, e, splat(1.0)));
        const M near_minus_one = (-1.5 < e) & (e < -0.5);
        const V b = 2.0 * sp * (pn + sx * (sy + sz) + sy * sz) / d;
        V rc = splat(1.0);
        rc = per_lane(active & positive, rc, [&](int i) { return std::atan(s[i]) / s[i]; });
        rc = per_lane(active & ~(zero | positive), rc, [&](int i) {
            return near_minus_one[i] ? elliprc(1.0, b[i]) : carlson_series::rc_one_one_plus(e[i]);
        });
        sum = select(active, sum + (f / d) * rc, sum);
        const V lambda = sx * sy + sx * sz + sy * sz;
        a = select(active, (a + lambda) * 0.25, a);
        f = select(active, f * 0.25, f);
        const M done = active & (a > f * q);
        converged |= done;
        active &= ~done;
        xn = select(active, (xn + lambda) * 0.25, xn);
        yn = select(active, (yn + lambda) * 0.25, yn);
        zn = select(active, (zn + lambda) * 0.25, zn);
        pn = select(active, (pn + lambda) * 0.25, pn);
        delta = select(active, delta * 0.015625, delta);
    }

    const V power = per_lane(converged, splat(0.0), [&](int i) { return std::pow(a[i], -1.5); });
    const V value = f * power * carlson_series::rj_series(f, a, a0, x, y, z) + 6.0 * sum;
    return select(converged, value, splat(std::numeric_limits<double>::quiet_NaN()));
}

// Π = RJ(0, y, 1, p) n / 3 + RF(0, y, 1) (DLMF 19.25.2) in `lanes`, with y = 1 - m and
// p = 1 - n; the other lanes, and those whose candidate the scalar routine would diagnose (not
// finite), go to the scalar routine.
[[gnu::always_inline]] inline V ellippi_core(V n, V y, V p, M lanes, M& scalar) noexcept {
    M inner = scalar | ~lanes;
    const V zero = splat(0.0);
    const V one = splat(1.0);
    const V v = (elliprj(zero, y, one, p, inner) * n) / 3.0 + elliprf(zero, y, one, inner);
    scalar |= inner | ~is_finite(v);
    return v;
}

// The lanes of ellippi's 0 < n < 1 - eps/2, n != m branch; m > 1 or NaN makes its candidate NaN.
[[gnu::always_inline]] inline M ellippi_direct(V n, V m) noexcept {
    return (n > 0.0) & (n <= just_below_one) & (m != n) & (m <= 1.0);
}

[[gnu::always_inline]] inline V ellippi(V n, V m, M& scalar) noexcept {
    return ellippi_core(n, 1.0 - m, 1.0 - n, ellippi_direct(n, m), scalar);
}

// cel.hpp's cel in `lanes`: each run's (p, a, b) as Bulirsch's start for p > 0 leaves it. The
// other lanes run along without ending the loop; callers give them harmless values.
struct CelRun {
    V p;
    V a;
    V b;
};

template <std::size_t Runs>
[[gnu::always_inline]] inline std::array<V, Runs> cel(V kc, std::array<CelRun, Runs> runs, M lanes) noexcept {
    V e = kc;
    V em = splat(1.0);
    M active = lanes;
    for (int update = 0; update < cel_cap; ++update) {
        for (CelRun& run : runs) {
            const V next_a = run.a + run.b / run.p;
            const V g = e / run.p;
            V next_b = run.b + run.a * g;
            next_b = next_b + next_b;
            const V next_p = g + run.p;
            run.a = select(active, next_a, run.a);
            run.b = select(active, next_b, run.b);
            run.p = select(active, next_p, run.p);
        }
        const V next_em = kc + em;
        const M done = active & (fabs(em - kc) <= em * cel_tolerance);
        em = select(active, next_em, em);
        active &= ~done;
        if (none(active)) break;
        V next_kc = Lanes::sqrt(e);
        next_kc = next_kc + next_kc;
        kc = select(active, next_kc, kc);
        e = select(active, next_kc * em, e);
    }
    std::array<V, Runs> value{};
    for (std::size_t i = 0; i < Runs; ++i) value[i] = HALF_PI * (runs[i].b + runs[i].a * em) / (em * (em + runs[i].p));
    return value;
}

// legendre.cpp's ellippi_cel in `lanes` (2^-1000 <= nc < 1, 0 < mc <= 1): cel(sqrt(mc), nc, 1, 1).
[[gnu::always_inline]] inline V ellippi_cel(V nc, V mc, M lanes) noexcept {
    const V one = splat(1.0);
    const V p = Lanes::sqrt(select(lanes, nc, one));
    return cel<1>(Lanes::sqrt(select(lanes, mc, one)), {{{p, one, 1.0 / p}}}, lanes)[0];
}

// ellippi_complement: the complements as given where 0 < nc < 1 and 0 < mc <= 1 (by cel from
// nc = 2^-1000 up, below by Carlson's forms), else Π at the rounded 1 - nc and 1 - mc.
[[gnu::always_inline]] inline V ellippi_complement(V nc, V mc, M& scalar) noexcept {
    const M complement = (nc > 0.0) & (nc < 1.0) & (mc > 0.0) & (mc <= 1.0);
    const M cel = complement & (nc >= cel_smallest_nc);
    V v = splat(0.0);
    if (any(~(scalar | cel))) {
        const V n = 1.0 - nc;
        const V m = 1.0 - mc;
        const V y = select(complement, mc, 1.0 - m);
        const V p = select(complement, nc, 1.0 - n);
        M inner = scalar | cel;
        v = ellippi_core(n, y, p, (complement | ellippi_direct(n, m)) & ~cel, inner);
        scalar |= inner & ~cel;
    }
    if (any(cel & ~scalar)) {
        const V c = ellippi_cel(nc, mc, cel & ~scalar);
        scalar |= cel & ~is_finite(c);  // the scalar routine diagnoses what is not finite
        v = select(cel, c, v);
    }
    return v;
}

// ---- Entries over arrays: out[i] for i < count, NaN where the scalar routine fails ----------

inline double scalar_value(const Result<double>& result) noexcept {
    return result.ok() ? result.value() : std::numeric_limits<double>::quiet_NaN();
}

inline void ellipk_batch(const double* m, double* out, std::size_t count) noexcept {
    for_each_batch(
        count, out, [&](auto load, M& scalar) { return ellipk(load(m), scalar); },
        [&](std::size_t i) { return scalar_value(vellomir::ellipk(m[i])); });
}

inline void ellipe_batch(const double* m, double* out, std::size_t count) noexcept {
    for_each_batch(
        count, out, [&](auto load, M& scalar) { return ellipe(load(m), scalar); },
        [&](std::size_t i) { return scalar_value(vellomir::ellipe(m[i])); });
}

inline void ellippi_batch(const double* n, const double* m, double* out, std::size_t count) noexcept {
    for_each_batch(
        count, out,
        [&](auto load, M& scalar) { return ellippi(load(n), load(m), scalar); },
        [&](std::size_t i) { return scalar_value(vellomir::ellippi(n[i], m[i])); });
}

inline void ellipk_complement_batch(const double* mc, double* out, std::size_t count) noexcept {
    for_each_batch(
        count, out, [&](auto load, M& scalar) { return ellipk_complement(load(mc), scalar); },
        [&](std::size_t i) { return scalar_value(vellomir::ellipk_complement(mc[i])); });
}

inline void ellipe_complement_batch(const double* mc, double* out, std::size_t count) noexcept {
    for_each_batch(
        count, out, [&](auto load, M& scalar) { return ellipe_complement(load(mc), scalar); },
        [&](std::size_t i) { return scalar_value(vellomir::ellipe_complement(mc[i])); });
}

inline void ellippi_complement_batch(const double* nc, const double* mc, double* out, std::size_t count) noexcept {
    for_each_batch(
        count, out,
        [&](auto load, M& scalar) { return ellippi_complement(load(nc), load(mc), scalar); },
        [&](std::size_t i) { return scalar_value(vellomir::ellippi_complement(nc[i], mc[i])); });
}

inline void elliprf_batch(const double* x, const double* y, const double* z, double* out, std::size_t count) noexcept {
    for_each_batch(
        count, out,
        [&](auto load, M& scalar) { return elliprf(load(x), load(y), load(z), scalar); },
        [&](std::size_t i) { return vellomir::elliprf_unchecked(x[i], y[i], z[i]); });
}

inline void elliprj_batch(const double* x, const double* y, const double* z, const double* p, double* out,
                          std::size_t count) noexcept {
    for_each_batch(
        count, out,
        [&](auto load, M& scalar) { return elliprj(load(x), load(y), load(z), load(p), scalar); },
        [&](std::size_t i) { return vellomir::elliprj_unchecked(x[i], y[i], z[i], p[i]); });
}

}  // namespace ellip_lanes

VELLOMIR_ISA_END
