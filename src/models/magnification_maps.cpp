// Magnification maps over arrays: the inline-or-pool decision and the element rules.

#include "models/magnification_maps.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>

#include "models/element_maps.hpp"
#include "models/profile_magnification.hpp"
#include "models/subdisk_profile.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_batch.hpp"

namespace vellomir {
namespace {

// uniform_disk_magnification over a run of separations about one radius, a block of whole SIMD
// batches at a time (bit for bit the same): the batched kernel takes the distances, and the NaN
// and infinite inputs are then set as uniform_disk_magnification sets them.
void uniform_disk_run(std::span<const double> u, double rho, std::span<double> out) noexcept {
    std::array<double, BATCH_BLOCK> distance;
    for (std::size_t begin = 0; begin < u.size(); begin += BATCH_BLOCK) {
        const std::size_t count = std::min(BATCH_BLOCK, u.size() - begin);
        for (std::size_t i = 0; i < count; ++i) distance[i] = std::fabs(u[begin + i]);
        const std::span<double> results = out.subspan(begin, count);
        witt_mao_magnification_batch(std::span<const double>(distance.data(), count), 1.0, rho, results);
        for (std::size_t i = 0; i < count; ++i) {
            if (std::isnan(distance[i]) || std::isnan(rho)) {
                results[i] = std::numeric_limits<double>::quiet_NaN();
            } else if (std::isinf(distance[i])) {
                results[i] = 1.0;
            }
        }
    }
}

}  // namespace

double uniform_disk_magnification(double u, double rho) noexcept {
    if (std::isnan(u) || std::isnan(rho)) return std::numeric_limits<double>::quiet_NaN();
    const double distance = std::fabs(u);
    if (std::isinf(distance)) return 1.0;
    return witt_mao_magnification_scaled(distance, rho);
}

void uniform_disk_magnification_map(std::span<const double> u, std::span<const double> rho,
                                    std::span<double> out, PoolLauncher& launcher) {
    map_cheap_elements("magnification map", u, rho, out, uniform_disk_magnification, uniform_disk_run, launcher);
}

MissedTolerance profile_magnification_map(std::span<const double> u, std::span<const double> rho,
                                          const RadialProfile& profile, double rtol, bool ring_only,
                                          std::span<double> out, PoolLauncher& launcher) {
    check_map_lengths("magnification map", u, rho, out);
    // A few elements that all avoid the ring integral are cheaper here than on the pool;
    // the first that needs it sends them all to the pool.
    if (!ring_only && u.size() <= INLINE_CHEAP_ELEMENTS) {
        std::size_t i = 0;
        for (; i < u.size(); ++i) {
            const std::optional<double> cheap =
                profile_magnification_without_rings(u[i], rho.size() == 1 ? rho[0] : rho[i], profile, rtol);
            if (!cheap) break;
            out[i] = *cheap;
        }
        if (i == u.size()) return {};
    }
    const SubdiskProfile stack(profile);
    // Misses counted across the workers: the count and the maximum do not depend on the order.
    std::atomic<std::size_t> missed{0};
    std::atomic<double> worst{0.0};
    map_elements(
        u, rho, out, false,
        [&](double separation, double radius) {
            const ProfileMagnification result =
                profile_magnification(separation, radius, profile, stack, rtol, !ring_only);
            if (!result.met_tolerance) {
                missed.fetch_add(1, std::memory_order_relaxed);
                double seen = worst.load(std::memory_order_relaxed);
                while (result.error_estimate > seen &&
                       !worst.compare_exchange_weak(seen, result.error_estimate, std::memory_order_relaxed)) {
                }
            }
            return result.value;
        },
        launcher);
    return {missed.load(), worst.load()};
}

}  // namespace vellomir
