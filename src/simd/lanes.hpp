#pragma once
// The lane type of the instruction set this translation unit is compiled for, and the
// operations every lane kernel uses. Included only by the sources that the build compiles once
// per instruction set (`*_per_isa.cpp`, with -DVELLOMIR_ISA=avx2 or avx512), directly or
// through a lane kernel (ellip/ellip_lanes.hpp, ...).
//
// Everything compiled for an instruction set lies between VELLOMIR_ISA_BEGIN and
// VELLOMIR_ISA_END: GCC's target options for that set, in a namespace of its own
// (vellomir::isa_avx2, vellomir::isa_avx512), so that no inline function compiled for one set
// is picked by the linker for another. Standard and scalar headers are included before the
// region, so their inline functions keep the default target.
//
// Arithmetic, comparisons and selections are GCC's element-wise vector operations, each the
// IEEE operation of the scalar code in every lane; sqrt is the correctly rounded vsqrtpd.

#include <immintrin.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#define VELLOMIR_ISA_ID_avx2 2
#define VELLOMIR_ISA_ID_avx512 3
#define VELLOMIR_ISA_JOIN_(a, b) a##b
#define VELLOMIR_ISA_JOIN(a, b) VELLOMIR_ISA_JOIN_(a, b)

#if !defined(VELLOMIR_ISA)
#error "lane code is compiled once per instruction set: the build defines VELLOMIR_ISA (avx2, avx512)"
#elif VELLOMIR_ISA_JOIN(VELLOMIR_ISA_ID_, VELLOMIR_ISA) == 2
#define VELLOMIR_ISA_NAMESPACE isa_avx2
#define VELLOMIR_ISA_BEGIN \
    _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")") namespace vellomir::isa_avx2 {
#elif VELLOMIR_ISA_JOIN(VELLOMIR_ISA_ID_, VELLOMIR_ISA) == 3
#define VELLOMIR_ISA_NAMESPACE isa_avx512
#define VELLOMIR_ISA_BEGIN \
    _Pragma("GCC push_options") _Pragma("GCC target(\"avx512f\")") namespace vellomir::isa_avx512 {
#else
#error "VELLOMIR_ISA names no instruction set this build knows (avx2, avx512)"
#endif
#define VELLOMIR_ISA_END } _Pragma("GCC pop_options")

VELLOMIR_ISA_BEGIN

#if VELLOMIR_ISA_JOIN(VELLOMIR_ISA_ID_, VELLOMIR_ISA) == 2
// AVX2: four doubles.
struct Lanes {
    static constexpr int N = 4;
    typedef double V __attribute__((vector_size(32)));
    typedef long long M __attribute__((vector_size(32)));  // all ones or zero per lane
    typedef int I __attribute__((vector_size(16)));        // table indices

    [[gnu::always_inline]] static inline V sqrt(V x) noexcept { return (V)_mm256_sqrt_pd((__m256d)x); }
    [[gnu::always_inline]] static inline unsigned bits(M m) noexcept {
        return static_cast<unsigned>(_mm256_movemask_pd((__m256d)m));
    }
    [[gnu::always_inline]] static inline V gather(const double* base, I index) noexcept {
        return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, (__m128i)index,
                                        _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
    }
#else
// AVX-512: eight doubles.
struct Lanes {
    static constexpr int N = 8;
    typedef double V __attribute__((vector_size(64)));
    typedef long long M __attribute__((vector_size(64)));  // all ones or zero per lane
    typedef int I __attribute__((vector_size(32)));        // table indices

    // The masked forms: GCC 12's unmasked ones trip -Wmaybe-uninitialized in its own header.
    [[gnu::always_inline]] static inline V sqrt(V x) noexcept { return (V)_mm512_mask_sqrt_pd((__m512d)x, 0xff, (__m512d)x); }
    [[gnu::always_inline]] static inline unsigned bits(M m) noexcept {
        return static_cast<unsigned>(_mm512_test_epi64_mask((__m512i)m, (__m512i)m));
    }
    [[gnu::always_inline]] static inline V gather(const double* base, I index) noexcept {
        return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xff, (__m256i)index, base, 8);
    }
#endif
    // Common to both widths.
    [[gnu::always_inline]] static inline V load(const double* p) noexcept {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    [[gnu::always_inline]] static inline void store(double* p, V v) noexcept { std::memcpy(p, &v, sizeof v); }
    // Truncation toward zero of values known to lie in (-2^31, 2^31).
    [[gnu::always_inline]] static inline I truncate(V x) noexcept { return __builtin_convertvector(x, I); }
};

// The operations of the lane kernels; each one is, lane by lane, exactly the scalar operation it
// is named after.

using V = Lanes::V;
using M = Lanes::M;
inline constexpr int N = Lanes::N;

[[gnu::always_inline]] inline V splat(double x) noexcept {
    V v;
    for (int i = 0; i < N; ++i) v[i] = x;
    return v;
}
[[gnu::always_inline]] inline V select(M mask, V if_set, V otherwise) noexcept { return mask ? if_set : otherwise; }
[[gnu::always_inline]] inline bool any(M mask) noexcept { return Lanes::bits(mask) != 0; }
[[gnu::always_inline]] inline bool none(M mask) noexcept { return Lanes::bits(mask) == 0; }
// std::fabs clears the sign bit; so does this.
[[gnu::always_inline]] inline V fabs(V x) noexcept {
    return (V)((M)x & (M)splat(std::bit_cast<double>(0x7fffffffffffffffULL)));
}
[[gnu::always_inline]] inline M is_nan(V x) noexcept { return x != x; }
[[gnu::always_inline]] inline M is_finite(V x) noexcept { return fabs(x) <= std::numeric_limits<double>::max(); }
// The elliptic routines' max and min that ignore a NaN second operand.
[[gnu::always_inline]] inline V max_ignoring_nan(V a, V b) noexcept { return select((a > b) | is_nan(b), a, b); }
[[gnu::always_inline]] inline V min_ignoring_nan(V a, V b) noexcept { return select((a < b) | is_nan(b), a, b); }

// Lanes of `mask` replaced by fn(lane values) — the scalar route for libm calls.
template <class Fn>
[[gnu::always_inline]] inline V per_lane(M mask, V result, Fn&& fn) noexcept {
    for (unsigned bits = Lanes::bits(mask); bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        result[i] = fn(i);
    }
    return result;
}

// out[i] for i < count, batch by batch: kernel(load, scalar-lane mask), where load(base) gives
// the batch's lanes of the input array `base`, and scalar(index) for the lanes the kernel marks.
// The remainder after the last whole batch runs as one batch whose spare lanes repeat its last
// element and are not stored. Each batch is read before it is written, so out may alias the
// inputs.
template <class Kernel, class Scalar>
[[gnu::always_inline]] inline void for_each_batch(std::size_t count, double* out, Kernel&& kernel,
                                                  Scalar&& scalar) noexcept {
    std::size_t i = 0;
    for (; i + N <= count; i += N) {
        M scalar_lanes = M{};
        V result = kernel([i](const double* base) { return Lanes::load(base + i); }, scalar_lanes);
        result = per_lane(scalar_lanes, result, [&](int lane) { return scalar(i + lane); });
        Lanes::store(out + i, result);
    }
    if (i == count) return;
    const std::size_t last = count - 1 - i;
    const auto load_padded = [i, last](const double* base) {
        V v;
        for (std::size_t lane = 0; lane < N; ++lane) v[lane] = base[i + (lane < last ? lane : last)];
        return v;
    };
    M scalar_lanes = M{};
    V result = kernel(load_padded, scalar_lanes);
    M stored = M{};
    for (std::size_t lane = 0; lane <= last; ++lane) stored[lane] = -1;
    result = per_lane(scalar_lanes & stored, result, [&](int lane) { return scalar(i + lane); });
    for (std::size_t lane = 0; lane <= last; ++lane) out[i + lane] = result[lane];
}

VELLOMIR_ISA_END
