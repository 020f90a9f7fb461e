// The batched uniform-disk and ring magnifications compiled for AVX2 (see witt_mao_batch.hpp,
// heyrovsky_batch.hpp): the
// shared lane code inside a target region of its own namespace.

#include "models/models_batch_paths.hpp"
#include "simd/simd_build.hpp"

#if VELLOMIR_X86_BATCH
#include <immintrin.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "ellip/carlson.hpp"
#include "ellip/legendre.hpp"
#include "ellip/legendre_tables_padded.hpp"
#include "models/heyrovsky.hpp"
#include "models/model_constants.hpp"
#include "models/point_lens_series.hpp"
#include "models/point_lens_series_tables.hpp"
#include "models/witt_mao.hpp"

#pragma GCC push_options
#pragma GCC target("avx2")
namespace vellomir::batch_avx2 {
#include "simd/lanes_avx2.inc"
#include "simd/lane_ops.inc"
#include "ellip/ellip_lanes.inc"
#include "models/witt_mao_lanes.inc"
#include "models/heyrovsky_lanes.inc"
}  // namespace vellomir::batch_avx2
#pragma GCC pop_options
#endif
