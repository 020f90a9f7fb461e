#pragma once
// The pieces of the point-lens mean-value series (point_lens_series.cpp) that its value and its
// derivatives (point_lens_series_gradient.cpp) share: the variables of u and rho, the number of
// terms the value sums, and the polynomials Q_k. One text, so that the two stay the same bits.

#include <cmath>
#include <cstddef>
#include <limits>

#include "models/point_lens_series.hpp"
#include "models/point_lens_series_tables.hpp"

namespace vellomir::point_lens_series_terms {

static_assert(POINT_LENS_SERIES_MAX_TERMS == point_lens_series_tables::TABULATED_TERMS);

// eps = 4 / (u^2 + 4), Y = u^2 / (u^2 + 4), y = sqrt(Y) and z = (rho / u)^2.
struct Variables {
    double eps, big_y, y, ratio, z;  // ratio = rho / u
};

// Without overflow or underflow of u^2 where it matters: beyond u = 1 through t = 4 / u^2, which
// only underflows where eps^2 no longer counts next to 1.
inline Variables variables(double u, double rho) noexcept {
    Variables v;
    if (u > 1.0) {
        const double t = 4.0 / u / u;
        v.eps = t / (1.0 + t);
        v.big_y = 1.0 / (1.0 + t);
        v.y = 1.0 / std::sqrt(1.0 + t);
    } else {
        const double s = u * u;
        v.eps = 4.0 / (s + 4.0);
        v.big_y = s / (s + 4.0);
        v.y = u / std::sqrt(s + 4.0);
    }
    v.ratio = rho / u;
    v.z = v.ratio * v.ratio;
    return v;
}

// The tail bound B_k z^k / (1 - z) of the value after k terms, z^k given as `power`.
inline double value_tail(std::size_t k, double power, double z) noexcept {
    return point_lens_series_tables::B[k] * power / (1.0 - z);
}

// Whether the value stops after k of `available` terms: its tail is negligible, or there are no more.
inline bool value_stops(std::size_t k, std::size_t available, double tail) noexcept {
    return k == available || tail <= POINT_LENS_SERIES_NEGLIGIBLE_TAIL;
}

// The value's terms 1 .. terms - 1 are summed, smallest first, by Horner's scheme in z.
struct TermCount {
    std::size_t terms;
    double bound;  // the tail bound after them (+inf where the series diverges)
};

// The first K whose tail bound is negligible, else all.
inline TermCount value_terms(double z, std::size_t available) noexcept {
    TermCount count{available, std::numeric_limits<double>::infinity()};
    if (z < 1.0) {
        double power = 1.0;
        for (std::size_t k = 1; k <= available; ++k) {
            power *= z;
            const double tail = value_tail(k, power, z);
            if (value_stops(k, available, tail)) return {k, tail};
        }
    }
    return count;
}

// Q_k at Y by Horner's scheme.
inline double q_polynomial(std::size_t k, double big_y) noexcept {
    const double* c = point_lens_series_tables::Q.data() + k * (k - 1);
    double sum = c[2 * k - 1];
    for (std::size_t j = 2 * k - 1; j-- > 0;) sum = sum * big_y + c[j];
    return sum;
}

struct PolynomialValue {
    double value;  // q_polynomial(k, Y), the same bits
    double slope;  // Q_k'(Y)
};

// Q_k and Q_k' at Y, the value in q_polynomial's order.
inline PolynomialValue q_polynomial_and_slope(std::size_t k, double big_y) noexcept {
    const double* c = point_lens_series_tables::Q.data() + k * (k - 1);
    double sum = c[2 * k - 1];
    double slope = 0.0;
    for (std::size_t j = 2 * k - 1; j-- > 0;) {
        slope = slope * big_y + sum;
        sum = sum * big_y + c[j];
    }
    return {sum, slope};
}

// The value's closing step: m_0 + (eps^2 / y) (m_0 / (2 (1 + y)^2) + sum).
inline double point_excess(double m0, double y) noexcept { return m0 / (2.0 * ((1.0 + y) * (1.0 + y))); }

}  // namespace vellomir::point_lens_series_terms
