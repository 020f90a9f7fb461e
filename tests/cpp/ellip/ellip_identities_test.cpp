// Identities on random arguments: each side goes through a different evaluation
// path (Taylor polynomial, AGM, duplication, transformation), so an error in one
// path shows as a violated identity. References: DLMF chapter 19.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "ellip/carlson.hpp"
#include "ellip/legendre.hpp"

namespace vellomir {
namespace {

constexpr double epsilon = 2.220446049250313e-16;
constexpr int samples = 400;

double value_of(const Result<double>& r) {
    EXPECT_TRUE(r.ok()) << r.message();
    return r.value();
}

class Identities : public ::testing::Test {
protected:
    // Magnitudes spread evenly in log between lo and hi.
    double log_uniform(double lo, double hi) {
        return std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(rng_));
    }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

private:
    std::mt19937_64 rng_{0x5eed'e111};
};

TEST_F(Identities, RdCyclicSum) {
    // RD(x, y, z) + RD(y, z, x) + RD(z, x, y) = 3 / sqrt(x y z) (DLMF 19.21.7).
    for (int i = 0; i < samples; ++i) {
        const double x = log_uniform(1e-3, 1e3), y = log_uniform(1e-3, 1e3), z = log_uniform(1e-3, 1e3);
        const double sum = elliprd_unchecked(x, y, z) + elliprd_unchecked(y, z, x) + elliprd_unchecked(z, x, y);
        const double exact = 3.0 / std::sqrt(x * y * z);
        EXPECT_NEAR(sum, exact, 12.0 * epsilon * exact) << x << ' ' << y << ' ' << z;
    }
}

TEST_F(Identities, CarlsonSymmetryAndHomogeneity) {
    // RF and RJ are symmetric in x, y, z; RF(4x, 4y, 4z) = RF(x, y, z) / 2, RJ(4 ...) = RJ / 8.
    for (int i = 0; i < samples; ++i) {
        const double x = log_uniform(1e-3, 1e3), y = log_uniform(1e-3, 1e3), z = log_uniform(1e-3, 1e3);
        const double p = log_uniform(1e-3, 1e3);
        const double rf = elliprf_unchecked(x, y, z);
        EXPECT_NEAR(elliprf_unchecked(z, x, y), rf, 4.0 * epsilon * rf);
        EXPECT_NEAR(elliprf_unchecked(4.0 * x, 4.0 * y, 4.0 * z), rf / 2.0, 4.0 * epsilon * rf);
        const double rj = elliprj_unchecked(x, y, z, p);
        EXPECT_NEAR(elliprj_unchecked(y, z, x, p), rj, 16.0 * epsilon * rj);
        EXPECT_NEAR(elliprj_unchecked(4.0 * x, 4.0 * y, 4.0 * z, 4.0 * p), rj / 8.0, 16.0 * epsilon * rj);
    }
}

TEST_F(Identities, DegenerateCasesMatchTheGeneralPath) {
    // A shortcut and the duplication next to it must agree: RC(x, y) against RF(x, y, y(1 + d))
    // and RD(x, y, z) against RJ(x, y, z, z(1 + d)), with d small enough not to matter.
    constexpr double d = 1e-12;
    for (int i = 0; i < samples; ++i) {
        const double x = log_uniform(1e-3, 1e3), y = log_uniform(1e-3, 1e3), z = log_uniform(1e-3, 1e3);
        const double rc = elliprc(x, y);
        EXPECT_NEAR(elliprf_unchecked(x, y, y * (1.0 + d)), rc, 2.0 * d * rc + 8.0 * epsilon * rc) << x << ' ' << y;
        const double rd = elliprd_unchecked(x, y, z);
        EXPECT_NEAR(elliprj_unchecked(x, y, z, z * (1.0 + d)), rd, 4.0 * d * rd + 16.0 * epsilon * rd)
            << x << ' ' << y << ' ' << z;
    }
}

TEST_F(Identities, LegendreRelation) {
    // E(m) K(1 - m) + E(1 - m) K(m) - K(m) K(1 - m) = pi / 2 (DLMF 19.7.1); m below 0.1 pairs a
    // polynomial with the AGM near 1.
    for (int i = 0; i < samples; ++i) {
        const double m = i % 2 == 0 ? uniform(1e-6, 1.0 - 1e-6) : log_uniform(1e-6, 0.1);
        const double mc = 1.0 - m;
        const double k = value_of(ellipk(m)), kc = value_of(ellipk(mc));
        const double e = value_of(ellipe(m)), ec = value_of(ellipe(mc));
        const double lhs = e * kc + ec * k - k * kc;
        EXPECT_NEAR(lhs, std::numbers::pi / 2.0, 16.0 * epsilon * (k * kc)) << "m = " << m;
    }
}

TEST_F(Identities, LegendreFromCarlson) {
    // K(m) = RF(0, 1 - m, 1) and E(m) = RF(0, 1 - m, 1) - m RD(0, 1 - m, 1) / 3 (DLMF 19.25.1),
    // over the polynomials, the AGM near 1 and negative m.
    for (int i = 0; i < samples; ++i) {
        const double m = i % 3 == 0 ? uniform(-0.05, 0.9) : (i % 3 == 1 ? uniform(0.9, 1.0) : -log_uniform(0.05, 1e6));
        const double rf = elliprf_unchecked(0.0, 1.0 - m, 1.0);
        const double rd = elliprd_unchecked(0.0, 1.0 - m, 1.0);
        const double k = value_of(ellipk(m));
        const double k_tolerance = (m < 0.0 && m > -0.05 ? 5e-14 : 6.0 * epsilon) * k;
        EXPECT_NEAR(k, rf, k_tolerance) << "m = " << m;
        const double e = value_of(ellipe(m));
        // The difference cancels for m near 1: measure it against the larger term.
        const double term = std::fabs(m * rd / 3.0);
        EXPECT_NEAR(e, rf - m * rd / 3.0, 16.0 * epsilon * std::max(rf, term)) << "m = " << m;
    }
}

TEST_F(Identities, ImaginaryModulusTransformation) {
    // K(m) = K(m / (m - 1)) / sqrt(1 - m) for m < 0 (DLMF 19.7.5): the AGM with g > 1 against the
    // polynomials. Below m = -8 the rounding of m / (m - 1) near 1 alone would move the right
    // side by more than the tolerance (the AGM side is checked against RF above).
    for (int i = 0; i < samples; ++i) {
        const double m = -log_uniform(0.06, 8.0);
        const double k = value_of(ellipk(m));
        const double transformed = value_of(ellipk(m / (m - 1.0))) / std::sqrt(1.0 - m);
        EXPECT_NEAR(k, transformed, 8.0 * epsilon * k) << "m = " << m;
    }
}

TEST_F(Identities, ThirdKindAcrossItsTransformations) {
    for (int i = 0; i < samples; ++i) {
        const double m = uniform(-2.0, 0.99);
        // n < 0 goes through Π(N, m) with N in (0, 1); the direct Carlson form with p = 1 - n > 1
        // (DLMF 19.25.2) must agree.
        const double n_negative = -log_uniform(1e-3, 1e2);
        const double direct = elliprf_unchecked(0.0, 1.0 - m, 1.0) +
                              n_negative / 3.0 * elliprj_unchecked(0.0, 1.0 - m, 1.0, 1.0 - n_negative);
        EXPECT_NEAR(value_of(ellippi(n_negative, m)), direct, 32.0 * epsilon * std::fabs(direct))
            << "n = " << n_negative << ", m = " << m;
        // n > 1: Π(n, m) = K(m) - Π(m / n, m) (DLMF 19.6.5), the right side with 0 < m / n < 1.
        const double n_above = 1.0 + log_uniform(1e-3, 1e2);
        if (m > 0.0) {
            const double k = value_of(ellipk(m));
            const double other = value_of(ellippi(m / n_above, m));
            EXPECT_NEAR(value_of(ellippi(n_above, m)), k - other, 16.0 * epsilon * other)
                << "n = " << n_above << ", m = " << m;
        }
    }
}

}  // namespace
}  // namespace vellomir
