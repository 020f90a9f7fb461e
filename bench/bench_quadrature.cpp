// Cost of one tanh-sinh integration (the integrand's calls aside, a multiply-add per node) and of
// one table interpolation.

#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "quadrature/double_exponential.hpp"
#include "quadrature/interp.hpp"

namespace {

using vellomir::integrate;
using vellomir::interp;
using vellomir::OutOfRange;
using vellomir::QuadratureResult;

// Target 1e-16 as every caller uses: the test never stops early, 385 evaluations.
void BM_IntegrateSquareAllLevels(benchmark::State& state) {
    double upper = 1.0;
    std::uint32_t evaluations = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(upper);
        const QuadratureResult result = integrate([](double t) { return t * t; }, 0.0, upper, 1e-16);
        benchmark::DoNotOptimize(result.integral);
        evaluations = result.evaluations;
    }
    state.counters["evaluations"] = evaluations;
}
BENCHMARK(BM_IntegrateSquareAllLevels);

void BM_IntegrateExpAllLevels(benchmark::State& state) {
    double upper = 1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(upper);
        const QuadratureResult result = integrate([](double t) { return std::exp(t); }, 0.0, upper, 1e-16);
        benchmark::DoNotOptimize(result.integral);
    }
}
BENCHMARK(BM_IntegrateExpAllLevels);

// The flux-map pattern: 2 pi t times a tabulated profile, 0 outside the table.
void BM_IntegrateInterpolatedProfile(benchmark::State& state) {
    const auto points = static_cast<std::size_t>(state.range(0));
    std::vector<double> radius(points);
    std::vector<double> brightness(points);
    for (std::size_t k = 0; k < points; ++k) {
        radius[k] = static_cast<double>(k) / static_cast<double>(points - 1);
        brightness[k] = 1.0 - 0.6 * (1.0 - std::sqrt(1.0 - radius[k] * radius[k]));
    }
    const auto integrand = [&](double t) {
        return 2.0 * 3.141592653589793 * t * interp(radius, brightness, t, OutOfRange::constant(0.0));
    };
    for (auto _ : state) {
        const QuadratureResult result = integrate(integrand, 0.0, 1.0, 1e-16);
        benchmark::DoNotOptimize(result.integral);
    }
}
BENCHMARK(BM_IntegrateInterpolatedProfile)->Arg(16)->Arg(1024);

}  // namespace

BENCHMARK_MAIN();
