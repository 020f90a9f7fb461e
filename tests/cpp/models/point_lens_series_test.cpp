// The mean-value series against mpmath's 2-D disk integrals (moments 1/(k+1)) and angular ring
// averages (all moments 1: a ring of radius rho), and its truncation bound against the truth.

#include "models/point_lens_series.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <vector>

#include "reference_data.hpp"

namespace vellomir {
namespace {

using testing::read_reference;
using testing::relative_error;
using testing::WorstError;

std::vector<double> disk_moments(std::size_t terms) {
    std::vector<double> moments(terms);
    for (std::size_t k = 0; k < terms; ++k) moments[k] = 1.0 / static_cast<double>(k + 1);
    return moments;
}

TEST(PointLensSeries, UniformDiskAndRingFromThreeSourceRadiiOut) {
    const std::vector<double> disk = disk_moments(POINT_LENS_SERIES_MAX_TERMS);
    const std::vector<double> ring(POINT_LENS_SERIES_MAX_TERMS, 1.0);
    WorstError disk_worst, ring_worst;
    int count = 0;
    for (const auto& row : read_reference("models_disk_exact.txt")) {
        const double u = row.number(0), rho = row.number(1);
        if (!(u >= 3.0 * rho)) continue;
        const SeriesSum sum = point_lens_mean_value_series(u, rho, disk);
        EXPECT_LT(sum.truncation_bound, 1e-17) << u << " " << rho;
        disk_worst.add(sum.value, row.number(2), "u=" + row.fields[0] + " rho=" + row.fields[1]);
        ++count;
    }
    for (const auto& row : read_reference("models_ring_exact.txt")) {
        const double l = row.number(0), r = row.number(1), q = row.number(2);
        if (!(r <= l / 3.0) || l > 1e250) continue;
        ring_worst.add(point_lens_mean_value_series(l / q, r / q, ring).value, row.number(3),
                       "l=" + row.fields[0] + " r=" + row.fields[1] + " q=" + row.fields[2]);
        ++count;
    }
    EXPECT_GT(count, 60);
    std::cout << "[ worst ] series, disk, u >= 3 rho: " << disk_worst.error << " at " << disk_worst.where
              << "\n[ worst ] series, ring, l >= 3 r: " << ring_worst.error << " at " << ring_worst.where << "\n";
    EXPECT_LT(disk_worst.error, 1e-15) << disk_worst.where;
    EXPECT_LT(ring_worst.error, 1e-15) << ring_worst.where;
}

TEST(PointLensSeries, TruncationBoundHoldsForShortSeries) {
    // Few terms close to the source, where the bound is far above rounding: it must cover the
    // true error.
    for (const auto& row : read_reference("models_disk_exact.txt")) {
        const double u = row.number(0), rho = row.number(1);
        if (!(u >= 1.5 * rho && u <= 6.0 * rho)) continue;
        for (const std::size_t terms : {2u, 4u, 7u}) {
            const SeriesSum sum = point_lens_mean_value_series(u, rho, disk_moments(terms));
            const double error = relative_error(sum.value, row.number(2));
            if (sum.truncation_bound < 1e-14) continue;
            EXPECT_LE(error, sum.truncation_bound) << u << " " << rho << " " << terms;
        }
    }
}

TEST(PointLensSeries, DivergentInsideTheSourceAndEmptyWithoutMoments) {
    const std::vector<double> disk = disk_moments(12);
    EXPECT_EQ(point_lens_mean_value_series(0.5, 0.5, disk).truncation_bound, std::numeric_limits<double>::infinity());
    EXPECT_EQ(point_lens_mean_value_series(0.2, 0.5, disk).truncation_bound, std::numeric_limits<double>::infinity());
    EXPECT_EQ(point_lens_mean_value_series(2.0, 0.5, {}).truncation_bound, std::numeric_limits<double>::infinity());
    // One moment: the point-source magnification.
    const double one[] = {1.0};
    EXPECT_LT(relative_error(point_lens_mean_value_series(1.0, 0.1, one).value, 3.0 / std::sqrt(5.0)), 3e-16);
}

}  // namespace
}  // namespace vellomir
