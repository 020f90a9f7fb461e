// The models' batched kernels of one instruction set: the build compiles this file once per set
// (-DVELLOMIR_ISA=avx2, avx512) into vellomir::isa_<set>::models_batch_table.

#include "simd/simd_build.hpp"

#if VELLOMIR_X86_BATCH
#include "models/centroid_lanes.hpp"
#include "models/heyrovsky_lanes.hpp"
#include "models/models_batch_table.hpp"
#include "models/point_lens_series_gradient_lanes.hpp"
#include "models/witt_mao_derivatives_lanes.hpp"
#include "models/witt_mao_lanes.hpp"

VELLOMIR_ISA_BEGIN
const ModelsBatchTable models_batch_table{
    .witt_mao_magnification = witt_mao_lanes::magnification_batch,
    .witt_mao_magnification_radii = witt_mao_lanes::magnification_radii_batch,
    .witt_mao_derivatives = witt_mao_derivatives_lanes::derivatives_batch,
    .witt_mao_derivative_columns = witt_mao_derivatives_lanes::derivative_columns_batch,
    .point_lens_series_gradient = point_lens_series_gradient_lanes::gradient_batch,
    .heyrovsky_magnification = heyrovsky_lanes::magnification_batch,
    .disk_weighted_centroid_shift = centroid_lanes::weighted_shift_batch,
    .disk_weighted_centroid_shift_radii = centroid_lanes::weighted_shift_radii_batch,
};
VELLOMIR_ISA_END
#endif
