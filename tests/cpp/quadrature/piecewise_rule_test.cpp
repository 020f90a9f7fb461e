// Gauss-Legendre rules and the per-piece choice between them and the tanh-sinh rule.

#include "quadrature/piecewise_rule.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vellomir {
namespace {

template <std::size_t N>
void expect_exact_for_polynomials_below_degree_2n() {
    const double a = 0.3, b = 1.7;
    for (int k = 0; k < static_cast<int>(2 * N); ++k) {
        const double got = integrate_gauss_legendre<N>([k](double x) { return std::pow(x, k); }, a, b);
        const double exact = (std::pow(b, k + 1) - std::pow(a, k + 1)) / (k + 1);
        EXPECT_NEAR(got, exact, 4e-15 * exact) << N << " points, x^" << k;
    }
}

TEST(GaussLegendre, ExactForPolynomialsOfDegreeBelowTwiceTheOrder) {
    expect_exact_for_polynomials_below_degree_2n<4>();
    expect_exact_for_polynomials_below_degree_2n<8>();
    expect_exact_for_polynomials_below_degree_2n<16>();
}

TEST(GaussLegendre, NonFiniteValuesCountZero) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(integrate_gauss_legendre<4>([inf](double x) { return x > 0.0 ? inf : 1.0; }, -1.0, 1.0),
              gauss_legendre_nodes<4>[0].weight + gauss_legendre_nodes<4>[1].weight);
}

TEST(PiecewiseRule, BernsteinParameter) {
    // On the real axis a distance d beyond an end of [-1, 1]: t = 1 + d, rho = t + sqrt(t^2 - 1).
    EXPECT_DOUBLE_EQ(bernstein_parameter(-1.0, 1.0, {2.0, 0.0}), 2.0 + std::sqrt(3.0));
    EXPECT_DOUBLE_EQ(bernstein_parameter(2.0, 6.0, {8.0, 0.0}), 2.0 + std::sqrt(3.0));  // the same, scaled
    EXPECT_DOUBLE_EQ(bernstein_parameter(-1.0, 1.0, {1.0, 0.0}), 1.0);                   // an endpoint
    EXPECT_DOUBLE_EQ(bernstein_parameter(-1.0, 1.0, {0.0, 0.75}), 2.0);                  // (rho - 1/rho) / 2 = 0.75
}

// int_a^b log(s - x) dx for s > b.
double log_integral(double a, double b, double s) {
    const auto antiderivative = [s](double x) {
        const double d = s - x;
        return d == 0.0 ? 0.0 : -d * std::log(d) + d;
    };
    return antiderivative(b) - antiderivative(a);
}

TEST(PiecewiseRule, AccurateWhateverTheDistanceOfTheSingularity) {
    const PieceRule rule = exact_piece_rule(1e-16);
    for (const double beyond : {3.0, 0.5, 1e-2, 1e-4, 1e-8, 0.0}) {
        const double s = 1.0 + beyond;
        const SingularPoint singular[] = {{s, 0.0}};
        const double got = integrate_piece([s](double x) { return std::log(s - x); }, 0.0, 1.0, singular, rule);
        const double exact = log_integral(0.0, 1.0, s);
        // Close to the singularity the tanh-sinh rule takes over; its nodes stop 4e-14 short of the
        // ends (t = 3), and a logarithm there loses its integral over that sliver, some 1e-12.
        const double bound = beyond >= 0.5 ? 1e-15 : 2e-12;
        EXPECT_NEAR(got, exact, bound * std::fabs(exact)) << "singularity " << beyond << " beyond the piece";
    }
}

}  // namespace
}  // namespace vellomir
