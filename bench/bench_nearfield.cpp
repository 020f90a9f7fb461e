// Kernel values of the sub-disk integrator per epoch of a light curve with the lens crossing the
// star (rho = 0.01, u0 = 0.3 rho, tE = 20 d, t within t0 +- 0.5 d: u < 2.5 rho), per law and rtol,
// and the time per epoch on one thread. The value counts (counter `values_per_epoch`, averaged
// over every epoch, the series' epochs counting 0) do not depend on the machine; multiplied by
// the uniform-disk kernel's cost per value they give most of the near-field cost.
//     build-bench/bench_nearfield --benchmark_filter=Crossing

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "models/profile_magnification.hpp"
#include "models/radial_profile.hpp"
#include "models/subdisk_integral.hpp"
#include "models/subdisk_kernels.hpp"

namespace vellomir {
namespace {

constexpr double RHO = 0.01;

std::vector<double> crossing(std::size_t epochs) {
    std::vector<double> u(epochs);
    for (std::size_t k = 0; k < epochs; ++k) {
        const double tau = (-0.5 + static_cast<double>(k) / static_cast<double>(epochs - 1)) / 20.0;
        u[k] = std::sqrt(0.3 * RHO * (0.3 * RHO) + tau * tau);
    }
    return u;
}

RadialProfile profile_named(int which) {
    switch (which) {
        case 0: return RadialProfile::of_law(LimbDarkeningLaw::linear, std::vector<double>{0.6}).value();
        case 1: return RadialProfile::of_law(LimbDarkeningLaw::quadratic, std::vector<double>{0.4, 0.25}).value();
        case 2: return RadialProfile::of_law(LimbDarkeningLaw::claret, std::vector<double>{0.5, 0.1, 0.2, -0.1}).value();
        case 3: return RadialProfile::of_law(LimbDarkeningLaw::square_root, std::vector<double>{0.3, 0.4}).value();
        case 4: return RadialProfile::of_law(LimbDarkeningLaw::logarithmic, std::vector<double>{0.6, 0.2}).value();
        case 5: return RadialProfile::of_law(LimbDarkeningLaw::power_2, std::vector<double>{0.6, 0.6}).value();
        default: {
            std::vector<double> radius(20), intensity(20);
            for (int j = 0; j < 20; ++j) {
                radius[j] = j / 19.0;
                intensity[j] = 1.0 - 0.6 * (1.0 - std::sqrt(1.0 - radius[j] * radius[j]));
            }
            return RadialProfile::of_table(radius, intensity).value();
        }
    }
}

const char* const NAMES[] = {"linear", "quadratic", "claret", "square-root", "logarithmic", "power-2", "table20"};

// The magnification kernel, counting its values.
struct CountingKernel {
    static constexpr std::size_t quantities = 1;
    std::uint64_t* values;
    void operator()(double u, std::span<const double> radii, std::span<double> out) const {
        *values += radii.size();
        UniformDiskMagnificationKernel{}(u, radii, out);
    }
};

void Crossing(benchmark::State& state) {
    const RadialProfile profile = profile_named(static_cast<int>(state.range(0)));
    const SubdiskProfile stack(profile);
    const double rtol = std::pow(10.0, -static_cast<double>(state.range(1)));
    const std::vector<double> u = crossing(2000);
    std::uint64_t values = 0, epochs = 0;
    for (auto _ : state) {
        for (const double x : u) {
            double value;
            if (const auto cheap = profile_magnification_without_rings(x, RHO, profile, rtol)) {
                value = *cheap;
            } else {
                value = integrate_over_subdisks(CountingKernel{&values}, stack, x, RHO, rtol).value[0];
            }
            benchmark::DoNotOptimize(value);
        }
        epochs += u.size();
    }
    state.SetLabel(std::string(NAMES[state.range(0)]) + " rtol 1e-" + std::to_string(state.range(1)));
    state.counters["values_per_epoch"] = static_cast<double>(values) / static_cast<double>(epochs);
    state.counters["per_epoch"] = benchmark::Counter(static_cast<double>(u.size()),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(Crossing)->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {2, 3, 6, 8, 10, 12, 14}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellomir

BENCHMARK_MAIN();
