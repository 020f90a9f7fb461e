// The batched elliptic integrals of one instruction set: the build compiles this file once per
// set (-DVELLOMIR_ISA=avx2, avx512) into vellomir::isa_<set>::ellip_batch_table.

#include "simd/simd_build.hpp"

#if VELLOMIR_X86_BATCH
#include "ellip/ellip_batch_table.hpp"
#include "ellip/ellip_lanes.hpp"

VELLOMIR_ISA_BEGIN
const EllipBatchTable ellip_batch_table{
    .ellipk = ellip_lanes::ellipk_batch,
    .ellipe = ellip_lanes::ellipe_batch,
    .ellippi = ellip_lanes::ellippi_batch,
    .ellipk_complement = ellip_lanes::ellipk_complement_batch,
    .ellipe_complement = ellip_lanes::ellipe_complement_batch,
    .ellippi_complement = ellip_lanes::ellippi_complement_batch,
    .elliprf = ellip_lanes::elliprf_batch,
    .elliprj = ellip_lanes::elliprj_batch,
};
VELLOMIR_ISA_END
#endif
