// Grid of uniform-disk magnifications (Witt & Mao 1994) over (Einstein radius, stellar radius)
// pairs: an outer parallel map over the pairs whose rows are inner parallel maps over the
// separations, both on one work-stealing pool (a worker waiting on a nested map keeps working).

#include "models/multi_witt_mao.hpp"

#include <span>
#include <utility>

#include "models/witt_mao.hpp"
#include "parallel/parallel_map.hpp"

namespace vellomir {

std::vector<std::vector<double>> multi_witt_mao_magnification(WorkerPool& pool, const std::vector<double>& l,
                                                              const std::vector<double>& re,
                                                              const std::vector<double>& rstar) {
    using Pair = std::pair<double, double>;
    std::vector<Pair> pairs;
    pairs.reserve(re.size() * rstar.size());
    for (const double einstein_radius : re) {
        for (const double stellar_radius : rstar) pairs.emplace_back(einstein_radius, stellar_radius);
    }
    // Each row works on its own copy of l (taken by value) and is returned as a prvalue, so the
    // map moves it into its slot of the result.
    return parallel_map(pool, std::span<const Pair>(pairs), [&pool, &l](const Pair& pair) {
        return witt_mao_magnification(pool, l, pair.first, pair.second);
    });
}

std::vector<std::vector<double>> multi_witt_mao_magnification(const std::vector<double>& l,
                                                              const std::vector<double>& re,
                                                              const std::vector<double>& rstar) {
    return multi_witt_mao_magnification(WorkerPool::global(), l, re, rstar);
}

}  // namespace vellomir
