#pragma once
// Which instruction set the batched kernels run on, chosen once per process.
//
// The batched kernels are written once, as lane code over the lane type of simd/lanes.hpp, and
// the build compiles that code once per instruction set (each `*_per_isa.cpp` with
// -DVELLOMIR_ISA=avx2 and avx512, under a GCC target pragma), so one binary carries every path
// and picks at run time through one table of function pointers per path. `scalar` runs the
// scalar kernels element by element; the batched paths give the same results bit for bit.
//
// Why the compiler's vector extensions under target pragmas rather than a portable-SIMD library
// (Highway) or intrinsics per instruction set: the element-wise operators are plainly the IEEE
// operations of the scalar code, which is what bit-identity needs; the lane code exists once
// for every width; the only intrinsics are the square root, gathers and mask tests of the two
// lane types; and there is no build dependency, so `pip install .` and CI need nothing but
// the C++ compiler. The price is GCC on x86-64 for the batched paths.
//
// VELLOMIR_SIMD=scalar|avx2|avx512, read once, forces a path (for tests and benchmarks); a
// path the processor or the build lacks falls back to the best one below it.

#include <string_view>

namespace vellomir {

enum class SimdIsa { scalar, avx2, avx512 };

// Whether this build contains the path and this processor can run it (scalar: always).
bool simd_isa_available(SimdIsa isa) noexcept;

// The path that runs when `isa` is asked for: `isa` where available, else scalar.
SimdIsa runnable_simd_isa(SimdIsa isa) noexcept;

// The path the batched functions use when none is named: the best available, or the one
// VELLOMIR_SIMD asks for, clamped to what is available. Thread-safe; read once.
SimdIsa active_simd_isa() noexcept;

// "scalar", "avx2", "avx512".
std::string_view simd_isa_name(SimdIsa isa) noexcept;

}  // namespace vellomir
