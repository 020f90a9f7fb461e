#pragma once
// Bulirsch's generalized complete elliptic integral
//   cel(kc, p, a, b) = int_0^{pi/2} (a cos^2 t + b sin^2 t) / ((cos^2 t + p sin^2 t) sqrt(cos^2 t + kc^2 sin^2 t)) dt
// R. Bulirsch, "Numerical calculation of elliptic integrals and elliptic functions. III",
// Numer. Math. 13, 305 (1969), for p > 0 and 0 < kc <= 1.
//
// The Gauss-Landen iteration: em and kc run a scaled arithmetic-geometric mean of 1 and kc (em
// the arithmetic, kc the geometric side), while a, b, p follow it so that the integral keeps its
// value; the convergence test on the means ends it, and at the limit it is
// (pi/2) (b + a em) / (em (em + p)). Several integrals of one kc share the mean: each run is a
// (p, a, b) of its own. Only + * / and sqrt are used, in the order written here; the lane twin
// is ellip_lanes.hpp's cel.

#include <array>
#include <cmath>
#include <cstddef>

#include "base/math_constants.hpp"
#include "ellip/ellip_constants.hpp"

namespace vellomir {

// One integral's start, as Bulirsch's start for p > 0 leaves it: p is the square root of cel's
// p, and b is cel's b divided by that root.
struct CelRun {
    double p;
    double a;
    double b;
};

// cel(kc, p, a, b) of each run, with 0 < kc <= 1 and every p > 0.
template <std::size_t Runs>
std::array<double, Runs> cel(double kc, std::array<CelRun, Runs> runs) noexcept {
    double e = kc;
    double em = 1.0;
    for (int update = 0; update < ellip_constants::cel_cap; ++update) {
        for (CelRun& run : runs) {
            const double f = run.a;
            run.a = run.a + run.b / run.p;
            const double g = e / run.p;
            run.b = run.b + f * g;
            run.b = run.b + run.b;
            run.p = g + run.p;
        }
        const double previous_em = em;
        em = kc + em;
        if (std::fabs(previous_em - kc) <= previous_em * ellip_constants::cel_tolerance) break;
        kc = std::sqrt(e);
        kc = kc + kc;
        e = kc * em;
    }
    std::array<double, Runs> value{};
    for (std::size_t i = 0; i < Runs; ++i) {
        value[i] = HALF_PI * (runs[i].b + runs[i].a * em) / (em * (em + runs[i].p));
    }
    return value;
}

}  // namespace vellomir
