// Derivatives of the uniform disk: against the star's arc integrals differentiated under the
// integral (tools/gen_derivative_references.py), at the rim, at the lens, across the switch to
// the far-field series, and against finite differences of the value.

#include "models/witt_mao_derivatives.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>
#include <iostream>
#include <limits>
#include <string>

#include "models/witt_mao.hpp"
#include "simd/simd_isa.hpp"
#include "reference_data.hpp"

namespace vellomir {
namespace {

using testing::read_reference;

std::string label(double u, double rho) {
    char text[64];
    std::snprintf(text, sizeof text, "u=%.17g rho=%.17g", u, rho);
    return text;
}

// Error of a derivative in units of its scale: max(|exact|, A / x), x the variable (the scale
// that matters where the derivative passes through zero).
double scaled_error(double got, double exact, double a, double x) {
    const double scale = x > 0.0 ? std::max(std::fabs(exact), a / x) : std::fabs(exact);
    return got == exact ? 0.0 : std::fabs(got - exact) / scale;
}

TEST(WittMaoDerivatives, MatchTheStarIntegrals) {
    double worst_u = 0.0, worst_rho = 0.0, worst_relative = 0.0;
    std::string where_u, where_rho, where_relative;
    int count = 0;
    for (const auto& row : read_reference("derivative_references.txt")) {
        if (row.tag != "disk") continue;
        const double u = row.number(0), rho = row.number(1);
        const double a = row.number(2), du = row.number(3), drho = row.number(4);
        const DiskGradient got = witt_mao_derivatives_scaled(u, rho);
        EXPECT_EQ(got.value, witt_mao_magnification_scaled(u, rho)) << label(u, rho);
        if (u == 0.0) {
            EXPECT_EQ(got.d_u, 0.0);
        }
        const double e_u = scaled_error(got.d_u, du, a, u), e_rho = scaled_error(got.d_rho, drho, a, rho);
        if (!(e_u <= worst_u)) worst_u = e_u, where_u = label(u, rho);
        if (!(e_rho <= worst_rho)) worst_rho = e_rho, where_rho = label(u, rho);
        // The plain relative error, where the derivative is not swamped by A / x.
        for (const auto& [g, e, x] : {std::tuple{got.d_u, du, u}, std::tuple{got.d_rho, drho, rho}}) {
            if (e != 0.0 && std::fabs(e) * x > 1e-3 * a) {
                const double r = std::fabs(g - e) / std::fabs(e);
                if (!(r <= worst_relative)) worst_relative = r, where_relative = label(u, rho);
            }
        }
        ++count;
    }
    EXPECT_GT(count, 100);
    std::cout << "[ worst ] dA/du: " << worst_u << " at " << where_u << "\n[ worst ] dA/drho: " << worst_rho
              << " at " << where_rho << "\n[ worst ] relative, where |x dA/dx| > 1e-3 A: " << worst_relative
              << " at " << where_relative << "\n";
    EXPECT_LT(worst_u, 1e-13) << where_u;
    EXPECT_LT(worst_rho, 1e-13) << where_rho;
}

TEST(WittMaoDerivatives, RimLensAndDegenerateArguments) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double rho : {1e-150, 1e-10, 0.01, 1.0, 1e3}) {
        const DiskGradient rim = witt_mao_derivatives_scaled(rho, rho);
        EXPECT_EQ(rim.value, witt_mao_magnification_scaled(rho, rho));
        EXPECT_EQ(rim.d_u, -inf);
        EXPECT_EQ(rim.d_rho, inf);
        // Next to the rim the derivatives are finite, of the sign of the logarithm, and grow.
        const DiskGradient below = witt_mao_derivatives_scaled(rho * (1 - 1e-12), rho);
        const DiskGradient further = witt_mao_derivatives_scaled(rho * (1 - 1e-6), rho);
        EXPECT_TRUE(std::isfinite(below.d_u) && below.d_u < further.d_u) << rho;
        const DiskGradient lens = witt_mao_derivatives_scaled(0.0, rho);
        EXPECT_EQ(lens.d_u, 0.0);
        EXPECT_LT(lens.d_rho, 0.0);
    }
    // Below rho ~ 1e-154 derivatives near the disk exceed the double range: they overflow with
    // their sign (the value itself is scaled and exact).
    for (double rho : {1e-200, 1e-250, 1e-300}) {
        const DiskGradient small = witt_mao_derivatives_scaled(0.5 * rho, rho);
        EXPECT_EQ(small.value, witt_mao_magnification_scaled(0.5 * rho, rho));
        EXPECT_EQ(small.d_u, -inf);
        EXPECT_EQ(small.d_rho, -inf);
        EXPECT_EQ(witt_mao_derivatives_scaled(0.0, rho).d_u, 0.0);
    }
    const DiskGradient point = witt_mao_derivatives_scaled(1.0, 0.0);
    EXPECT_EQ(point.value, witt_mao_magnification_scaled(1.0, 0.0));
    EXPECT_DOUBLE_EQ(point.d_u, -8.0 / std::pow(5.0, 1.5));
    EXPECT_EQ(point.d_rho, 0.0);
    for (double bad : {-1.0, std::numeric_limits<double>::quiet_NaN()}) {
        const DiskGradient g = witt_mao_derivatives_scaled(bad, 1.0);
        EXPECT_TRUE(std::isnan(g.value) && std::isnan(g.d_u) && std::isnan(g.d_rho));
        EXPECT_TRUE(std::isnan(witt_mao_derivatives_scaled(1.0, bad).d_rho));
    }
    // Far out the derivatives underflow towards zero with the right sign, never NaN.
    for (double u : {1e10, 1e60, 1e150, 1e300, inf}) {
        const DiskGradient far = witt_mao_derivatives_scaled(u, 0.5);
        EXPECT_TRUE(far.d_u <= 0.0 && far.d_rho >= 0.0) << u;
    }
}

TEST(WittMaoDerivatives, ContinuousAcrossTheSwitchToTheSeries) {
    // Both sides are accurate there, so they meet to the accuracy asked of each.
    for (double rho : {1e-10, 1e-3, 1.0, 100.0, 1e3}) {
        const double at = 3.0 * rho;
        const DiskGradient below = witt_mao_derivatives_scaled(std::nextafter(at, 0.0), rho);
        const DiskGradient above = witt_mao_derivatives_scaled(at, rho);
        EXPECT_LT(scaled_error(below.d_u, above.d_u, above.value, at), 2e-13) << rho;
        EXPECT_LT(scaled_error(below.d_rho, above.d_rho, above.value, rho), 2e-13) << rho;
    }
}

// Fourth-order central differences of the value, Richardson-extrapolated once: good to about
// 1e-9 of the derivative's scale away from the rim.
double numerical_derivative(auto f, double x, double h) {
    auto central = [&](double step) {
        return (8.0 * (f(x + step) - f(x - step)) - (f(x + 2 * step) - f(x - 2 * step))) / (12.0 * step);
    };
    return (16.0 * central(h / 2) - central(h)) / 15.0;
}

TEST(WittMaoDerivatives, AgreeWithFiniteDifferencesOfTheValue) {
    int count = 0;
    for (double rho = 1e-6; rho < 2e3; rho *= 3.7) {
        for (double ratio = 0.013; ratio < 40.0; ratio *= 1.61) {
            const double u = ratio * rho;
            const double gap = std::fabs(u - rho);
            if (gap < 0.05 * rho) continue;
            const double h = 0.01 * std::min(gap, u);
            const DiskGradient got = witt_mao_derivatives_scaled(u, rho);
            const double fu = numerical_derivative([&](double x) { return witt_mao_magnification_scaled(x, rho); }, u, h);
            const double fr = numerical_derivative([&](double x) { return witt_mao_magnification_scaled(u, x); }, rho,
                                                   0.01 * std::min(gap, rho));
            EXPECT_LT(scaled_error(got.d_u, fu, got.value, u), 1e-7) << label(u, rho) << " " << got.d_u << " " << fu;
            EXPECT_LT(scaled_error(got.d_rho, fr, got.value, rho), 1e-7) << label(u, rho) << " " << got.d_rho << " " << fr;
            ++count;
        }
    }
    EXPECT_GT(count, 100);
}

}  // namespace
}  // namespace vellomir

namespace vellomir {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(WittMaoDerivatives, BatchedPathsAreTheScalarBits) {
    // Separations about one radius and radii about one separation (the maps' two shapes),
    // across the lens, the rim band, the switch to the series and tiny disks, on every path.
    std::vector<double> u, rho;
    for (double r : {1e-250, 1e-10, 0.01, 1.0, 30.0}) {
        for (double ratio = 1e-3; ratio < 10.0; ratio *= 1.37) {
            for (double wobble : {1.0 - 1e-12, 1.0, 1.0 + 1e-9}) {
                u.push_back(ratio * wobble * r);
                rho.push_back(r);
            }
        }
        u.push_back(r);
        rho.push_back(r);
        u.push_back(0.0);
        rho.push_back(r);
    }
    u.push_back(std::numeric_limits<double>::quiet_NaN());
    rho.push_back(1.0);
    for (SimdIsa isa : {SimdIsa::scalar, SimdIsa::avx2, SimdIsa::avx512}) {
        if (!simd_isa_available(isa)) continue;
        std::vector<DiskGradient> out(u.size());
        witt_mao_derivatives_batch(u, rho, out, isa);
        std::vector<DiskGradient> one_u(rho.size());
        witt_mao_derivatives_batch(std::span<const double>(u.data() + 7, 1), rho, one_u, isa);
        for (std::size_t i = 0; i < u.size(); ++i) {
            const DiskGradient s = witt_mao_derivatives_scaled(u[i], rho[i]);
            const DiskGradient t = witt_mao_derivatives_scaled(u[7], rho[i]);
            EXPECT_TRUE(same_bits(out[i].value, s.value) && same_bits(out[i].d_u, s.d_u) &&
                        same_bits(out[i].d_rho, s.d_rho))
                << label(u[i], rho[i]) << " path " << simd_isa_name(isa);
            EXPECT_TRUE(same_bits(one_u[i].value, t.value) && same_bits(one_u[i].d_u, t.d_u) &&
                        same_bits(one_u[i].d_rho, t.d_rho))
                << label(u[7], rho[i]) << " path " << simd_isa_name(isa);
        }
    }
}

}  // namespace
}  // namespace vellomir
