// Overhead of parallel_map on explicit pools of 1 and 2 workers: an empty input (no
// worker is woken), 10 elements (dominated by the hand-off to the pool and back),
// 10^6 elements of a cheap pure function (against a plain loop), and a nested map in
// the shape of the pair grid (20 outer elements, each mapping 1000 inner ones). The
// "Cancellable" variants run the same maps inside an open CancellableCall (polled, never
// cancelled), as the module's calls do: the price of the cancellation checks.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "parallel/cancellation.hpp"
#include "parallel/parallel_map.hpp"

namespace vellomir {
namespace {

// On a shared machine the mean is mostly other processes' noise; the minimum over
// repetitions shows what the pool itself costs.
double minimum(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

WorkerPool& pool_of(std::size_t workers) {
    static WorkerPool one(1);
    static WorkerPool two(2);
    return workers == 1 ? one : two;
}

std::vector<double> ramp(std::size_t n) {
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = 1e-6 * static_cast<double>(i);
    }
    return values;
}

double cheap(double x) { return std::sqrt(x * x + 1.0) - x; }

void BM_ParallelMapEmpty(benchmark::State& state) {
    WorkerPool& pool = pool_of(static_cast<std::size_t>(state.range(0)));
    const std::vector<double> input;
    for (auto _ : state) {
        auto output = parallel_map(pool, std::span<const double>(input), cheap);
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(BM_ParallelMapEmpty)->ArgName("workers")->Arg(1)->Arg(2)->UseRealTime()->ComputeStatistics("min", minimum);

void BM_ParallelMapTen(benchmark::State& state) {
    WorkerPool& pool = pool_of(static_cast<std::size_t>(state.range(0)));
    const auto input = ramp(10);
    for (auto _ : state) {
        auto output = parallel_map(pool, std::span<const double>(input), cheap);
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(BM_ParallelMapTen)->ArgName("workers")->Arg(1)->Arg(2)->UseRealTime()->ComputeStatistics("min", minimum);

void BM_ParallelMapMillion(benchmark::State& state) {
    WorkerPool& pool = pool_of(static_cast<std::size_t>(state.range(0)));
    const auto input = ramp(1'000'000);
    for (auto _ : state) {
        auto output = parallel_map(pool, std::span<const double>(input), cheap);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_ParallelMapMillion)->ArgName("workers")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", minimum);

void BM_SequentialLoopMillion(benchmark::State& state) {
    const auto input = ramp(1'000'000);
    for (auto _ : state) {
        std::vector<double> output(input.size());
        for (std::size_t i = 0; i < input.size(); ++i) {
            output[i] = cheap(input[i]);
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_SequentialLoopMillion)->Unit(benchmark::kMillisecond);

void BM_ParallelMapNested(benchmark::State& state) {
    WorkerPool& pool = pool_of(static_cast<std::size_t>(state.range(0)));
    const auto outer = ramp(20);
    const auto inner = ramp(1000);
    for (auto _ : state) {
        auto rows = parallel_map(pool, std::span<const double>(outer), [&](double shift) {
            return parallel_map(pool, std::span<const double>(inner), [shift](double x) { return cheap(x + shift); });
        });
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_ParallelMapNested)->ArgName("workers")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime()->ComputeStatistics("min", minimum);

class NeverCancel final : public WaitPoll {
public:
    bool cancel_requested() noexcept override { return false; }
};

void BM_CancellableMapTen(benchmark::State& state) {
    WorkerPool& pool = pool_of(static_cast<std::size_t>(state.range(0)));
    const auto input = ramp(10);
    NeverCancel poll;
    for (auto _ : state) {
        const CancellableCall call(poll);
        auto output = parallel_map(pool, std::span<const double>(input), cheap);
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(BM_CancellableMapTen)->ArgName("workers")->Arg(1)->Arg(2)->UseRealTime()->ComputeStatistics("min", minimum);

void BM_CancellableMapMillion(benchmark::State& state) {
    WorkerPool& pool = pool_of(static_cast<std::size_t>(state.range(0)));
    const auto input = ramp(1'000'000);
    NeverCancel poll;
    for (auto _ : state) {
        const CancellableCall call(poll);
        auto output = parallel_map(pool, std::span<const double>(input), cheap);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_CancellableMapMillion)->ArgName("workers")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", minimum);

}  // namespace
}  // namespace vellomir

BENCHMARK_MAIN();
