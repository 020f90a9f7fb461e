// Dispatch of the batched elliptic integrals to the path asked for.

#include "ellip/ellip_batch.hpp"

#include <limits>

#include "ellip/carlson.hpp"
#include "ellip/ellip_batch_paths.hpp"
#include "ellip/legendre.hpp"
#include "simd/simd_build.hpp"

namespace vellomir {
namespace {

double value_or_nan(const EllipResult& result) noexcept {
    return result.ok() ? result.value() : std::numeric_limits<double>::quiet_NaN();
}

// The path that runs: the one asked for where available, else scalar.
SimdIsa runnable(SimdIsa isa) noexcept { return VELLOMIR_X86_BATCH && simd_isa_available(isa) ? isa : SimdIsa::scalar; }

}  // namespace

void ellipk_batch(std::span<const double> m, std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::ellipk_batch(m.data(), out.data(), m.size());
        case SimdIsa::avx2:
            return batch_avx2::ellipk_batch(m.data(), out.data(), m.size());
#endif
        default:
            for (std::size_t i = 0; i < m.size(); ++i) out[i] = value_or_nan(ellipk(m[i]));
    }
}

void ellipe_batch(std::span<const double> m, std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::ellipe_batch(m.data(), out.data(), m.size());
        case SimdIsa::avx2:
            return batch_avx2::ellipe_batch(m.data(), out.data(), m.size());
#endif
        default:
            for (std::size_t i = 0; i < m.size(); ++i) out[i] = value_or_nan(ellipe(m[i]));
    }
}

void ellippi_batch(std::span<const double> n, std::span<const double> m, std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::ellippi_batch(n.data(), m.data(), out.data(), m.size());
        case SimdIsa::avx2:
            return batch_avx2::ellippi_batch(n.data(), m.data(), out.data(), m.size());
#endif
        default:
            for (std::size_t i = 0; i < m.size(); ++i) out[i] = value_or_nan(ellippi(n[i], m[i]));
    }
}

void ellipk_complement_batch(std::span<const double> mc, std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::ellipk_complement_batch(mc.data(), out.data(), mc.size());
        case SimdIsa::avx2:
            return batch_avx2::ellipk_complement_batch(mc.data(), out.data(), mc.size());
#endif
        default:
            for (std::size_t i = 0; i < mc.size(); ++i) out[i] = value_or_nan(ellipk_complement(mc[i]));
    }
}

void ellipe_complement_batch(std::span<const double> mc, std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::ellipe_complement_batch(mc.data(), out.data(), mc.size());
        case SimdIsa::avx2:
            return batch_avx2::ellipe_complement_batch(mc.data(), out.data(), mc.size());
#endif
        default:
            for (std::size_t i = 0; i < mc.size(); ++i) out[i] = value_or_nan(ellipe_complement(mc[i]));
    }
}

void ellippi_complement_batch(std::span<const double> nc, std::span<const double> mc, std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::ellippi_complement_batch(nc.data(), mc.data(), out.data(), mc.size());
        case SimdIsa::avx2:
            return batch_avx2::ellippi_complement_batch(nc.data(), mc.data(), out.data(), mc.size());
#endif
        default:
            for (std::size_t i = 0; i < mc.size(); ++i) out[i] = value_or_nan(ellippi_complement(nc[i], mc[i]));
    }
}

void elliprf_batch(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::elliprf_batch(x.data(), y.data(), z.data(), out.data(), x.size());
        case SimdIsa::avx2:
            return batch_avx2::elliprf_batch(x.data(), y.data(), z.data(), out.data(), x.size());
#endif
        default:
            for (std::size_t i = 0; i < x.size(); ++i) out[i] = elliprf_unchecked(x[i], y[i], z[i]);
    }
}

void elliprj_batch(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   std::span<const double> p, std::span<double> out, SimdIsa isa) noexcept {
    switch (runnable(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return batch_avx512::elliprj_batch(x.data(), y.data(), z.data(), p.data(), out.data(), x.size());
        case SimdIsa::avx2:
            return batch_avx2::elliprj_batch(x.data(), y.data(), z.data(), p.data(), out.data(), x.size());
#endif
        default:
            for (std::size_t i = 0; i < x.size(); ++i) out[i] = elliprj_unchecked(x[i], y[i], z[i], p[i]);
    }
}

}  // namespace vellomir
