// Dispatch of the batched uniform-disk magnification to the path asked for.

#include "models/witt_mao_batch.hpp"

#include <limits>

#include "models/witt_mao.hpp"
#include "models/models_batch_paths.hpp"
#include "simd/simd_build.hpp"

namespace vellomir {
namespace {

SimdIsa runnable(SimdIsa isa) noexcept { return VELLOMIR_X86_BATCH && simd_isa_available(isa) ? isa : SimdIsa::scalar; }

}  // namespace

void witt_mao_magnification_batch(std::span<const double> separation, double scale, double rho,
                                  std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::witt_mao_magnification_batch(separation.data(), scale, rho, out.data(),
                                                              separation.size());
        case SimdIsa::avx2:
            return batch_avx2::witt_mao_magnification_batch(separation.data(), scale, rho, out.data(),
                                                            separation.size());
#endif
        default:
            for (std::size_t i = 0; i < separation.size(); ++i) {
                out[i] = separation[i] < 0.0 ? std::numeric_limits<double>::quiet_NaN()
                                             : witt_mao_magnification_scaled(separation[i] * scale, rho);
            }
    }
}

void witt_mao_magnification_radii_batch(double u, std::span<const double> rho, std::span<double> out,
                                        SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::witt_mao_magnification_radii_batch(u, rho.data(), out.data(), rho.size());
        case SimdIsa::avx2:
            return batch_avx2::witt_mao_magnification_radii_batch(u, rho.data(), out.data(), rho.size());
#endif
        default:
            for (std::size_t i = 0; i < rho.size(); ++i) out[i] = witt_mao_magnification_scaled(u, rho[i]);
    }
}

}  // namespace vellomir
