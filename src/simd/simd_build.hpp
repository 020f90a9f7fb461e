#pragma once
// Whether this build compiles the x86 batched paths: GCC's target pragmas on x86-64, unless
// configured off (VELLOMIR_SIMD_PATHS=OFF). Other compilers and processors build the scalar
// path only.

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(VELLOMIR_NO_SIMD_PATHS)
#define VELLOMIR_X86_BATCH 1
#else
#define VELLOMIR_X86_BATCH 0
#endif
