// Limb-darkened magnification (linear law) against mpmath 2-D integrals of the point-lens
// magnification over the star (tools/gen_model_integrated.py).

#include "models/integrated.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "models/flux_map.hpp"
#include "models/witt_mao.hpp"
#include "reference_data.hpp"

namespace vellomir {
namespace {

using testing::read_reference;
using testing::relative_error;
using testing::WorstError;

// Worst errors per region of the separation: inside the star, crossing its limb (|l - 1| <= 1e-3,
// rho from 1e-4 to 1), outside it.
struct ByRegion {
    std::map<std::string, WorstError> worst;

    void print(const char* name) const {
        for (const auto& [region, error] : worst) {
            std::cout << "[ worst ] " << name << ", " << region << ": " << error.error << " (" << error.where << ")\n";
        }
    }
};

template <class Model>
ByRegion against_reference(Model model) {
    ByRegion regions;
    int count = 0;
    for (const auto& row : read_reference("models_integrated.txt")) {
        if (row.tag != "case" || row.fields[1] != "linear") continue;
        const double l = row.number(2), re = row.number(3), rstar = row.number(4), expected = row.number(5);
        const std::vector<double> got = model(std::vector<double>{l}, re, rstar);
        regions.worst[row.fields[0]].add(got.at(0), expected, "l=" + row.fields[2] + " rho=" + row.fields[4]);
        ++count;
    }
    EXPECT_EQ(count, 41);
    return regions;
}

void expect_within(const ByRegion& regions, double bound) {
    for (const auto& [region, error] : regions.worst) EXPECT_LT(error.error, bound) << region << ": " << error.where;
}

TEST(IntegratedReference, WittMao) {
    // The sub-disk integral is split where the sub-disk's rim crosses the lens.
    const ByRegion regions = against_reference([](std::vector<double> l, double re, double rstar) {
        return integrated_witt_mao_magnification(std::move(l), re, rstar);
    });
    regions.print("integrated Witt-Mao");
    expect_within(regions, 1e-10);
}

TEST(IntegratedReference, Heyrovsky) {
    const ByRegion regions = against_reference([](std::vector<double> l, double re, double rstar) {
        return integrated_heyrovsky_magnification(std::move(l), re, rstar);
    });
    regions.print("integrated Heyrovsky");
    expect_within(regions, 1e-10);
}

TEST(Integrated, TwinsAgree) {
    std::vector<double> l;
    for (double x = 0.0; x < 4.0; x += 0.0625) l.push_back(x);
    for (const double offset : {1e-3, 1e-5, 1e-8, 1e-12}) {
        l.push_back(1.0 - offset);
        l.push_back(1.0 + offset);
    }
    WorstError worst;
    for (const double re : {0.5, 1.0, 3.0, 1e2, 1e4}) {
        const std::vector<double> disks = integrated_witt_mao_magnification(l, re, 1.0);
        const std::vector<double> rings = integrated_heyrovsky_magnification(l, re, 1.0);
        for (std::size_t i = 0; i < l.size(); ++i) {
            worst.add(disks[i], rings[i], "l=" + std::to_string(l[i]) + " re=" + std::to_string(re));
        }
    }
    std::cout << "[ worst ] limb-darkened, sub-disk against ring form: " << worst.error << " at " << worst.where
              << "\n";
    EXPECT_LT(worst.error, 1e-10) << worst.where;
}

// Where a separation or a radius is 0 or infinite, each form and its twin give the same kind
// of value: +inf for a star of no extent at a finite separation, NaN where u = l rho is
// inf * 0, and otherwise the unmagnified limit, the value at the largest finite separations.
TEST(Integrated, TwinsAgreeOnSpecialInputs) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> bl = {0.0, 0.5, 1.0};
    const std::vector<double> bf = {1.0, 0.8, 0.4};
    struct Case {
        double re, rstar;
    };
    for (const Case c : {Case{1.0, 1.0}, Case{1.0, 0.0}, Case{inf, 1.0}, Case{0.0, 1.0}, Case{1.0, inf}}) {
        const std::vector<double> l = {0.0, 0.5, 1.0, 1e300, inf};
        const std::vector<std::vector<double>> pairs[] = {
            {integrated_witt_mao_magnification(l, c.re, c.rstar), integrated_heyrovsky_magnification(l, c.re, c.rstar)},
            {integrated_flux_map_witt_mao_magnification(l, c.re, c.rstar, bl, bf).value(),
             integrated_flux_map_heyrovsky_magnification(l, c.re, c.rstar, bl, bf).value()}};
        for (const auto& pair : pairs) {
            for (std::size_t i = 0; i < l.size(); ++i) {
                const std::string where = "l=" + std::to_string(l[i]) + " re=" + std::to_string(c.re) +
                                          " rstar=" + std::to_string(c.rstar);
                const double disks = pair[0][i];
                const double rings = pair[1][i];
                EXPECT_EQ(std::isnan(disks), std::isnan(rings)) << where << ": " << disks << " " << rings;
                EXPECT_EQ(std::isinf(disks), std::isinf(rings)) << where << ": " << disks << " " << rings;
                if (std::isfinite(disks)) {
                    EXPECT_NEAR(disks, rings, 1e-7 * rings) << where;  // the annulus form's 3e-8
                }
            }
            // The infinite separation continues the finite ones, wherever a star has an extent.
            if (c.rstar != 0.0 && c.re != inf) {
                EXPECT_EQ(pair[0][4], pair[0][3]);
                EXPECT_EQ(pair[1][4], pair[1][3]);
            }
        }
    }
}

TEST(Integrated, EmptySeparations) {
    EXPECT_TRUE(integrated_witt_mao_magnification({}, 1.0, 1.0).empty());
    EXPECT_TRUE(integrated_heyrovsky_magnification({}, 1.0, 1.0).empty());
}

TEST(Integrated, FarFromTheLensTheNormalisationShows) {
    // The magnification tends to 1, and the result to 0.8 pi over the (slightly smaller) literal.
    const double limit = 0.8 * PI / LIMB_DARKENED_NORM;
    EXPECT_GT(limit, 1.0);
    EXPECT_NEAR(integrated_heyrovsky_magnification({1e5}, 1.0, 1.0)[0], limit, 1e-13);
    EXPECT_NEAR(integrated_witt_mao_magnification({1e5}, 1.0, 1.0)[0], limit, 1e-13);
}

TEST(Integrated, ZeroStellarRadiusKeepsThePointSourceTerm) {
    // The point-source term at u = 0, for rstar = +0 and -0 alike; a negative separation is no
    // separation at all and gives NaN, not the -inf of the point-source formula at u = -0.
    const double inf = std::numeric_limits<double>::infinity();
    for (const double rstar : {0.0, -0.0}) {
        const std::vector<double> got = integrated_witt_mao_magnification({0.5, 0.0, -0.0, 2.0, -1.0}, 1.0, rstar);
        EXPECT_EQ(std::vector<double>(got.begin(), got.end() - 1), (std::vector<double>{inf, inf, inf, inf}));
        EXPECT_TRUE(std::isnan(got.back()));
    }
}

TEST(Integrated, RingThroughTheLensStaysFinite) {
    for (const double l : {0.1, 0.5, 0.9}) {
        EXPECT_TRUE(std::isfinite(integrated_heyrovsky_magnification({l}, 1.0, 1.0)[0])) << l;
        EXPECT_TRUE(std::isfinite(integrated_witt_mao_magnification({l}, 1.0, 1.0)[0])) << l;
    }
}

TEST(Integrated, RingsThatAllFailGiveNanNotZero) {
    // Every ring evaluation fails (NaN separation or Einstein radius, or a separation whose sign
    // differs from every ring radius): nothing was integrated, and 0 would pass for a result.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double value : integrated_heyrovsky_magnification({nan, -0.5, -2.0}, 1.0, 1.0)) {
        EXPECT_TRUE(std::isnan(value));
    }
    EXPECT_TRUE(std::isnan(integrated_heyrovsky_magnification({0.5}, nan, 1.0)[0]));
    // One good element beside them is unaffected.
    const std::vector<double> mixed = integrated_heyrovsky_magnification({nan, 2.0}, 1.0, 1.0);
    EXPECT_EQ(mixed[1], integrated_heyrovsky_magnification({2.0}, 1.0, 1.0)[0]);
}

TEST(Integrated, DependsOnTheArgumentsOnly) {
    const std::vector<double> l = {0.0, 0.4, 1.0, 2.5};
    EXPECT_EQ(integrated_witt_mao_magnification(l, 2.0, 1.0), integrated_witt_mao_magnification(l, 2.0, 1.0));
    EXPECT_EQ(integrated_heyrovsky_magnification(l, 2.0, 1.0), integrated_heyrovsky_magnification(l, 2.0, 1.0));
    // Elements are independent of their neighbours.
    EXPECT_EQ(integrated_heyrovsky_magnification(l, 2.0, 1.0)[2], integrated_heyrovsky_magnification({1.0}, 2.0, 1.0)[0]);
}

TEST(Integrated, ProfileWeightsTheRings) {
    // With a constant profile and the disk's own area as normalisation the ring integral is the
    // uniform-disk magnification.
    const std::vector<double> l = {0.0, 0.3, 1.7, 4.0};
    const std::vector<double> rings = _integrated_heyrovsky_magnification(l, 2.0, 1.0, PI, [](double) { return 1.0; });
    for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_LT(relative_error(rings[i], witt_mao_magnification_scaled(l[i] * 0.5, 0.5)), 1e-12) << l[i];
    }
}

}  // namespace
}  // namespace vellomir
