#pragma once
// The moments <r^2k> = 1 / (k + 1) of the uniform disk (r in source radii), as the mean-value
// series far from the lens take them (point_lens_series.hpp, centroid_series.hpp).

#include <array>
#include <cstddef>

#include "models/point_lens_series.hpp"

namespace vellomir {

inline constexpr std::array<double, POINT_LENS_SERIES_MAX_TERMS> UNIFORM_DISK_MOMENTS = [] {
    std::array<double, POINT_LENS_SERIES_MAX_TERMS> moments{};
    for (std::size_t k = 0; k < moments.size(); ++k) moments[k] = 1.0 / static_cast<double>(k + 1);
    return moments;
}();

}  // namespace vellomir
