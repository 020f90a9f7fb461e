// Cost of one call of ellipk, ellipe (Taylor polynomial and AGM paths apart) and
// ellippi (0 < n < 1, 0 <= m < 1), and of the complementary entries next to m = 1, single thread. Each benchmark walks an array of
// 4096 random arguments so that neither the branch predictor nor a constant
// argument flatters the figures; one iteration is one call.

#include <benchmark/benchmark.h>

#include <cmath>
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

// The complementary entries next to m = 1: 1 - m and 1 - n log-spaced from 1e-30 to 0.1.
std::vector<double> log_values(double lo_exponent, double hi_exponent, unsigned seed) {
    std::vector<double> values = uniform_values(lo_exponent, hi_exponent, seed);
    for (double& v : values) v = std::pow(10.0, v);
    return values;
}

void ellipk_complement_small(benchmark::State& state) {
    run_over(state, log_values(-30.0, -1.0, 7), [](double mc) { return vellomir::ellipk_complement(mc).value(); });
}

void ellipe_complement_small(benchmark::State& state) {
    run_over(state, log_values(-30.0, -1.0, 8), [](double mc) { return vellomir::ellipe_complement(mc).value(); });
}

void ellippi_complement_small(benchmark::State& state) {
    const std::vector<double> nc = log_values(-30.0, -1.0, 9);
    const std::vector<double> mc = log_values(-30.0, -1.0, 10);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellomir::ellippi_complement(nc[i], mc[i]).value());
        i = (i + 1) & (count - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(ellipk_polynomial);
BENCHMARK(ellipk_agm);
BENCHMARK(ellipe_polynomial);
BENCHMARK(ellipe_agm);
BENCHMARK(ellippi_between_zero_and_one);
BENCHMARK(ellipk_complement_small);
BENCHMARK(ellipe_complement_small);
BENCHMARK(ellippi_complement_small);

}  // namespace

BENCHMARK_MAIN();
