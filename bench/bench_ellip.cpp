// Cost of one call of ellipk, ellipe (Taylor polynomial and AGM paths apart) and
// ellippi (0 < n < 1, 0 <= m < 1), single thread. Each benchmark walks an array of
// 4096 random arguments so that neither the branch predictor nor a constant
// argument flatters the figures; one iteration is one call.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

#include "ellip/legendre.hpp"

namespace {

constexpr std::size_t count = 4096;  // a power of two: the index wraps with a mask

std::vector<double> uniform_values(double lo, double hi, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(lo, hi);
    std::vector<double> values(count);
    for (double& v : values) {
        v = dist(rng);
    }
    return values;
}

template <class Routine>
void run_over(benchmark::State& state, const std::vector<double>& m, Routine routine) {
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(routine(m[i]));
        i = (i + 1) & (count - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

void ellipk_polynomial(benchmark::State& state) {
    run_over(state, uniform_values(0.0, 0.9, 1), [](double m) { return vellomir::ellipk(m).value(); });
}

void ellipk_agm(benchmark::State& state) {
    run_over(state, uniform_values(0.9, 1.0, 2), [](double m) { return vellomir::ellipk(m).value(); });
}

void ellipe_polynomial(benchmark::State& state) {
    run_over(state, uniform_values(0.0, 0.9, 3), [](double m) { return vellomir::ellipe(m).value(); });
}

void ellipe_agm(benchmark::State& state) {
    run_over(state, uniform_values(0.9, 1.0, 4), [](double m) { return vellomir::ellipe(m).value(); });
}

void ellippi_between_zero_and_one(benchmark::State& state) {
    const std::vector<double> n = uniform_values(0.0, 1.0, 5);
    const std::vector<double> m = uniform_values(0.0, 1.0, 6);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellomir::ellippi(n[i], m[i]).value());
        i = (i + 1) & (count - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(ellipk_polynomial);
BENCHMARK(ellipk_agm);
BENCHMARK(ellipe_polynomial);
BENCHMARK(ellipe_agm);
BENCHMARK(ellippi_between_zero_and_one);

}  // namespace

BENCHMARK_MAIN();
