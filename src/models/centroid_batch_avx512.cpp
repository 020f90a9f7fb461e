// The batched weighted centroid shift compiled for AVX512 (see centroid_batch.hpp): the shared lane
// code inside a target region of its own namespace.

#include "models/centroid_batch_paths.hpp"
#include "simd/simd_build.hpp"

#if VELLOMIR_X86_BATCH
#include <immintrin.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "models/centroid.hpp"
#include "models/centroid_series_tables.hpp"
#include "models/point_lens_series.hpp"

#pragma GCC push_options
#pragma GCC target("avx512f")
namespace vellomir::batch_avx512 {
#include "simd/lanes_avx512.inc"
#include "simd/lane_ops.inc"
#include "models/centroid_lanes.inc"
}  // namespace vellomir::batch_avx512
#pragma GCC pop_options
#endif
