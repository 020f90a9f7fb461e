// The batched elliptic integrals: each entry runs the table of the path asked for
// (ellip_batch_table.hpp); the scalar table maps the scalar routines element by element.

#include "ellip/ellip_batch.hpp"

#include <limits>

#include "ellip/carlson.hpp"
#include "ellip/ellip_batch_table.hpp"
#include "ellip/legendre.hpp"
#include "simd/simd_build.hpp"

namespace vellomir {
namespace {

double value_or_nan(const Result<double>& result) noexcept {
    return result.ok() ? result.value() : std::numeric_limits<double>::quiet_NaN();
}

template <Result<double> (*routine)(double) noexcept>
void map_one(const double* a, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = value_or_nan(routine(a[i]));
}

template <Result<double> (*routine)(double, double) noexcept>
void map_two(const double* a, const double* b, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = value_or_nan(routine(a[i], b[i]));
}

void elliprf_scalar(const double* x, const double* y, const double* z, double* out, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = elliprf_unchecked(x[i], y[i], z[i]);
}

void elliprj_scalar(const double* x, const double* y, const double* z, const double* p, double* out,
                    std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = elliprj_unchecked(x[i], y[i], z[i], p[i]);
}

constexpr EllipBatchTable scalar_table{
    .ellipk = map_one<ellipk>,
    .ellipe = map_one<ellipe>,
    .ellippi = map_two<ellippi>,
    .ellipk_complement = map_one<ellipk_complement>,
    .ellipe_complement = map_one<ellipe_complement>,
    .ellippi_complement = map_two<ellippi_complement>,
    .elliprf = elliprf_scalar,
    .elliprj = elliprj_scalar,
};

const EllipBatchTable& table(SimdIsa isa) noexcept {
    switch (runnable_simd_isa(isa)) {
#if VELLOMIR_X86_BATCH
        case SimdIsa::avx512:
            return isa_avx512::ellip_batch_table;
        case SimdIsa::avx2:
            return isa_avx2::ellip_batch_table;
#endif
        default:
            return scalar_table;
    }
}

}  // namespace

void ellipk_batch(std::span<const double> m, std::span<double> out, SimdIsa isa) noexcept {
    table(isa).ellipk(m.data(), out.data(), m.size());
}

void ellipe_batch(std::span<const double> m, std::span<double> out, SimdIsa isa) noexcept {
    table(isa).ellipe(m.data(), out.data(), m.size());
}

void ellippi_batch(std::span<const double> n, std::span<const double> m, std::span<double> out, SimdIsa isa) noexcept {
    table(isa).ellippi(n.data(), m.data(), out.data(), m.size());
}

void ellipk_complement_batch(std::span<const double> mc, std::span<double> out, SimdIsa isa) noexcept {
    table(isa).ellipk_complement(mc.data(), out.data(), mc.size());
}

void ellipe_complement_batch(std::span<const double> mc, std::span<double> out, SimdIsa isa) noexcept {
    table(isa).ellipe_complement(mc.data(), out.data(), mc.size());
}

void ellippi_complement_batch(std::span<const double> nc, std::span<const double> mc, std::span<double> out,
                              SimdIsa isa) noexcept {
    table(isa).ellippi_complement(nc.data(), mc.data(), out.data(), mc.size());
}

void elliprf_batch(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   std::span<double> out, SimdIsa isa) noexcept {
    table(isa).elliprf(x.data(), y.data(), z.data(), out.data(), x.size());
}

void elliprj_batch(std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   std::span<const double> p, std::span<double> out, SimdIsa isa) noexcept {
    table(isa).elliprj(x.data(), y.data(), z.data(), p.data(), out.data(), x.size());
}

}  // namespace vellomir
