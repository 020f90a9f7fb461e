// Dispatch of the batched ring magnification to the path asked for.

#include "models/heyrovsky_batch.hpp"

#include <limits>

#include "models/heyrovsky.hpp"
#include "models/models_batch_paths.hpp"
#include "simd/simd_build.hpp"

namespace vellomir {

void heyrovsky_magnification_batch(double l, std::span<const double> r, double re, double rstar,
                                   std::span<double> out, SimdIsa isa) noexcept {
    const SimdIsa path = VELLOMIR_X86_BATCH && simd_isa_available(isa) ? isa : SimdIsa::scalar;
    switch (path) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::heyrovsky_magnification_batch(l, r.data(), re, rstar, out.data(), r.size());
        case SimdIsa::avx2:
            return batch_avx2::heyrovsky_magnification_batch(l, r.data(), re, rstar, out.data(), r.size());
#endif
        default:
            for (std::size_t i = 0; i < r.size(); ++i) {
                const Outcome<double> ring = heyrovsky_magnification(l, r[i], re, rstar);
                out[i] = ring.ok() ? ring.value() : std::numeric_limits<double>::quiet_NaN();
            }
    }
}

}  // namespace vellomir
