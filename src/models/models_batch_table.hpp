#pragma once
// The table of the models' batched kernels: one per instruction set, each entry taking raw
// arrays of `count` doubles (`out` may be the input array). models_batch.cpp picks the table of
// the path asked for; models_batch_per_isa.cpp, compiled once per instruction set, defines the
// vector ones from the lane code (witt_mao_lanes.hpp, witt_mao_derivatives_lanes.hpp,
// point_lens_series_gradient_lanes.hpp, heyrovsky_lanes.hpp, centroid_lanes.hpp).

#include <cstddef>

namespace vellomir {

struct DiskGradient;
struct SeriesGradientColumns;

struct ModelsBatchTable {
    // witt_mao_batch.hpp
    void (*witt_mao_magnification)(const double* separation, double scale, double rho, double* out,
                                   std::size_t count) noexcept;
    void (*witt_mao_magnification_radii)(double u, const double* rho, double* out, std::size_t count) noexcept;
    // witt_mao_derivatives.hpp: u and rho hold one value (one_u, one_rho) or count.
    void (*witt_mao_derivatives)(const double* u, bool one_u, const double* rho, bool one_rho, DiskGradient* out,
                                 std::size_t count) noexcept;
    void (*witt_mao_derivative_columns)(const double* u, bool one_u, const double* rho, bool one_rho, double* value,
                                        double* d_u, double* d_rho, std::size_t count) noexcept;
    // point_lens_series_gradient.hpp
    void (*point_lens_series_gradient)(const double* u, const double* rho, std::size_t count, const double* moments,
                                       std::size_t moment_count, const double* const* weights,
                                       std::size_t weight_count, const SeriesGradientColumns& out) noexcept;
    // heyrovsky_batch.hpp
    void (*heyrovsky_magnification)(double l, const double* r, double re, double rstar, double* out,
                                    std::size_t count) noexcept;
    // centroid_batch.hpp
    void (*disk_weighted_centroid_shift)(const double* u, double rho, double* out, std::size_t count) noexcept;
    void (*disk_weighted_centroid_shift_radii)(double u, const double* rho, double* out, std::size_t count) noexcept;
};

namespace isa_avx2 {
extern const ModelsBatchTable models_batch_table;
}
namespace isa_avx512 {
extern const ModelsBatchTable models_batch_table;
}

}  // namespace vellomir
