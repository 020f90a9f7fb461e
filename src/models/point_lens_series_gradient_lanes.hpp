#pragma once
// The mean-value series and its derivatives (point_lens_series_gradient.cpp) on a batch of
// lanes, step by step, each lane doing the scalar IEEE operations in the scalar order: the
// numbers of terms per lane, then one pass from the last term of any lane down, in which a lane
// takes part from its own last term on (its sums are 0 until then, and 0 + x = x).

#include <array>
#include <cstddef>
#include <limits>
#include <span>

#include "models/point_lens_series.hpp"
#include "models/point_lens_series_gradient.hpp"
#include "models/point_lens_series_tables.hpp"
#include "simd/lanes.hpp"

VELLOMIR_ISA_BEGIN
namespace point_lens_series_gradient_lanes {

struct Gradient {
    V value, d_u, d_rho;
    V terms;                   // as SeriesGradient::terms, a whole number
    V truncation_bound;        // SeriesGradient::truncation_bound
    V value_truncation_bound;  // SeriesGradient::value_truncation_bound
};

// point_lens_mean_value_series_gradient(u, rho, moments[0, available)) in `lanes` (u > rho > 0,
// finite; 1 <= available <= POINT_LENS_SERIES_MAX_TERMS), and for each c < weights.size()
// weighted[c] = sum over the terms k of d_moment[k] weights[c][k], summed from the last term
// down (as a law's coefficients take them).
[[gnu::always_inline]] inline Gradient gradient(V u, V rho, const double* moments, std::size_t available, M lanes,
                                                std::span<const double* const> weights = {},
                                                V* weighted = nullptr) noexcept {
    namespace tables = point_lens_series_tables;
    constexpr double infinity = std::numeric_limits<double>::infinity();
    constexpr double negligible = POINT_LENS_SERIES_NEGLIGIBLE_TAIL;
    // eps, Y and y as point_lens_series_terms::variables, each form only where a lane takes it.
    const M far = u > 1.0;
    V eps = splat(0.0), big_y = eps, y = eps;
    if (!none(lanes & far)) {
        const V t = 4.0 / u / u;
        eps = t / (1.0 + t);
        big_y = 1.0 / (1.0 + t);
        y = 1.0 / Lanes::sqrt(1.0 + t);
    }
    if (!none(lanes & ~far)) {
        const V s = u * u;
        eps = select(far, eps, 4.0 / (s + 4.0));
        big_y = select(far, big_y, s / (s + 4.0));
        y = select(far, y, u / Lanes::sqrt(s + 4.0));
    }
    const V ratio = rho / u;
    const V z = ratio * ratio;

    // Terms per lane: the value's (point_lens_series_terms::value_terms) and the derivatives'
    // (the first k whose tail relative to d_rho's first term is negligible), else all. Where the
    // series diverges (z >= 1) every power is needed.
    const M converging = z < 1.0;
    V value_terms = splat(static_cast<double>(available)), terms = value_terms;
    V value_bound = splat(infinity), bound = value_bound;
    M value_open = lanes & converging, open = value_open;
    const bool every_power = any(lanes & ~converging);
    std::array<V, POINT_LENS_SERIES_MAX_TERMS + 1> powers;  // z^k
    powers[0] = splat(1.0);
    std::size_t computed = 0;
    const V one_minus_z = 1.0 - z;
    const V tail_divisor = one_minus_z * tables::B[1];
    const V value_reciprocal = 1.0 / one_minus_z, tail_reciprocal = 1.0 / tail_divisor;
    constexpr double clearly_above = negligible * (1.0 + 0x1p-40);
    for (std::size_t k = 1; k <= available && (every_power || any(open | value_open)); ++k) {
        powers[k] = powers[k - 1] * z;
        computed = k;
        const M last = k == available ? ~M{} : M{};
        // Each tail's quotient only where a lane may stop: its product with the reciprocal of
        // the divisor is within 2 ulps of it, so above `clearly_above` the quotient is above
        // the negligible tail too.
        if (any(value_open)) {
            const V numerator = tables::B[k] * powers[k];
            if (!none(value_open & (last | (numerator * value_reciprocal <= clearly_above)))) {
                const V value_tail = numerator / one_minus_z;
                const M value_found = value_open & (last | (value_tail <= negligible));
                value_terms = select(value_found, splat(static_cast<double>(k)), value_terms);
                value_bound = select(value_found, value_tail, value_bound);
                value_open &= ~value_found;
            }
        }
        if (any(open)) {
            const V numerator = static_cast<double>(k + 1) * tables::B[k] * powers[k - 1];
            if (!none(open & (last | (numerator * tail_reciprocal <= clearly_above)))) {
                const V tail = numerator / tail_divisor;
                const M found = open & (last | (tail <= negligible));
                terms = select(found, splat(static_cast<double>(k)), terms);
                bound = select(found, tail, bound);
                open &= ~found;
            }
        }
    }
    double most = 0.0;
    for (int i = 0; i < N; ++i) most = lanes[i] && terms[i] > most ? terms[i] : most;
    const std::size_t last_term = static_cast<std::size_t>(most);  // <= computed

    const double m0 = moments[0];
    const V w = eps * eps / y;
    V value_sum = splat(0.0), rho_sum = value_sum, u_sum = value_sum, series_sum = value_sum;
    for (std::size_t c = 0; c < weights.size(); ++c) weighted[c] = splat(0.0);
    for (std::size_t k = last_term - 1; k >= 1 && k <= computed; --k) {
        // Q_k and Q_k' by Horner's scheme (point_lens_series_terms::q_polynomial_and_slope).
        const double* c = tables::Q.data() + k * (k - 1);
        V q = splat(c[2 * k - 1]);
        V slope = splat(0.0);
        for (std::size_t j = 2 * k - 1; j-- > 0;) {
            slope = slope * big_y + q;
            q = q * big_y + c[j];
        }
        const double kd = static_cast<double>(k);
        const double moment = moments[k];
        const M in_value = kd < value_terms;
        const M in_terms = kd < terms;
        value_sum = select(in_value, z * (moment * q + value_sum), value_sum);
        series_sum = select(in_terms, series_sum + moment * (powers[k] * q), series_sum);
        rho_sum = select(in_terms, rho_sum + kd * (moment * (powers[k - 1] * q)), rho_sum);
        u_sum = select(in_terms, u_sum + moment * (powers[k] * ((2.0 * eps) * big_y * slope - 2.0 * kd * q)), u_sum);
        if (!weights.empty()) {
            const V d_moment = w * (powers[k] * q);
            for (std::size_t c = 0; c < weights.size(); ++c) {
                weighted[c] = select(in_terms, weighted[c] + d_moment * weights[c][k], weighted[c]);
            }
        }
    }
    const V point_excess = m0 / (2.0 * ((1.0 + y) * (1.0 + y)));
    const V bracket = point_excess + series_sum;
    const V one_plus_y = 1.0 + y;
    const V point_slope = m0 * eps * y / (one_plus_y * one_plus_y * one_plus_y);
    Gradient out;
    out.value = m0 + (eps * eps / y) * (point_excess + value_sum);
    out.d_rho = (2.0 * w) * (ratio / u) * rho_sum;
    out.d_u = (w / u) * ((u_sum - point_slope) - (1.0 + 3.0 * big_y) * bracket);
    out.terms = terms;
    out.truncation_bound = bound;
    out.value_truncation_bound = value_bound;
    return out;
}

// point_lens_mean_value_series_gradient_batch's entry over arrays.
inline void gradient_batch(const double* u, const double* rho, std::size_t count, const double* moments,
                           std::size_t moment_count, const double* const* weight_arrays, std::size_t weight_count,
                           const SeriesGradientColumns& out) noexcept {
    const std::size_t available = moment_count < POINT_LENS_SERIES_MAX_TERMS ? moment_count : POINT_LENS_SERIES_MAX_TERMS;
    const std::span<const double* const> weights(weight_arrays, weight_count);
    for (std::size_t first = 0; first < count; first += N) {
        const std::size_t lanes = count - first < static_cast<std::size_t>(N) ? count - first : N;
        // A short last batch repeats its last element in the spare lanes.
        V x, r;
        M active = M{};
        for (std::size_t lane = 0; lane < static_cast<std::size_t>(N); ++lane) {
            const std::size_t i = first + (lane < lanes ? lane : lanes - 1);
            x[lane] = u[i];
            r[lane] = rho[i];
            active[lane] = lane < lanes ? -1 : 0;
        }
        std::array<V, SERIES_GRADIENT_MAX_WEIGHTS> weighted;
        const Gradient g = gradient(x, r, moments, available, active, weights, weighted.data());
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const std::size_t i = first + lane;
            out.value[i] = g.value[lane];
            out.d_u[i] = g.d_u[lane];
            out.d_rho[i] = g.d_rho[lane];
            out.truncation_bound[i] = g.truncation_bound[lane];
            out.value_truncation_bound[i] = g.value_truncation_bound[lane];
            for (std::size_t c = 0; c < weight_count; ++c) out.weighted[c][i] = weighted[c][lane];
        }
    }
}

}  // namespace point_lens_series_gradient_lanes
VELLOMIR_ISA_END
