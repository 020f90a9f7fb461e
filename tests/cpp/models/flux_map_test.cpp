// Flux maps: tabulated profiles against mpmath ring integrals of the interpolated table,
// the length check, and the identities between the maps and the kernels.

#include "models/flux_map.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "models/heyrovsky.hpp"
#include "models/integrated.hpp"
#include "models/internal_failure.hpp"
#include "models/witt_mao.hpp"
#include "parallel/worker_pool.hpp"
#include "reference_data.hpp"

namespace vellomir {
namespace {

using testing::read_reference;
using testing::relative_error;
using testing::split_numbers;
using testing::WorstError;

using FluxMap = Outcome<std::vector<double>> (*)(std::vector<double>, double, double, std::vector<double>,
                                                 std::vector<double>);

struct Table {
    std::vector<double> bl, bf;
};

std::vector<double> values(const Outcome<std::vector<double>>& result) {
    EXPECT_TRUE(result.ok()) << result.message();
    return result.value();
}

// Worst relative error per table and region of the separation (inside the star, crossing its limb,
// outside it) against the reference, which must all stay below `bound`.
void check_against_reference(FluxMap map, const char* name, double bound) {
    std::map<std::string, Table> tables;
    std::map<std::string, WorstError> worst;
    int count = 0;
    for (const auto& row : read_reference("models_integrated.txt")) {
        if (row.tag == "table") {
            tables[row.fields[0]] = {split_numbers(row.fields[1]), split_numbers(row.fields[2])};
            continue;
        }
        if (row.fields[1] == "linear") continue;
        const Table& table = tables.at(row.fields[1]);
        const double got = values(map({row.number(2)}, row.number(3), row.number(4), table.bl, table.bf)).at(0);
        const std::string where = "l=" + row.fields[2] + " re=" + row.fields[3];
        worst[row.fields[1] + ", " + row.fields[0]].add(got, row.number(5), where);
        ++count;
    }
    EXPECT_EQ(count, 118);
    for (const auto& [group, error] : worst) {
        std::cout << "[ worst ] " << name << ", " << group << ": " << error.error << " at " << error.where << "\n";
        EXPECT_LT(error.error, bound) << group << ": " << error.where;
    }
}

// Tables ending inside the star (partial), continuous bands, one, 20 and 200 points.
TEST(FluxMapReference, IntegratedHeyrovsky) {
    check_against_reference(integrated_flux_map_heyrovsky_magnification, "flux map Heyrovsky", 1e-10);
}

// The annulus means approximate the ring magnification to about (1e-4)^2.
TEST(FluxMapReference, IntegratedWittMao) {
    check_against_reference(integrated_flux_map_witt_mao_magnification, "flux map Witt-Mao", 1e-6);
}

TEST(FluxMap, UnequalTableLengthsFailFirst) {
    const char* expected = "assertion `left == right` failed\n  left: 1\n right: 0";
    for (const FluxMap map : std::initializer_list<FluxMap>{discrete_flux_map_heyrovsky_magnification,
                                                           integrated_flux_map_witt_mao_magnification,
                                                           integrated_flux_map_heyrovsky_magnification}) {
        for (const std::vector<double>& l : {std::vector<double>{0.5, 2.0}, std::vector<double>{}}) {
            try {
                map(l, 1.0, 1.0, {0.5}, {});
                ADD_FAILURE() << "no failure for " << l.size() << " separations";
            } catch (const InternalFailure& failure) {
                EXPECT_STREQ(failure.what(), expected);
            }
        }
    }
}

TEST(FluxMap, EmptySeparations) {
    for (const FluxMap map : std::initializer_list<FluxMap>{discrete_flux_map_heyrovsky_magnification,
                                                           integrated_flux_map_witt_mao_magnification,
                                                           integrated_flux_map_heyrovsky_magnification}) {
        const Outcome<std::vector<double>> result = map({}, 1.0, 1.0, {0.5}, {1.0});
        ASSERT_TRUE(result.ok());
        EXPECT_TRUE(result.value().empty());
    }
}

TEST(FluxMap, EmptyTable) {
    EXPECT_EQ(values(discrete_flux_map_heyrovsky_magnification({0.5, 3.0}, 1.0, 1.0, {}, {})),
              (std::vector<double>{0.0, 0.0}));
    for (const FluxMap map : std::initializer_list<FluxMap>{integrated_flux_map_witt_mao_magnification,
                                                           integrated_flux_map_heyrovsky_magnification}) {
        for (const double x : values(map({0.5, 3.0}, 1.0, 1.0, {}, {}))) EXPECT_TRUE(std::isnan(x));
    }
}

TEST(FluxMap, OnePointTableIsAUniformDisk) {
    const std::vector<double> l = {0.0, 0.5, 0.999, 1.0, 1.001, 1.5, 4.0};
    const std::vector<double> disk = witt_mao_magnification(l, 1.0, 1.0);
    const std::vector<double> rings = values(integrated_flux_map_heyrovsky_magnification(l, 1.0, 1.0, {0.3}, {2.0}));
    const std::vector<double> annuli = values(integrated_flux_map_witt_mao_magnification(l, 1.0, 1.0, {0.3}, {2.0}));
    for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_LT(relative_error(rings[i], disk[i]), 1e-10) << l[i];
        EXPECT_LT(relative_error(annuli[i], disk[i]), 1e-6) << l[i];
    }
}

TEST(FluxMap, ScaleOfTheBrightnessCancels) {
    const std::vector<double> l = {0.2, 0.9, 2.0};
    const std::vector<double> bl = {0.0, 0.3, 0.6, 1.0}, bf = {1.0, 0.9, 0.7, 0.3};
    std::vector<double> scaled = bf;
    for (double& x : scaled) x *= 37.5;
    for (const FluxMap map : std::initializer_list<FluxMap>{integrated_flux_map_witt_mao_magnification,
                                                           integrated_flux_map_heyrovsky_magnification}) {
        const std::vector<double> a = values(map(l, 1.0, 1.0, bl, bf)), b = values(map(l, 1.0, 1.0, bl, scaled));
        for (std::size_t i = 0; i < l.size(); ++i) EXPECT_LT(relative_error(b[i], a[i]), 1e-10) << l[i];
        // Scales at the ends of the double range: a power of two away from 1 gives the same bits;
        // 1e306 and 1e308 (whose fluxes overflowed) and subnormal tables give the ratio too.
        for (const double scale : {0x1p600, 0x1p-700, 1e306, 1e308, 1e-320}) {
            std::vector<double> extreme = bf;
            for (double& x : extreme) x *= scale;
            const std::vector<double> c = values(map(l, 1.0, 1.0, bl, extreme));
            for (std::size_t i = 0; i < l.size(); ++i) {
                if (std::ilogb(scale) % 100 == 0) {
                    EXPECT_EQ(c[i], a[i]) << scale;
                } else {
                    EXPECT_LT(relative_error(c[i], a[i]), scale < 1e-300 ? 1e-3 : 1e-10) << scale << " " << l[i];
                }
            }
        }
    }
}

TEST(FluxMap, TwinsAgree) {
    // Also with the lens within the annulus' half-width of the limb, the centre and the table's jumps.
    std::vector<double> l;
    for (double x = 0.0; x < 5.0; x += 0.125) l.push_back(x);
    for (const double edge : {0.0, 0.2, 0.8, 1.0}) {
        for (const double offset : {-5e-5, 5e-5, 1e-9}) {
            if (edge + offset >= 0.0) l.push_back(edge + offset);
        }
    }
    const std::vector<Table> tables = {{{0.0, 0.25, 0.5, 0.75, 1.0}, {1.0, 0.95, 0.8, 0.6, 0.2}},
                                       {{0.2, 0.5, 0.8}, {1.0, 0.7, 0.4}},
                                       {{0.5}, {1.0}}};
    WorstError worst;
    for (const Table& table : tables) {
        for (const double re : {0.7, 2.0, 1e4}) {
            const std::vector<double> annuli =
                values(integrated_flux_map_witt_mao_magnification(l, re, 1.0, table.bl, table.bf));
            const std::vector<double> rings =
                values(integrated_flux_map_heyrovsky_magnification(l, re, 1.0, table.bl, table.bf));
            for (std::size_t i = 0; i < l.size(); ++i) {
                worst.add(annuli[i], rings[i], std::to_string(table.bl.size()) + "-point, l=" + std::to_string(l[i]));
            }
        }
    }
    std::cout << "[ worst ] flux maps, annulus against ring form: " << worst.error << " at " << worst.where << "\n";
    EXPECT_LT(worst.error, 1e-6) << worst.where;
}

TEST(FluxMap, FarFromTheLensNoMagnification) {
    const std::vector<double> bl = {0.0, 0.5, 1.0}, bf = {1.0, 0.8, 0.4};
    EXPECT_NEAR(values(integrated_flux_map_heyrovsky_magnification({1e5}, 1.0, 1.0, bl, bf))[0], 1.0, 1e-13);
    const double x = 100.0, point_lens = (x * x + 2.0) / (x * std::sqrt(x * x + 4.0));
    EXPECT_NEAR(values(integrated_flux_map_witt_mao_magnification({x}, 1.0, 1.0, bl, bf))[0], point_lens, 1e-10);
}

TEST(DiscreteFluxMap, OneRingIsTheRingMagnification) {
    const std::vector<double> l = {0.0, 0.4, 1.3, 5.0};
    const std::vector<double> one = values(discrete_flux_map_heyrovsky_magnification(l, 2.0, 1.0, {0.6}, {1.0}));
    const std::vector<double> two = values(discrete_flux_map_heyrovsky_magnification(l, 2.0, 1.0, {0.6}, {2.0}));
    for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_EQ(one[i], heyrovsky_magnification(l[i], 0.6, 2.0, 1.0).value()) << l[i];
        EXPECT_EQ(two[i], 2.0 * one[i]) << l[i];
    }
}

TEST(DiscreteFluxMap, SumsTheRingsInTableOrder) {
    const std::vector<double> bl = {0.2, 0.5, 0.9}, bf = {0.5, 0.3, 0.2};
    const double got = values(discrete_flux_map_heyrovsky_magnification({0.7}, 1.0, 1.0, bl, bf))[0];
    double sum = 0.0;
    for (std::size_t j = 0; j < bl.size(); ++j) sum = sum + heyrovsky_magnification(0.7, bl[j], 1.0, 1.0).value() * bf[j];
    EXPECT_EQ(got, sum);
}

TEST(DiscreteFluxMap, LowestFailingSeparationWhateverTheWorkers) {
    // Failing elements spread over a vector that the workers split: the error is the one of the
    // lowest-indexed failing element, as a sequential loop would stop there.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> l(2000, 0.5);
    l[1500] = nan;
    l[700] = 1e4;
    l[1900] = -1.0;
    const std::vector<double> bl = {0.5, 1e4 + 2e-5}, bf = {1.0, 1.0};
    std::string_view expected;
    for (const double x : l) {
        const Outcome<std::vector<double>> alone = discrete_flux_map_heyrovsky_magnification({x}, 1.0, 1.0, bl, bf);
        if (!alone.ok()) {
            expected = alone.message();
            break;
        }
    }
    for (const std::size_t workers : {1, 2, 4}) {
        WorkerPool pool(workers);
        const Outcome<std::vector<double>> got = discrete_flux_map_heyrovsky_magnification(pool, l, 1.0, 1.0, bl, bf);
        ASSERT_FALSE(got.ok());
        EXPECT_EQ(got.message(), expected) << workers;
    }
}

TEST(DiscreteFluxMap, FirstRingErrorEndsTheCall) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Outcome<std::vector<double>> by_separation =
        discrete_flux_map_heyrovsky_magnification({0.5, nan, 2.0}, 1.0, 1.0, {0.3}, {1.0});
    ASSERT_FALSE(by_separation.ok());
    EXPECT_EQ(by_separation.message(), "ellipk: Arguments cannot be NAN.");
    const Outcome<std::vector<double>> by_ring =
        discrete_flux_map_heyrovsky_magnification({1e4}, 1.0, 1.0, {0.5, 1e4 + 2e-5, nan}, {1.0, 1.0, 1.0});
    ASSERT_FALSE(by_ring.ok());
    // The ring at 1e4 + 2e-5 once failed with "ellippi: n cannot be 1." (a rounded n); it now has
    // its true value, and the NaN ring after it ends the call.
    EXPECT_EQ(by_ring.message(), "ellipk: Arguments cannot be NAN.");
}

}  // namespace
}  // namespace vellomir
