#pragma once
// What every map over (u, rho) arrays shares (magnification_maps.cpp, centroid_maps.cpp): the
// check of the lengths, and out[i] = element(u[i], rho[i or 0]) on the calling thread for a few
// cheap elements, else on the pool, for a cheap element over blocks of SIMD batches about one
// radius. Each element is computed on its own, so the bits do not depend on where it runs.

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>

#include "models/magnification_maps.hpp"
#include "models/witt_mao_batch.hpp"
#include "parallel/parallel_for_blocks.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/pool_launcher.hpp"

namespace vellomir {

// std::invalid_argument("<map>: u, rho and out have inconsistent lengths") unless out holds
// u.size() values and rho one or u.size().
inline void check_map_lengths(const char* map, std::span<const double> u, std::span<const double> rho,
                              std::span<double> out) {
    if (out.size() != u.size() || (rho.size() != 1 && rho.size() != u.size())) {
        throw std::invalid_argument(std::string(map) + ": u, rho and out have inconsistent lengths");
    }
}

// out[i] = element(u[i], rho[i or 0]); on the calling thread for a few cheap elements. Expensive
// elements (integrals near the lens) sit among cheap ones (the far series): the pool splits
// those maps finer.
template <class Element>
void map_elements(std::span<const double> u, std::span<const double> rho, std::span<double> out, bool cheap,
                  const Element& element, PoolLauncher& launcher) {
    const bool broadcast_rho = rho.size() == 1;
    auto element_at = [&](const double& separation) {
        const std::size_t i = static_cast<std::size_t>(&separation - u.data());
        return element(separation, broadcast_rho ? rho[0] : rho[i]);
    };
    if (cheap && u.size() <= INLINE_CHEAP_ELEMENTS) {
        for (std::size_t i = 0; i < u.size(); ++i) out[i] = element_at(u[i]);
        return;
    }
    const ElementCost cost = cheap ? ElementCost::even : ElementCost::uneven;
    launch_on_pool(launcher, [&](WorkerPool& pool) { parallel_map_into(pool, u, out, element_at, cost); });
}

// The map of a cheap element with its run about one radius: out[i] = element(u[i], rho[i or 0]),
// where with one radius run(u, radius, out) takes blocks of whole SIMD batches (bit for bit the
// element's), inline for a few elements, else on the pool.
template <class Element, class Run>
void map_cheap_elements(const char* map, std::span<const double> u, std::span<const double> rho,
                        std::span<double> out, const Element& element, const Run& run, PoolLauncher& launcher) {
    check_map_lengths(map, u, rho, out);
    if (rho.size() != 1) {
        map_elements(u, rho, out, true, element, launcher);
        return;
    }
    const double radius = rho[0];
    if (u.size() <= INLINE_CHEAP_ELEMENTS) {
        run(u, radius, out);
        return;
    }
    launch_on_pool(launcher, [&](WorkerPool& pool) {
        parallel_for_blocks(pool, u.size(), BATCH_BLOCK, [&](std::size_t begin, std::size_t end) {
            run(u.subspan(begin, end - begin), radius, out.subspan(begin, end - begin));
        });
    });
}

}  // namespace vellomir
