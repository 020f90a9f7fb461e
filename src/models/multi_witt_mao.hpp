#pragma once
// Uniform-disk magnifications for every combination of an Einstein radius and a stellar radius.

#include <vector>

#include "parallel/worker_pool.hpp"

namespace vellomir {

// One row per (re[i], rstar[j]) pair, re the outer (slower) index: row i * len(rstar) + j is
// witt_mao_magnification(l, re[i], rstar[j]). Pairs are mapped over `pool`, and each row is
// itself a map over l nested on the same pool.
std::vector<std::vector<double>> multi_witt_mao_magnification(WorkerPool& pool, const std::vector<double>& l,
                                                              const std::vector<double>& re,
                                                              const std::vector<double>& rstar);

// The same on the process-wide pool.
std::vector<std::vector<double>> multi_witt_mao_magnification(const std::vector<double>& l,
                                                              const std::vector<double>& re,
                                                              const std::vector<double>& rstar);

}  // namespace vellomir
