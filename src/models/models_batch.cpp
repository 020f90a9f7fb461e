// The models' batched kernels (witt_mao_batch.hpp, witt_mao_derivatives.hpp,
// point_lens_series_gradient.hpp, heyrovsky_batch.hpp, centroid_batch.hpp): each entry runs the
// table of the path asked for (models_batch_table.hpp); the scalar table maps the scalar kernels
// element by element.

#include <limits>

#include "models/centroid.hpp"
#include "models/centroid_batch.hpp"
#include "models/heyrovsky.hpp"
#include "models/heyrovsky_batch.hpp"
#include "models/models_batch_table.hpp"
#include "models/point_lens_series_gradient.hpp"
#include "models/witt_mao.hpp"
#include "models/witt_mao_batch.hpp"
#include "models/witt_mao_derivatives.hpp"
#include "simd/simd_build.hpp"

namespace vellomir {
namespace {

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

void witt_mao_scalar(const double* separation, double scale, double rho, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = separation[i] < 0.0 ? NOT_A_NUMBER : witt_mao_magnification_scaled(separation[i] * scale, rho);
    }
}

void witt_mao_radii_scalar(double u, const double* rho, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = witt_mao_magnification_scaled(u, rho[i]);
}

void witt_mao_derivatives_scalar(const double* u, bool one_u, const double* rho, bool one_rho, DiskGradient* out,
                                 std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = witt_mao_derivatives_scaled(one_u ? u[0] : u[i], one_rho ? rho[0] : rho[i]);
}

void witt_mao_derivative_columns_scalar(const double* u, bool one_u, const double* rho, bool one_rho, double* value,
                                        double* d_u, double* d_rho, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const DiskGradient g = witt_mao_derivatives_scaled(one_u ? u[0] : u[i], one_rho ? rho[0] : rho[i]);
        value[i] = g.value;
        d_u[i] = g.d_u;
        d_rho[i] = g.d_rho;
    }
}

void point_lens_series_gradient_scalar(const double* u, const double* rho, std::size_t count, const double* moments,
                                       std::size_t moment_count, const double* const* weights, std::size_t weight_count,
                                       const SeriesGradientColumns& out) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const SeriesGradient g = point_lens_mean_value_series_gradient(u[i], rho[i], std::span(moments, moment_count));
        out.value[i] = g.value;
        out.d_u[i] = g.d_u;
        out.d_rho[i] = g.d_rho;
        out.truncation_bound[i] = g.truncation_bound;
        out.value_truncation_bound[i] = g.value_truncation_bound;
        for (std::size_t c = 0; c < weight_count; ++c) {
            double sum = 0.0;
            for (std::size_t j = g.terms; j-- > 1;) sum += g.d_moment[j] * weights[c][j];
            out.weighted[c][i] = sum;
        }
    }
}

void heyrovsky_scalar(double l, const double* r, double re, double rstar, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const Result<double> ring = heyrovsky_magnification(l, r[i], re, rstar);
        out[i] = ring.ok() ? ring.value() : NOT_A_NUMBER;
    }
}

void centroid_scalar(const double* u, double rho, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = disk_weighted_centroid_shift(u[i], rho);
}

void centroid_radii_scalar(double u, const double* rho, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = disk_weighted_centroid_shift(u, rho[i]);
}

constexpr ModelsBatchTable scalar_table{
    .witt_mao_magnification = witt_mao_scalar,
    .witt_mao_magnification_radii = witt_mao_radii_scalar,
    .witt_mao_derivatives = witt_mao_derivatives_scalar,
    .witt_mao_derivative_columns = witt_mao_derivative_columns_scalar,
    .point_lens_series_gradient = point_lens_series_gradient_scalar,
    .heyrovsky_magnification = heyrovsky_scalar,
    .disk_weighted_centroid_shift = centroid_scalar,
    .disk_weighted_centroid_shift_radii = centroid_radii_scalar,
};

const ModelsBatchTable& table(SimdIsa isa) noexcept {
    switch (runnable_simd_isa(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return isa_avx512::models_batch_table;
        case SimdIsa::avx2:
            return isa_avx2::models_batch_table;
#endif
        default:
            return scalar_table;
    }
}

}  // namespace

void witt_mao_magnification_batch(std::span<const double> separation, double scale, double rho,
                                  std::span<double> out, SimdIsa isa) noexcept {
    table(isa).witt_mao_magnification(separation.data(), scale, rho, out.data(), separation.size());
}

void witt_mao_magnification_radii_batch(double u, std::span<const double> rho, std::span<double> out,
                                        SimdIsa isa) noexcept {
    table(isa).witt_mao_magnification_radii(u, rho.data(), out.data(), rho.size());
}

void witt_mao_derivatives_batch(std::span<const double> u, std::span<const double> rho, std::span<DiskGradient> out,
                                SimdIsa isa) noexcept {
    table(isa).witt_mao_derivatives(u.data(), u.size() == 1, rho.data(), rho.size() == 1, out.data(), out.size());
}

void witt_mao_derivatives_batch(std::span<const double> u, std::span<const double> rho, std::span<double> value,
                                std::span<double> d_u, std::span<double> d_rho, SimdIsa isa) noexcept {
    table(isa).witt_mao_derivative_columns(u.data(), u.size() == 1, rho.data(), rho.size() == 1, value.data(),
                                           d_u.data(), d_rho.data(), value.size());
}

void point_lens_mean_value_series_gradient_batch(std::span<const double> u, std::span<const double> rho,
                                                 std::span<const double> moments,
                                                 std::span<const double* const> weights,
                                                 const SeriesGradientColumns& out, SimdIsa isa) noexcept {
    table(isa).point_lens_series_gradient(u.data(), rho.data(), u.size(), moments.data(), moments.size(),
                                          weights.data(), weights.size(), out);
}

void heyrovsky_magnification_batch(double l, std::span<const double> r, double re, double rstar,
                                   std::span<double> out, SimdIsa isa) noexcept {
    table(isa).heyrovsky_magnification(l, r.data(), re, rstar, out.data(), r.size());
}

void disk_weighted_centroid_shift_batch(std::span<const double> u, double rho, std::span<double> out,
                                        SimdIsa isa) noexcept {
    table(isa).disk_weighted_centroid_shift(u.data(), rho, out.data(), u.size());
}

void disk_weighted_centroid_shift_radii_batch(double u, std::span<const double> rho, std::span<double> out,
                                              SimdIsa isa) noexcept {
    table(isa).disk_weighted_centroid_shift_radii(u, rho.data(), out.data(), rho.size());
}

}  // namespace vellomir
