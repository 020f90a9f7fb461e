// Derivative maps: the inline-or-pool decision and the element rules.

#include "models/derivative_maps.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "models/magnification_maps.hpp"
#include "models/profile_derivatives.hpp"
#include "parallel/parallel_for_blocks.hpp"

namespace vellomir {
namespace {

// Disk elements per block of the pool's loop: enough to pay for the hand-over.
constexpr std::size_t DISK_BLOCK = 256;

void check_lengths(std::span<const double> u, std::span<const double> rho, std::span<double> out, std::size_t width) {
    if (out.size() != width * u.size() || (rho.size() != 1 && rho.size() != u.size())) {
        throw std::invalid_argument("derivative map: u, rho and out have inconsistent lengths");
    }
}

// row(i, out_row) for every element; on the calling thread for a few cheap elements.
template <class Row>
void map_rows(std::size_t count, std::size_t width, std::span<double> out, bool cheap, const Row& row,
              PoolLauncher& launcher) {
    auto rows = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) row(i, out.subspan(i * width, width));
    };
    if (cheap && count <= INLINE_CHEAP_ELEMENTS) {
        rows(0, count);
        return;
    }
    const std::size_t block = cheap ? DISK_BLOCK : 1;
    launch_on_pool(launcher, [&](WorkerPool& pool) { parallel_for_blocks(pool, count, block, rows); });
}

// Misses counted across the workers: the count and the maximum do not depend on the order.
class MissCounter {
public:
    void record(const ProfileGradient& g) noexcept {
        if (g.met_tolerance) return;
        missed_.fetch_add(1, std::memory_order_relaxed);
        double seen = worst_.load(std::memory_order_relaxed);
        while (g.error_estimate > seen && !worst_.compare_exchange_weak(seen, g.error_estimate, std::memory_order_relaxed)) {
        }
    }
    MissedTolerance result() const noexcept { return {missed_.load(), worst_.load()}; }

private:
    std::atomic<std::size_t> missed_{0};
    std::atomic<double> worst_{0.0};
};

}  // namespace

DiskGradient uniform_disk_gradient(double u, double rho) noexcept {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    if (std::isnan(u) || std::isnan(rho)) return {nan, nan, nan};
    const double distance = std::fabs(u);
    if (std::isinf(distance)) return {1.0, 0.0, 0.0};
    DiskGradient g = witt_mao_derivatives_scaled(distance, rho);
    if (std::signbit(u)) g.d_u = -g.d_u;
    return g;
}

void uniform_disk_gradient_map(std::span<const double> u, std::span<const double> rho, std::span<double> out,
                               PoolLauncher& launcher) {
    check_lengths(u, rho, out, 3);
    const bool broadcast = rho.size() == 1;
    // Runs of whole batches through the batched kernel straight into the columns, then
    // uniform_disk_gradient's rules for NaN, infinite and negative separations (bit for bit
    // uniform_disk_gradient).
    const std::size_t n = u.size();
    auto run = [&](std::size_t begin, std::size_t end) {
        std::array<double, DERIVATIVES_BATCH> distance;
        for (std::size_t first = begin; first < end; first += DERIVATIVES_BATCH) {
            const std::size_t count = std::min(DERIVATIVES_BATCH, end - first);
            for (std::size_t i = 0; i < count; ++i) distance[i] = std::fabs(u[first + i]);
            const std::span<const double> radii = broadcast ? rho : rho.subspan(first, count);
            witt_mao_derivatives_batch(std::span<const double>(distance.data(), count), radii,
                                       out.subspan(first, count), out.subspan(n + first, count),
                                       out.subspan(2 * n + first, count));
            for (std::size_t i = 0; i < count; ++i) {
                const double x = u[first + i], r = broadcast ? rho[0] : rho[first + i];
                if (std::isnan(x) || std::isnan(r) || std::isinf(x)) {
                    const DiskGradient element = uniform_disk_gradient(x, r);
                    out[first + i] = element.value;
                    out[n + first + i] = element.d_u;
                    out[2 * n + first + i] = element.d_rho;
                } else if (std::signbit(x)) {
                    out[n + first + i] = -out[n + first + i];
                }
            }
        }
    };
    if (u.size() <= INLINE_CHEAP_ELEMENTS) {
        run(0, u.size());
        return;
    }
    launch_on_pool(launcher, [&](WorkerPool& pool) { parallel_for_blocks(pool, u.size(), DERIVATIVES_BATCH, run); });
}

MissedTolerance law_gradient_map(std::span<const double> u, std::span<const double> rho, const RadialProfile& profile,
                                 const LawGradientBasis& basis, double rtol, std::span<double> out,
                                 PoolLauncher& launcher) {
    const std::size_t width = 3 + basis.coefficients;
    check_lengths(u, rho, out, width);
    const SubdiskProfile stack(profile);
    const std::optional<CoefficientProfiles> coefficients = CoefficientProfiles::of(basis, stack);
    const CoefficientProfiles* coefficient_profiles = coefficients ? &*coefficients : nullptr;
    const bool broadcast = rho.size() == 1;
    MissCounter misses;
    // Blocks of LAW_SERIES_BATCH elements: the far series' a batch at a time, the rest one by one.
    auto run = [&](std::size_t begin, std::size_t end) {
        std::array<bool, LAW_SERIES_BATCH> served;
        for (std::size_t first = begin; first < end; first += LAW_SERIES_BATCH) {
            const std::size_t count = std::min(LAW_SERIES_BATCH, end - first);
            const std::span<const double> radii = broadcast ? rho : rho.subspan(first, count);
            const std::span<double> rows = out.subspan(first * width, count * width);
            const std::size_t by_series = law_series_gradients(u.subspan(first, count), radii, profile, basis, rtol,
                                                               rows, std::span<bool>(served.data(), count));
            if (by_series == count) continue;
            for (std::size_t j = 0; j < count; ++j) {
                if (served[j]) continue;
                const std::size_t i = first + j;
                const ProfileGradient g = law_magnification_gradient(u[i], broadcast ? rho[0] : rho[i], profile, stack,
                                                                     coefficient_profiles, basis, rtol);
                misses.record(g);
                const std::span<double> row = rows.subspan(j * width, width);
                row[0] = g.value;
                row[1] = g.d_u;
                row[2] = g.d_rho;
                for (std::size_t k = 0; k < basis.coefficients; ++k) row[3 + k] = g.d_coefficient[k];
            }
        }
    };
    launch_on_pool(launcher, [&](WorkerPool& pool) { parallel_for_blocks(pool, u.size(), LAW_SERIES_BATCH, run); });
    return misses.result();
}

MissedTolerance table_gradient_map(std::span<const double> u, std::span<const double> rho, const RadialProfile& profile,
                                   double rtol, std::span<double> out, PoolLauncher& launcher) {
    check_lengths(u, rho, out, 3);
    const SubdiskProfile stack(profile);
    const bool broadcast = rho.size() == 1;
    MissCounter misses;
    map_rows(u.size(), 3, out, false,
             [&](std::size_t i, std::span<double> row) {
                 const ProfileGradient g = table_magnification_gradient(u[i], broadcast ? rho[0] : rho[i], profile, stack, rtol);
                 misses.record(g);
                 row[0] = g.value;
                 row[1] = g.d_u;
                 row[2] = g.d_rho;
             },
             launcher);
    return misses.result();
}

}  // namespace vellomir
