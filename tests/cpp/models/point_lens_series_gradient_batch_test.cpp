// The batched far-field series with its derivatives against the scalar kernel, bit for bit, on
// every path this processor runs: value, d_u, d_rho, both bounds and the weighted sums of
// d_moment, for random decreasing moments of every length and separations from just outside the
// source to 1e300 (every number of terms, the value's and the derivatives' apart); and the rows
// a law's map takes from it against law_magnification_gradient.

#include <gtest/gtest.h>

#include <vector>

#include "../batch_identity.hpp"
#include "models/intensity_basis.hpp"
#include "models/point_lens_series_gradient.hpp"
#include "models/profile_derivatives.hpp"
#include "models/radial_profile.hpp"
#include "models/subdisk_gradient.hpp"
#include "models/subdisk_profile.hpp"

namespace vellomir {
namespace {

using test::Draws;

class PointLensSeriesGradientBatch : public ::testing::TestWithParam<SimdIsa> {};

TEST_P(PointLensSeriesGradientBatch, MatchesTheScalarKernel) {
    Draws d(0x5e41e5);
    constexpr std::size_t count = 4'003;  // a short last batch
    std::vector<double> u(count), rho(count), value(count), d_u(count), d_rho(count), bound(count), value_bound(count);
    std::vector<std::vector<double>> weighted(SERIES_GRADIENT_MAX_WEIGHTS, std::vector<double>(count));
    for (int draw = 0; draw < 40; ++draw) {
        const std::size_t available = 1 + draw % POINT_LENS_SERIES_MAX_TERMS;
        std::vector<double> moments(available);
        moments[0] = 1.0;
        for (std::size_t k = 1; k < available; ++k) moments[k] = moments[k - 1] * d.uniform(0.3, 1.0);
        std::vector<std::vector<double>> weight_rows(draw % (SERIES_GRADIENT_MAX_WEIGHTS + 1),
                                                     std::vector<double>(POINT_LENS_SERIES_MAX_TERMS));
        std::vector<const double*> weights;
        for (auto& row : weight_rows) {
            for (double& w : row) w = d.uniform(-1.0, 1.0);
            weights.push_back(row.data());
        }
        for (std::size_t i = 0; i < count; ++i) {
            rho[i] = d.log_uniform(1e-10, 1e3);
            const double ratio = i % 3 == 0 ? 1.0 + d.log_uniform(1e-12, 2.0) : d.log_uniform(1.0, 1e6);
            u[i] = i % 11 == 0 ? d.log_uniform(1e-8, 1e300) : rho[i] * ratio;
            if (!(u[i] > rho[i])) u[i] = std::nextafter(rho[i], INFINITY);
        }
        SeriesGradientColumns out{value.data(), d_u.data(), d_rho.data(), bound.data(), value_bound.data(), {}};
        for (std::size_t c = 0; c < weights.size(); ++c) out.weighted[c] = weighted[c].data();
        point_lens_mean_value_series_gradient_batch(u, rho, moments, weights, out, GetParam());
        std::vector<std::vector<double>> want(5 + weights.size(), std::vector<double>(count));
        for (std::size_t i = 0; i < count; ++i) {
            const SeriesGradient g = point_lens_mean_value_series_gradient(u[i], rho[i], moments);
            want[0][i] = g.value;
            want[1][i] = g.d_u;
            want[2][i] = g.d_rho;
            want[3][i] = g.truncation_bound;
            want[4][i] = g.value_truncation_bound;
            for (std::size_t c = 0; c < weights.size(); ++c) {
                double sum = 0.0;
                for (std::size_t j = g.terms; j-- > 1;) sum += g.d_moment[j] * weights[c][j];
                want[5 + c][i] = sum;
            }
        }
        const auto describe = [&](std::size_t i) {
            return "u, rho = " + test::numbers({u[i], rho[i]}) + ", moments " + std::to_string(available);
        };
        EXPECT_TRUE(test::bit_identical(value, want[0], describe)) << "value";
        EXPECT_TRUE(test::bit_identical(d_u, want[1], describe)) << "d_u";
        EXPECT_TRUE(test::bit_identical(d_rho, want[2], describe)) << "d_rho";
        EXPECT_TRUE(test::bit_identical(bound, want[3], describe)) << "bound";
        EXPECT_TRUE(test::bit_identical(value_bound, want[4], describe)) << "value bound";
        for (std::size_t c = 0; c < weights.size(); ++c) {
            EXPECT_TRUE(test::bit_identical(weighted[c], want[5 + c], describe)) << "weighted " << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, PointLensSeriesGradientBatch, ::testing::ValuesIn(test::runnable_isas()),
                         [](const auto& info) { return std::string(simd_isa_name(info.param)); });

// The rows of a law's map from the series: those it serves are law_magnification_gradient's bits,
// and it serves the far elements (near ones, and NaN, infinite or point-source ones, it leaves).
TEST(LawSeriesGradients, ServeTheFarElementsWithTheScalarBits) {
    const std::vector<std::pair<LimbDarkeningLaw, std::vector<double>>> laws = {
        {LimbDarkeningLaw::quadratic, {0.4, 0.25}}, {LimbDarkeningLaw::claret, {0.5, 0.1, 0.2, -0.1}},
        {LimbDarkeningLaw::logarithmic, {0.6, 0.2}}};
    for (const auto& [law, c] : laws) {
        const RadialProfile profile = RadialProfile::of_law(law, c).value();
        const SubdiskProfile stack(profile);
        const LawGradientBasis basis = law_gradient_basis(law, c);
        const std::optional<CoefficientProfiles> coefficients = CoefficientProfiles::of(basis, stack);
        const std::size_t width = 3 + basis.coefficients;
        for (const double rtol : {1e-3, 1e-10, 1e-14}) {
            const double rho = 0.01;
            std::vector<double> u;
            for (double l = 0.5; l < 300.0; l *= 1.21) u.push_back((u.size() % 2 ? -l : l) * rho);
            u.push_back(std::numeric_limits<double>::quiet_NaN());
            u.push_back(std::numeric_limits<double>::infinity());
            std::size_t served_total = 0;
            for (std::size_t begin = 0; begin < u.size(); begin += LAW_SERIES_BATCH) {
                const std::size_t count = std::min(LAW_SERIES_BATCH, u.size() - begin);
                std::vector<double> rows(count * width, -7.0);
                std::array<bool, LAW_SERIES_BATCH> served{};
                served_total += law_series_gradients(std::span<const double>(u).subspan(begin, count),
                                                     std::span<const double>(&rho, 1), profile, basis, rtol, rows,
                                                     std::span<bool>(served.data(), count));
                for (std::size_t j = 0; j < count; ++j) {
                    const double x = u[begin + j];
                    if (!served[j]) {
                        EXPECT_TRUE(!(std::fabs(x) > 3.0 * rho) || std::isinf(x) || rtol < 1e-12) << x;
                        continue;
                    }
                    const ProfileGradient g = law_magnification_gradient(
                        x, rho, profile, stack, coefficients ? &*coefficients : nullptr, basis, rtol);
                    std::vector<double> want{g.value, g.d_u, g.d_rho};
                    for (std::size_t k = 0; k < basis.coefficients; ++k) want.push_back(g.d_coefficient[k]);
                    EXPECT_TRUE(test::bit_identical(std::span<const double>(rows).subspan(j * width, width), want,
                                                    [&](std::size_t) { return "u = " + test::numbers({x}); }));
                }
            }
            EXPECT_GT(served_total, u.size() / 2) << "rtol " << rtol;
        }
    }
}

}  // namespace
}  // namespace vellomir
