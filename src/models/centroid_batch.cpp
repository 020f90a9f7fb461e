// Dispatch of the batched weighted centroid shift to the path asked for.

#include "models/centroid_batch.hpp"

#include "models/centroid.hpp"
#include "models/centroid_batch_paths.hpp"
#include "simd/simd_build.hpp"

namespace vellomir {
namespace {

SimdIsa runnable(SimdIsa isa) noexcept { return VELLOMIR_X86_BATCH && simd_isa_available(isa) ? isa : SimdIsa::scalar; }

}  // namespace

void disk_weighted_centroid_shift_batch(std::span<const double> u, double rho, std::span<double> out,
                                        SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::disk_weighted_centroid_shift_batch(u.data(), rho, out.data(), u.size());
        case SimdIsa::avx2:
            return batch_avx2::disk_weighted_centroid_shift_batch(u.data(), rho, out.data(), u.size());
#endif
        default:
            for (std::size_t i = 0; i < u.size(); ++i) out[i] = disk_weighted_centroid_shift(u[i], rho);
    }
}

void disk_weighted_centroid_shift_radii_batch(double u, std::span<const double> rho, std::span<double> out,
                                              SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::disk_weighted_centroid_shift_radii_batch(u, rho.data(), out.data(), rho.size());
        case SimdIsa::avx2:
            return batch_avx2::disk_weighted_centroid_shift_radii_batch(u, rho.data(), out.data(), rho.size());
#endif
        default:
            for (std::size_t i = 0; i < rho.size(); ++i) out[i] = disk_weighted_centroid_shift(u, rho[i]);
    }
}

}  // namespace vellomir
