#pragma once
// Helpers of the batched-kernel tests: the paths this processor runs, the inputs that stress
// them, and a bit-for-bit comparison that names the first input where a path differs.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "simd/simd_isa.hpp"

namespace vellomir::test {

// Every path the processor can run, scalar first.
inline std::vector<SimdIsa> runnable_isas() {
    std::vector<SimdIsa> isas;
    for (SimdIsa isa : {SimdIsa::scalar, SimdIsa::avx2, SimdIsa::avx512}) {
        if (simd_isa_available(isa)) isas.push_back(isa);
    }
    return isas;
}

// Draws of the kinds the kernels branch on: log-uniform magnitudes, doubles near given points,
// and arbitrary bit patterns (NaNs, infinities, subnormals included).
class Draws {
public:
    explicit Draws(std::uint64_t seed) : rng_(seed) {}
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    double log_uniform(double lo, double hi) { return std::exp(uniform(std::log(lo), std::log(hi))); }
    // x moved by up to `ulps` representable doubles either way.
    double near(double x, int ulps) {
        const int steps = std::uniform_int_distribution<int>(-ulps, ulps)(rng_);
        for (int i = 0; i < std::abs(steps); ++i) x = std::nextafter(x, steps > 0 ? INFINITY : -INFINITY);
        return x;
    }
    double any_bits() { return std::bit_cast<double>(rng_()); }
    template <class T>
    const T& pick(const std::vector<T>& options) {
        return options[std::uniform_int_distribution<std::size_t>(0, options.size() - 1)(rng_)];
    }
    std::mt19937_64& engine() { return rng_; }

private:
    std::mt19937_64 rng_;
};

inline const std::vector<double>& special_values() {
    static const std::vector<double> values{0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 1e-300, -1e-300, 4.9e-324, 1e300, -1e300,
                                            std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                                            std::numeric_limits<double>::infinity(),
                                            -std::numeric_limits<double>::infinity(),
                                            std::numeric_limits<double>::quiet_NaN()};
    return values;
}

// Bits of got[i] and want[i] agree for every i, or both are NaN: which operand's NaN an
// operation passes on is not fixed (the compiler may commute a + b), so neither are the sign and
// payload of a NaN. Otherwise names the first input that differs.
inline ::testing::AssertionResult bit_identical(std::span<const double> got, std::span<const double> want,
                                                const std::function<std::string(std::size_t)>& describe) {
    std::size_t mismatches = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const bool same = std::bit_cast<std::uint64_t>(got[i]) == std::bit_cast<std::uint64_t>(want[i]) ||
                          (std::isnan(got[i]) && std::isnan(want[i]));
        if (!same && mismatches++ == 0) {
            first = i;
        }
    }
    if (mismatches == 0) return ::testing::AssertionSuccess();
    char text[160];
    std::snprintf(text, sizeof text, "%zu of %zu differ; first at %zu: batched %.17g, scalar %.17g, for ", mismatches,
                  want.size(), first, got[first], want[first]);
    return ::testing::AssertionFailure() << text << describe(first);
}

inline std::string numbers(std::initializer_list<double> values) {
    std::string text;
    char one[32];
    for (double v : values) {
        std::snprintf(one, sizeof one, "%s%.17g", text.empty() ? "" : ", ", v);
        text += one;
    }
    return text;
}

}  // namespace vellomir::test
