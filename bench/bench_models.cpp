// Cost of the magnification models: the scalar Witt-Mao kernel alone (also across the limb and
// far from the lens) and mapped over worker pools, the Heyrovsky ring kernel (also through the lens), the pair grid, and the four integrated functions per separation
// (each reported also as a multiple of 385 kernel evaluations, a full tanh-sinh integration).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <thread>
#include <vector>

#include "models/flux_map.hpp"
#include "models/heyrovsky.hpp"
#include "models/integrated.hpp"
#include "models/multi_witt_mao.hpp"
#include "models/witt_mao.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {
namespace {

constexpr double RHO = 0.1;

std::vector<double> evenly_spaced(std::size_t count, double largest) {
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) values[i] = largest * static_cast<double>(i) / static_cast<double>(count);
    return values;
}

std::size_t all_cores() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

benchmark::Counter per_element(double elements) {
    return benchmark::Counter(elements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// (a) The scalar kernel in a plain loop: u in [0, 3], rho = 0.1.
void BM_WittMaoScalarLoop(benchmark::State& state) {
    const std::vector<double> u = evenly_spaced(1'000'000, 3.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (const double x : u) sum += witt_mao_magnification_scaled(x, RHO);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["per_element"] = per_element(static_cast<double>(u.size()));
}
BENCHMARK(BM_WittMaoScalarLoop)->Unit(benchmark::kMillisecond);

// (a) The same separations through the vector function (l = u / rho with re = 1, rstar = 0.1).
void BM_WittMaoVector(benchmark::State& state) {
    WorkerPool pool(state.range(0) == 0 ? all_cores() : static_cast<std::size_t>(state.range(0)));
    const std::vector<double> l = evenly_spaced(1'000'000, 30.0);
    for (auto _ : state) benchmark::DoNotOptimize(witt_mao_magnification(pool, l, 1.0, RHO));
    state.counters["workers"] = static_cast<double>(pool.size());
    state.counters["per_element"] = per_element(static_cast<double>(l.size()));
}
BENCHMARK(BM_WittMaoVector)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// (a) The limb-crossing set: u = rho (1 +- delta), delta log-spaced from 1e-12 to 0.1, for
// rho = 0.1 and 1e-3 (1 << 16 points in all).
void BM_WittMaoLimbCrossing(benchmark::State& state) {
    std::vector<double> u, rho;
    for (const double r : {0.1, 1e-3}) {
        for (int i = 0; i < 1 << 15; ++i) {
            const double delta = std::pow(10.0, -12.0 + 11.0 * static_cast<double>(i >> 1) / (1 << 14));
            u.push_back(r * (1.0 + ((i & 1) != 0 ? delta : -delta)));
            rho.push_back(r);
        }
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < u.size(); ++i) sum += witt_mao_magnification_scaled(u[i], rho[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["per_element"] = per_element(static_cast<double>(u.size()));
}
BENCHMARK(BM_WittMaoLimbCrossing)->Unit(benchmark::kMillisecond);

// (a) Far points by bands of u / rho (log-spaced within the band), rho = 0.1: the mean-value
// series serves from u = 3 rho, the closed form below, so the band [2, 3) is the closed form's
// cost next to the series' in the bands beyond.
void BM_WittMaoFarPoints(benchmark::State& state) {
    const double lo = static_cast<double>(state.range(0)), hi = static_cast<double>(state.range(1));
    std::vector<double> u(1 << 16);
    for (std::size_t i = 0; i < u.size(); ++i) {
        u[i] = RHO * lo * std::pow(hi / lo, static_cast<double>(i) / static_cast<double>(u.size()));
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (const double x : u) sum += witt_mao_magnification_scaled(x, RHO);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["per_element"] = per_element(static_cast<double>(u.size()));
}
BENCHMARK(BM_WittMaoFarPoints)->Args({2, 3})->Args({3, 4})->Args({4, 10})->Args({10, 1000})->Args({1000, 1000000000})
    ->Unit(benchmark::kMillisecond);

// (b) Rings next to the lens and through it: |r - l| log-spaced from 1e-12 to 1e-2 of l = 1.7.
void BM_HeyrovskyThroughLens(benchmark::State& state) {
    std::vector<double> r(1024);
    for (std::size_t i = 0; i < r.size(); ++i) {
        const double d = std::pow(10.0, -12.0 + 10.0 * static_cast<double>(i >> 1) / 512.0);
        r[i] = 1.7 + ((i & 1) != 0 ? d : -d);
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (const double x : r) sum += heyrovsky_magnification(1.7, x, 2.0, 1.0).value();
        benchmark::DoNotOptimize(sum);
    }
    state.counters["per_call"] = per_element(static_cast<double>(r.size()));
}
BENCHMARK(BM_HeyrovskyThroughLens);

// (b) One ring in the general case.
void BM_HeyrovskyCall(benchmark::State& state) {
    const std::vector<double> r = evenly_spaced(1024, 1.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (const double x : r) sum += heyrovsky_magnification(1.7, x, 2.0, 1.0).value();
        benchmark::DoNotOptimize(sum);
    }
    state.counters["per_call"] = per_element(static_cast<double>(r.size()));
}
BENCHMARK(BM_HeyrovskyCall);

// (c) 20 x 20 pairs over 10^4 separations, nested maps.
void BM_MultiWittMaoGrid(benchmark::State& state) {
    WorkerPool pool(state.range(0) == 0 ? all_cores() : static_cast<std::size_t>(state.range(0)));
    const std::vector<double> l = evenly_spaced(10'000, 30.0);
    std::vector<double> re, rstar;
    for (int i = 1; i <= 20; ++i) re.push_back(0.5 * i);
    for (int j = 1; j <= 20; ++j) rstar.push_back(0.01 * j);
    for (auto _ : state) benchmark::DoNotOptimize(multi_witt_mao_magnification(pool, l, re, rstar));
    state.counters["workers"] = static_cast<double>(pool.size());
    state.counters["per_element"] = per_element(400.0 * static_cast<double>(l.size()));
}
BENCHMARK(BM_MultiWittMaoGrid)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// (c) The same work as 400 successive vector calls on one worker, keeping every row.
void BM_WittMaoVectorCallsInALoop(benchmark::State& state) {
    WorkerPool pool(1);
    const std::vector<double> l = evenly_spaced(10'000, 30.0);
    for (auto _ : state) {
        // Kept, like the grid's rows: a caller of the loop needs all 400 rows at the end too.
        std::vector<std::vector<double>> rows;
        rows.reserve(400);
        for (int i = 1; i <= 20; ++i) {
            for (int j = 1; j <= 20; ++j) rows.push_back(witt_mao_magnification(pool, l, 0.5 * i, 0.01 * j));
        }
        benchmark::DoNotOptimize(rows);
    }
    state.counters["per_element"] = per_element(400.0 * static_cast<double>(l.size()));
}
BENCHMARK(BM_WittMaoVectorCallsInALoop)->Unit(benchmark::kMillisecond)->UseRealTime();

// (d) The integrated functions, per separation; l spread over [0, 3) so that a third of the
// separations put the lens inside the star. The ratio compares with 385 evaluations (one full
// tanh-sinh integration) of the kernel as timed in (a) and (b): the Witt-Mao kernel for the
// Witt-Mao forms, the ring kernel for the others. The kernel is timed here again, best of five
// runs, so that the ratio comes from one program run.
template <class Kernel>
double seconds_per_kernel_call(Kernel kernel, double largest) {
    const std::vector<double> x = evenly_spaced(100'000, largest);
    double best = 0.0;
    for (int run = 0; run < 5; ++run) {
        double sum = 0.0;
        const auto start = std::chrono::steady_clock::now();
        for (const double v : x) sum += kernel(v);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        benchmark::DoNotOptimize(sum);
        const double per_call = elapsed.count() / static_cast<double>(x.size());
        if (run == 0 || per_call < best) best = per_call;
    }
    return best;
}

double witt_mao_kernel_seconds() {
    return seconds_per_kernel_call([](double u) { return witt_mao_magnification_scaled(u, RHO); }, 3.0);
}

double heyrovsky_kernel_seconds() {
    return seconds_per_kernel_call([](double r) { return heyrovsky_magnification(1.7, r, 2.0, 1.0).value(); }, 1.0);
}

const std::vector<double> TABLE_RADII = {0.0, 0.2, 0.4, 0.6, 0.8, 1.0};
const std::vector<double> TABLE_BRIGHTNESS = {1.0, 0.97, 0.9, 0.78, 0.6, 0.3};

void report_ratio(benchmark::State& state, std::chrono::steady_clock::time_point start, std::size_t elements,
                  double kernel_seconds) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double per = elapsed.count() / (static_cast<double>(state.iterations()) * static_cast<double>(elements));
    state.counters["ns_per_element"] = per * 1e9;
    state.counters["kernel_ns"] = kernel_seconds * 1e9;
    state.counters["ratio_to_385_kernels"] = per / (385.0 * kernel_seconds);
}

void BM_IntegratedWittMao(benchmark::State& state) {
    const double kernel = witt_mao_kernel_seconds();
    const std::vector<double> l = evenly_spaced(48, 3.0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(integrated_witt_mao_magnification(l, 1.0, RHO));
    report_ratio(state, start, l.size(), kernel);
}
BENCHMARK(BM_IntegratedWittMao)->Unit(benchmark::kMillisecond);

void BM_IntegratedHeyrovsky(benchmark::State& state) {
    const double kernel = heyrovsky_kernel_seconds();
    const std::vector<double> l = evenly_spaced(48, 3.0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(integrated_heyrovsky_magnification(l, 1.0, RHO));
    report_ratio(state, start, l.size(), kernel);
}
BENCHMARK(BM_IntegratedHeyrovsky)->Unit(benchmark::kMillisecond);

void BM_IntegratedFluxMapWittMao(benchmark::State& state) {
    const double kernel = witt_mao_kernel_seconds();
    const std::vector<double> l = evenly_spaced(48, 3.0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            integrated_flux_map_witt_mao_magnification(l, 1.0, RHO, TABLE_RADII, TABLE_BRIGHTNESS));
    }
    report_ratio(state, start, l.size(), kernel);
}
BENCHMARK(BM_IntegratedFluxMapWittMao)->Unit(benchmark::kMillisecond);

void BM_IntegratedFluxMapHeyrovsky(benchmark::State& state) {
    const double kernel = heyrovsky_kernel_seconds();
    const std::vector<double> l = evenly_spaced(48, 3.0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            integrated_flux_map_heyrovsky_magnification(l, 1.0, RHO, TABLE_RADII, TABLE_BRIGHTNESS));
    }
    report_ratio(state, start, l.size(), kernel);
}
BENCHMARK(BM_IntegratedFluxMapHeyrovsky)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellomir

BENCHMARK_MAIN();
