#pragma once
// The closing steps of Carlson's duplication for RF, RD and RJ: the series in the elementary
// symmetric functions of the final deviations (B. C. Carlson, Numer. Algorithms 10, 13 (1995);
// RD's and RJ's eq. 2.7 with the E2 E5 and E3 E4 terms), and RJ's RC(1, 1 + e) per step. Written once
// over the number type: carlson.cpp evaluates them in double, ellip_lanes.hpp in the lane type
// (always inlined into its instruction set's code), each lane the same operations in the same
// order.

#include <cmath>

#include "ellip/carlson.hpp"

namespace vellomir::carlson_series {

// RF's series over its root: RF = rf_series(...) / sqrt(A_n), with A_n = a, the deviations
// (A0 - x) / (4^n A_n) for x and y and their negated sum for z.
template <class T>
[[gnu::always_inline]] inline T rf_series(T f, T a, T a0, T x, T y) noexcept {
    const T dx = (a0 - x) / (f * a);
    const T dy = (a0 - y) / (f * a);
    const T dz = -dx - dy;
    const T e2 = dx * dy - dz * dz;
    const T e3 = dx * dy * dz;
    return 1.0 + e3 * (1.0 / 14.0 + 3.0 * e3 / 104.0) +
           e2 * (-1.0 / 10.0 + e2 / 24.0 - 3.0 * e3 / 44.0 - 5.0 * (e2 * e2) / 208.0 + e2 * e3 / 16.0);
}

// The series shared by RD and RJ in E2 to E5.
template <class T>
[[gnu::always_inline]] inline T rd_rj_series(T e2, T e3, T e4, T e5) noexcept {
    return 1.0 - 3.0 * e2 / 14.0 + e3 / 6.0 + 9.0 * (e2 * e2) / 88.0 - 3.0 * e4 / 22.0 - 9.0 * (e2 * e3) / 52.0 +
           3.0 * e5 / 26.0 - (e2 * e2 * e2) / 16.0 + 3.0 * (e3 * e3) / 40.0 + 3.0 * (e2 * e4) / 20.0 +
           45.0 * (e2 * e2 * e3) / 272.0 - 9.0 * (e3 * e4 + e2 * e5) / 68.0;
}

// RJ's series from its final state: the deviations 4^-n (A0 - x) / A_n for x, y and z (f = 4^-n),
// p's from their sum.
template <class T>
[[gnu::always_inline]] inline T rj_series(T f, T a, T a0, T x, T y, T z) noexcept {
    const T dx = f * (a0 - x) / a;
    const T dy = f * (a0 - y) / a;
    const T dz = f * (a0 - z) / a;
    const T dp = (-dx - dy - dz) * 0.5;
    const T xyz = dx * dy * dz;
    const T e2 = dx * dy + dx * dz + dy * dz - 3.0 * (dp * dp);
    const T e3 = xyz + 2.0 * e2 * dp + 4.0 * (dp * dp * dp);
    const T e4 = (2.0 * xyz + e2 * dp + 3.0 * (dp * dp * dp)) * dp;
    const T e5 = xyz * (dp * dp);
    return rd_rj_series(e2, e3, e4, e5);
}

// RC(1, 1 + e) for the duplication step of RJ, in the form that keeps e accurate (the lanes call
// it lane by lane).
inline double rc_one_one_plus(double e) noexcept {
    if (e > 0.0) {
        const double s = std::sqrt(e);
        return std::atan(s) / s;
    }
    if (e == 0.0) {
        return 1.0;
    }
    if (e > -0.5 && e < 0.0) {
        const double s = std::sqrt(-e);
        return (std::log1p(s) - std::log1p(-s)) / (2.0 * s);
    }
    if (e >= -1.0 && e <= -0.5) {
        const double s = std::sqrt(-e);
        return std::log((1.0 + s) / std::sqrt(1.0 + e)) / s;
    }
    // e < -1 (and NaN): principal value.
    return std::sqrt(1.0 / (-e)) * elliprc(-e, -1.0 - e);
}

}  // namespace vellomir::carlson_series
