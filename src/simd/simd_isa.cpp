// Run-time choice of the batched kernels' instruction set.

#include "simd/simd_isa.hpp"

#include <cstdlib>

#include "simd/simd_build.hpp"

namespace vellomir {
namespace {

SimdIsa isa_from_environment() noexcept {
    SimdIsa wanted = SimdIsa::avx512;
    if (const char* text = std::getenv("VELLOMIR_SIMD")) {
        const std::string_view name(text);
        if (name == "scalar") wanted = SimdIsa::scalar;
        if (name == "avx2") wanted = SimdIsa::avx2;
    }
    while (!simd_isa_available(wanted)) wanted = static_cast<SimdIsa>(static_cast<int>(wanted) - 1);
    return wanted;
}

}  // namespace

bool simd_isa_available(SimdIsa isa) noexcept {
    switch (isa) {
        case SimdIsa::scalar:
            return true;
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx2:
            return __builtin_cpu_supports("avx2");
        case SimdIsa::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2");
#endif
        default:
            return false;
    }
}

SimdIsa runnable_simd_isa(SimdIsa isa) noexcept { return simd_isa_available(isa) ? isa : SimdIsa::scalar; }

SimdIsa active_simd_isa() noexcept {
    static const SimdIsa isa = isa_from_environment();
    return isa;
}

std::string_view simd_isa_name(SimdIsa isa) noexcept {
    switch (isa) {
        case SimdIsa::avx2:
            return "avx2";
        case SimdIsa::avx512:
            return "avx512";
        default:
            return "scalar";
    }
}

}  // namespace vellomir
