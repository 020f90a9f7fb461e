// Centroid-shift maps over arrays: the inline-or-pool decision and the element rules, as for
// the magnification maps (magnification_maps.cpp).

#include "models/centroid_maps.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include <algorithm>
#include <array>
#include <atomic>

#include "models/centroid.hpp"
#include "models/centroid_batch.hpp"
#include "models/element_maps.hpp"
#include "models/magnification_maps.hpp"
#include "models/witt_mao_batch.hpp"

namespace vellomir {
namespace {

// The shift at |u| carried over to u's side of the lens.
double odd_in_u(double u, double shift_at_distance) noexcept { return std::signbit(u) ? -shift_at_distance : shift_at_distance; }

// uniform_centroid_shift_element over a run of separations about one radius, a block of whole
// SIMD batches at a time (bit for bit the same): where the shift is the closed form over the
// magnification, both batched kernels; elsewhere the element rule.
void uniform_centroid_run(std::span<const double> u, double rho, std::span<double> out) noexcept {
    std::array<double, BATCH_BLOCK> distance, weighted;
    for (std::size_t begin = 0; begin < u.size(); begin += BATCH_BLOCK) {
        const std::size_t count = std::min(BATCH_BLOCK, u.size() - begin);
        for (std::size_t i = 0; i < count; ++i) distance[i] = std::fabs(u[begin + i]);
        const std::span<const double> distances(distance.data(), count);
        const std::span<double> results = out.subspan(begin, count);
        disk_weighted_centroid_shift_batch(distances, rho, std::span<double>(weighted.data(), count));
        witt_mao_magnification_batch(distances, 1.0, rho, results);
        for (std::size_t i = 0; i < count; ++i) {
            if (uniform_centroid_is_closed_form(distance[i], rho)) {
                results[i] = odd_in_u(u[begin + i], weighted[i] / results[i]);
            } else {
                results[i] = uniform_centroid_shift_element(u[begin + i], rho);
            }
        }
    }
}

}  // namespace

double uniform_centroid_shift_element(double u, double rho) noexcept {
    if (std::isnan(u) || std::isnan(rho)) return std::numeric_limits<double>::quiet_NaN();
    const double distance = std::fabs(u);
    if (std::isinf(distance)) return odd_in_u(u, 0.0);
    return odd_in_u(u, uniform_centroid_shift(distance, rho));
}

void uniform_centroid_shift_map(std::span<const double> u, std::span<const double> rho, std::span<double> out,
                                PoolLauncher& launcher) {
    map_cheap_elements("centroid map", u, rho, out, uniform_centroid_shift_element, uniform_centroid_run, launcher);
}

MissedTolerance profile_centroid_shift_map(std::span<const double> u, std::span<const double> rho,
                                           const CentroidProfile& profile, double rtol, std::span<double> out,
                                           PoolLauncher& launcher) {
    check_map_lengths("centroid map", u, rho, out);
    if (u.size() <= INLINE_CHEAP_ELEMENTS) {
        std::size_t i = 0;
        for (; i < u.size(); ++i) {
            const std::optional<double> cheap =
                profile.shift_without_integral(u[i], rho.size() == 1 ? rho[0] : rho[i], rtol);
            if (!cheap) break;
            out[i] = std::isnan(*cheap) ? *cheap : odd_in_u(u[i], *cheap);
        }
        if (i == u.size()) return {};
    }
    // Misses counted across the workers: the count and the maximum do not depend on the order.
    std::atomic<std::size_t> missed{0};
    std::atomic<double> worst{0.0};
    map_elements(
        u, rho, out, false,
        [&](double separation, double radius) {
            const ProfileCentroid result = profile.shift(separation, radius, rtol);
            if (!result.met_tolerance) {
                missed.fetch_add(1, std::memory_order_relaxed);
                double seen = worst.load(std::memory_order_relaxed);
                while (result.error_estimate > seen &&
                       !worst.compare_exchange_weak(seen, result.error_estimate, std::memory_order_relaxed)) {
                }
            }
            return std::isnan(result.value) ? result.value : odd_in_u(separation, result.value);
        },
        launcher);
    return {missed.load(), worst.load()};
}

}  // namespace vellomir
