// Batched kernels against the scalar ones, per element on one core, in one run: every path this
// processor runs (scalar forced, AVX2, AVX-512), so the ratios compare like with like. The
// limb-darkened functions run on the dispatched path (VELLOMIR_SIMD may force one) against their
// pointwise form, the scalar kernels called by `integrate` one abscissa at a time as before the
// batched kernels. The closing line names the dispatched path.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "models/heyrovsky.hpp"
#include "models/heyrovsky_batch.hpp"
#include "models/integrated.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_batch.hpp"
#include "parallel/worker_pool.hpp"
#include "quadrature/double_exponential.hpp"
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

// Ring kernel as the ring-form quadrature calls it: l = 0.5, q = 10, rings r in (0, 1).
void ring(benchmark::State& state, SimdIsa isa) {
    const std::vector<double> r = evenly_spaced(COUNT, 0.0, 1.0);
    std::vector<double> out(COUNT);
    for (auto _ : state) {
        heyrovsky_magnification_batch(0.5, r, 10.0, 1.0, out, isa);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns_per_element"] = ns_per_element(static_cast<double>(COUNT));
}

// Limb-darkened functions on a one-worker pool (timed by the process's CPU time, which counts the
// worker), l in [0, 3] (stellar radii), re = 10, rstar = 1.
constexpr std::size_t SEPARATIONS = 64;

void limb_darkened(benchmark::State& state, bool ring_form) {
    WorkerPool pool(1);
    const std::vector<double> l = evenly_spaced(SEPARATIONS, 0.0, 3.0);
    for (auto _ : state) {
        const std::vector<double> out = ring_form ? integrated_heyrovsky_magnification(pool, l, 10.0, 1.0)
                                                  : integrated_witt_mao_magnification(pool, l, 10.0, 1.0);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns_per_element"] = ns_per_element(static_cast<double>(SEPARATIONS));
}

// The pointwise forms (test/models/integrated_batch_test.cpp checks that the functions equal them).
template <class F>
double split_integral(F&& f, double split) {
    if (0.0 < split && split < 1.0) {
        return integrate(f, 0.0, split, RADIAL_QUADRATURE_TARGET).integral +
               integrate(f, split, 1.0, RADIAL_QUADRATURE_TARGET).integral;
    }
    return integrate(f, 0.0, 1.0, RADIAL_QUADRATURE_TARGET).integral;
}

void limb_darkened_pointwise(benchmark::State& state, bool ring_form) {
    const std::vector<double> l = evenly_spaced(SEPARATIONS, 0.0, 3.0);
    const double rho = 0.1;
    const double q = 10.0;
    for (auto _ : state) {
        for (const double lc : l) {
            double value;
            if (ring_form) {
                const auto ring_flux = [&](double r) {
                    const Result<double> h = heyrovsky_magnification(lc, r, q, 1.0);
                    return limb_darkening_profile(r) * ((TWO_PI * r) * (h.ok() ? h.value() : NAN));
                };
                value = split_integral(ring_flux, lc) / LIMB_DARKENED_NORM;
            } else {
                const double u = lc * rho;
                const auto sub_disks = [&](double x) {
                    const double w = 1.0 - x * x;
                    if (w == 0.0) return 0.0;
                    const double s = std::sqrt(w);
                    return witt_mao_magnification_scaled(u, s * rho) * (s * s);
                };
                const double sum = split_integral(sub_disks, 0.0 < lc && lc < 1.0 ? std::sqrt((1.0 - lc) * (1.0 + lc)) : 0.0);
                value = ((sum * 0.6) + (witt_mao_magnification_scaled(u, rho) * 0.4)) * PI / LIMB_DARKENED_NORM;
            }
            benchmark::DoNotOptimize(value);
        }
    }
    state.counters["ns_per_element"] = ns_per_element(static_cast<double>(SEPARATIONS));
}

void register_all() {
    for (const bool ring_form : {false, true}) {
        const std::string name = ring_form ? "LimbDarkened/rings/" : "LimbDarkened/disks/";
        benchmark::RegisterBenchmark((name + "pointwise").c_str(), limb_darkened_pointwise, ring_form)
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark((name + std::string(simd_isa_name(active_simd_isa()))).c_str(), limb_darkened,
                                     ring_form)
            ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
    }
    for (SimdIsa isa : {SimdIsa::scalar, SimdIsa::avx2, SimdIsa::avx512}) {
        if (!simd_isa_available(isa)) continue;
        const std::string name(simd_isa_name(isa));
        benchmark::RegisterBenchmark(("UniformDisk/u0to3/" + name).c_str(), uniform_disk, isa, 0.0, 3.0)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("UniformDisk/limb/" + name).c_str(), uniform_disk, isa, 0.5 * RHO, 1.5 * RHO)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Ring/" + name).c_str(), ring, isa)->Unit(benchmark::kMicrosecond);
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
