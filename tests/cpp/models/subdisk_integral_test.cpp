// The sub-disk integrator on kernels whose integrals over any profile are known in closed form
// from the profile's flux and moments (radial_profile.hpp), for every law, a table with steps,
// the lens anywhere; a kernel of several quantities, and of further intensities at the same
// points; and the cap on a kernel it cannot resolve.
// The magnification itself is checked against 2-D integrals in tests/python/test_nearfield.py.

#include "models/subdisk_integral.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "models/intensity_basis.hpp"
#include "models/radial_profile.hpp"

namespace vellomir {
namespace {

// k(R) = 1: every sub-disk's flux unmagnified, so the integral is F / F = 1.
struct Unit {
    static constexpr std::size_t quantities = 1;
    void operator()(double, std::span<const double> radii, std::span<double> out) const {
        for (std::size_t i = 0; i < radii.size(); ++i) out[i] = 1.0;
    }
};

// k(R) = (R / rho)^2 and (R / rho)^4: int I d(r^4) / F = 2 <r^2>, int I d(r^6) / F = 3 <r^4>.
struct Powers {
    static constexpr std::size_t quantities = 2;
    double rho;
    void operator()(double, std::span<const double> radii, std::span<double> out) const {
        for (std::size_t i = 0; i < radii.size(); ++i) {
            const double x = radii[i] / rho;
            out[i] = x * x;
            out[radii.size() + i] = x * x * x * x;
        }
    }
};

// k(R) = 1 over the profile's own weights, then k = 1 and (R / rho)^2 over those of a further
// intensity in its coordinate: F_other / F and 2 M_1(other) / F (M_1 = int I r^2 2r dr).
struct Weighted {
    static constexpr std::size_t quantities = 3;
    double rho;
    const SubdiskProfile* other;
    int order;  // of the map at the lens
    void operator()(double, std::span<const double> radii, std::span<double> out) const {
        const std::size_t n = radii.size();
        for (std::size_t i = 0; i < n; ++i) {
            const double x = radii[i] / rho;
            out[i] = 1.0;
            out[n + i] = 1.0;
            out[2 * n + i] = x * x;
        }
    }
    std::span<const SubdiskProfile* const> weight_profiles() const { return {&other, 1}; }
    std::size_t weight_set(std::size_t q) const { return q == 0 ? 0 : 1; }
    int cluster_order() const { return order; }
};

// Oscillates ever faster towards R = 0.37 rho: no rule resolves it.
struct Unresolvable {
    static constexpr std::size_t quantities = 1;
    void operator()(double, std::span<const double> radii, std::span<double> out) const {
        for (std::size_t i = 0; i < radii.size(); ++i) out[i] = 2.0 + std::sin(1.0 / (radii[i] - 0.37));
    }
};

std::vector<RadialProfile> profiles() {
    std::vector<RadialProfile> all;
    const std::vector<std::pair<LimbDarkeningLaw, std::vector<double>>> laws = {
        {LimbDarkeningLaw::linear, {0.6}},           {LimbDarkeningLaw::quadratic, {0.4, 0.25}},
        {LimbDarkeningLaw::square_root, {0.3, 0.4}}, {LimbDarkeningLaw::logarithmic, {0.6, 0.2}},
        {LimbDarkeningLaw::power_2, {0.6, 0.37}},    {LimbDarkeningLaw::claret, {0.7, -0.6, 0.9, -0.3}},
        {LimbDarkeningLaw::linear, {1.0}},  // dark limb: no atom
    };
    for (const auto& [law, c] : laws) all.push_back(RadialProfile::of_law(law, c).value());
    const std::vector<double> radius = {0.1, 0.3, 0.7, 0.7, 0.95}, intensity = {1.0, 0.9, 0.6, 0.3, 0.2};
    all.push_back(RadialProfile::of_table(radius, intensity).value());
    return all;
}

TEST(SubdiskIntegral, ClosedFormKernelsForEveryProfileAndLensPosition) {
    const std::vector<RadialProfile> profiles_list = profiles();
    for (const RadialProfile& profile : profiles_list) {
        const SubdiskProfile stack(profile);
        for (const double rtol : {1e-3, 1e-8, 1e-14}) {
            for (const double l : {0.0, 1e-8, 0.3, 0.7, 1.0 - 1e-9, 1.0, 1.0 + 1e-9, 1.5, 5.0}) {
                const double rho = 0.01;
                const auto unit = integrate_over_subdisks(Unit{}, stack, l * rho, rho, rtol);
                EXPECT_TRUE(unit.converged);
                EXPECT_NEAR(unit.value[0], 1.0, rtol + 4e-16) << "l " << l << " rtol " << rtol << " law " << &profile - &profiles_list[0];
                const auto powers = integrate_over_subdisks(Powers{rho}, stack, l * rho, rho, rtol);
                EXPECT_TRUE(powers.converged);
                const double second = 2.0 * profile.moments()[1], fourth = 3.0 * profile.moments()[2];
                EXPECT_NEAR(powers.value[0], second, (rtol + 1e-15) * second) << "l " << l << " rtol " << rtol << " law " << &profile - &profiles_list[0];
                EXPECT_NEAR(powers.value[1], fourth, (rtol + 1e-15) * fourth) << "l " << l << " rtol " << rtol << " law " << &profile - &profiles_list[0];
                EXPECT_LE(powers.error[0], rtol * powers.value[0]);
            }
        }
    }
}

// A law's coefficient derivatives dI/dc (mixed signs, a constant term: an atom the law may lack)
// integrated at the law's points as a further weight set, in both limb coordinates (r = 1 - s^2,
// 1 - s^4) and both maps at the lens; the flux and first moment of mu^p are 1 / (p/2 + 1) and
// 1 / ((p/2 + 1) (p/2 + 2)).
TEST(SubdiskIntegral, FurtherWeightSetsIntegrateTheirIntensity) {
    const std::vector<std::pair<LimbDarkeningLaw, std::vector<double>>> laws = {
        {LimbDarkeningLaw::quadratic, {0.4, 0.25}}, {LimbDarkeningLaw::claret, {0.7, -0.6, 0.9, -0.3}},
        {LimbDarkeningLaw::linear, {1.0}}};
    for (const auto& [law, c] : laws) {
        const RadialProfile profile = RadialProfile::of_law(law, c).value();
        const SubdiskProfile stack(profile);
        const LawGradientBasis basis = law_gradient_basis(law, c);
        for (std::size_t k = 0; k < basis.coefficients; ++k) {
            const IntensitySum& sum = basis.d_coefficient[k];
            const SubdiskProfile other(sum, stack);
            double flux = 0.0, moment = 0.0, size = 0.0;
            for (std::size_t t = 0; t < sum.count; ++t) {
                const double a = sum.terms[t].power * 0.5 + 1.0;
                flux += sum.terms[t].coefficient / a;
                moment += sum.terms[t].coefficient / (a * (a + 1.0));
                size += std::fabs(sum.terms[t].coefficient) / a;
            }
            EXPECT_NEAR(other.flux(), flux, 1e-15 * size);
            // The weights of both at once are each one's own, bit for bit.
            const std::vector<double> x{0.0, 1e-3, 0.3, 0.5, 0.77, 1.0};
            std::vector<double> r(x.size()), r_alone(x.size()), law_weight(x.size()), other_weight(x.size()),
                alone(x.size());
            const std::array<const SubdiskProfile*, 2> both{&stack, &other};
            const std::array<double*, 2> out{law_weight.data(), other_weight.data()};
            SubdiskProfile::law_weights_of_sets(both, x, r, out);
            stack.weights(stack.pieces()[0], x, r_alone, alone);
            EXPECT_EQ(law_weight, alone);
            EXPECT_EQ(r, r_alone);
            other.weights(stack.pieces()[0], x, r_alone, alone);
            EXPECT_EQ(other_weight, alone);
            for (const int order : {3, 5}) {
                for (const double rtol : {1e-4, 1e-10}) {
                    for (const double l : {0.0, 0.3, 0.9, 1.0, 1.2}) {
                        const double rho = 0.01;
                        const auto got = integrate_over_subdisks(Weighted{rho, &other, order}, stack, l * rho, rho, rtol);
                        EXPECT_TRUE(got.converged);
                        const double f = profile.flux();
                        const double tolerance = (rtol + 1e-15) * size / f;
                        EXPECT_NEAR(got.value[0], 1.0, rtol + 4e-16);
                        EXPECT_NEAR(got.value[1], flux / f, tolerance) << "law " << static_cast<int>(law) << " k " << k << " l " << l;
                        EXPECT_NEAR(got.value[2], 2.0 * moment / f, tolerance) << "law " << static_cast<int>(law) << " k " << k << " l " << l;
                    }
                }
            }
        }
    }
}

TEST(SubdiskIntegral, CostFallsWithTheTolerance) {
    const SubdiskProfile stack(RadialProfile::of_law(LimbDarkeningLaw::linear, std::vector<double>{0.6}).value());
    std::uint32_t previous = 0;
    for (const double rtol : {1e-14, 1e-10, 1e-6, 1e-3}) {
        std::uint32_t total = 0;
        for (int k = 0; k < 50; ++k) {
            total += integrate_over_subdisks(Unit{}, stack, 0.01 * (0.02 + 0.05 * k), 0.01, rtol).evaluations;
        }
        if (previous != 0) {
            EXPECT_LT(total, previous) << rtol;
        }
        previous = total;
    }
}

TEST(SubdiskIntegral, ReportsTheCapInsteadOfAMissedTolerance) {
    const SubdiskProfile stack(RadialProfile::of_law(LimbDarkeningLaw::linear, std::vector<double>{0.6}).value());
    const auto result = integrate_over_subdisks(Unresolvable{}, stack, 0.5, 1.0, 1e-12);
    EXPECT_FALSE(result.converged);
    EXPECT_GT(result.error[0], 1e-12 * result.value[0]);
    EXPECT_LE(result.evaluations, (SUBDISK_MAX_BISECTIONS + 3) * 2 * 31);
}

}  // namespace
}  // namespace vellomir
