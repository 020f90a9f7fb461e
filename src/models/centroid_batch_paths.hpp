#pragma once
// The per-instruction-set entry points behind centroid_batch.hpp.

#include <cstddef>

#define VELLOMIR_CENTROID_BATCH_PATHS                                                                      \
    void disk_weighted_centroid_shift_batch(const double* u, double rho, double* out, std::size_t count) noexcept; \
    void disk_weighted_centroid_shift_radii_batch(double u, const double* rho, double* out, std::size_t count) noexcept;

namespace vellomir::batch_avx2 {
VELLOMIR_CENTROID_BATCH_PATHS
}
namespace vellomir::batch_avx512 {
VELLOMIR_CENTROID_BATCH_PATHS
}

#undef VELLOMIR_CENTROID_BATCH_PATHS
