#pragma once
// Uniform-disk kernels for integrate_over_subdisks (subdisk_integral.hpp).

#include <cstddef>
#include <span>

#include "models/witt_mao_batch.hpp"

namespace vellomir {

// The magnification of the uniform sub-disk (Witt & Mao 1994), on the batched vector paths.
struct UniformDiskMagnificationKernel {
    static constexpr std::size_t quantities = 1;
    void operator()(double u, std::span<const double> radii, std::span<double> out) const noexcept {
        witt_mao_magnification_radii_batch(u, radii, out);
    }
};

}  // namespace vellomir
