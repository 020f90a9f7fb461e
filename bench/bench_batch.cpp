// Batched kernels against the scalar ones, per element on one core, in one run: every path this
// processor runs (scalar forced, AVX2, AVX-512), so the ratios compare like with like. The
// closing lines name the path the process dispatches to (VELLOMIR_SIMD may force one).

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "models/witt_mao.hpp"
#include "models/witt_mao_batch.hpp"
#include "simd/simd_isa.hpp"

namespace vellomir {
namespace {

constexpr double RHO = 0.1;
constexpr std::size_t COUNT = 1 << 16;

std::vector<double> evenly_spaced(std::size_t count, double low, double high) {
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = low + (high - low) * static_cast<double>(i) / static_cast<double>(count);
    }
    return values;
}

benchmark::Counter ns_per_element(double elements) {
    return benchmark::Counter(elements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Uniform disk, rho = 0.1: u in [0, 3], or the limb-crossing set u in [0.5 rho, 1.5 rho].
void uniform_disk(benchmark::State& state, SimdIsa isa, double low, double high) {
    const std::vector<double> u = evenly_spaced(COUNT, low, high);
    std::vector<double> out(COUNT);
    for (auto _ : state) {
        witt_mao_magnification_batch(u, 1.0, RHO, out, isa);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns_per_element"] = ns_per_element(static_cast<double>(COUNT));
}

void register_all() {
    for (SimdIsa isa : {SimdIsa::scalar, SimdIsa::avx2, SimdIsa::avx512}) {
        if (!simd_isa_available(isa)) continue;
        const std::string name(simd_isa_name(isa));
        benchmark::RegisterBenchmark(("UniformDisk/u0to3/" + name).c_str(), uniform_disk, isa, 0.0, 3.0)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("UniformDisk/limb/" + name).c_str(), uniform_disk, isa, 0.5 * RHO, 1.5 * RHO)
            ->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace
}  // namespace vellomir

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vellomir::register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("dispatched path: %s\n", std::string(vellomir::simd_isa_name(vellomir::active_simd_isa())).c_str());
    return 0;
}
