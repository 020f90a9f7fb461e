// A(u, rho) for a uniform disk of radius rho at separation u from a point lens, both in Einstein
// radii (Witt & Mao 1994, ApJ 430, 505, eq. 9):
//   A = [ (u+rho) g / (2 rho^2) E(m) - (u-rho) ((u^2-rho^2)/2 + 4) / (g rho^2) K(m)
//         + 2 (u-rho)^2 (1+rho^2) / (g rho^2 (u+rho)) Pi(n, m) ] / pi
// with n = 4 rho u / (u+rho)^2, g = sqrt((u-rho)^2 + 4), m = 4n / g^2 (the parameter, not the
// modulus). Next to the rim n and m tend to 1 and the integrals depend on the complements alone,
// which follow from (u - rho) without cancellation:
//   1 - n = ((u-rho) / (u+rho))^2,   1 - m = (1 - n) ((u+rho)^2 + 4) / ((u-rho)^2 + 4).
// At u = rho the Pi term is singular and the rim closed form takes over. Far from the lens the
// three terms cancel (eps (u/rho)^2 of relative error) and the mean-value series about the
// point-source magnification replaces them. rho = 0 is the point source
// (u^2 + 2) / (u sqrt(u^2 + 4)); negative arguments are no geometry and give NaN.

#include "models/witt_mao.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <span>

#include "ellip/legendre.hpp"
#include "models/model_constants.hpp"
#include "models/point_lens_series.hpp"
#include "models/uniform_disk_moments.hpp"
#include "models/witt_mao_batch.hpp"
#include "models/witt_mao_general_form.hpp"
#include "parallel/parallel_for_blocks.hpp"

namespace vellomir {
namespace {

constexpr double FAILED = std::numeric_limits<double>::quiet_NaN();

using namespace witt_mao_forms;

double point_source(double u) noexcept {
    // u = 0 gives +inf. Where u * u overflows (u > 1.34e154, and u = inf) the quotient would be
    // inf / inf; A - 1 = 2 / u^4 there is far below an ulp, so 1 is the correctly rounded value.
    if (u * u == std::numeric_limits<double>::infinity()) return 1.0;
    return (2.0 + u * u) / (std::sqrt(u * u + 4.0) * u);
}

// The disk with the lens exactly on its rim (u = rho):
//   ((1 + rho^2) / rho^2 (asin((rho^2 - 1) / (rho^2 + 1)) + pi/2) + 2 / rho) / pi
// with asin(...) + pi/2 = 2 atan(rho), which keeps its digits for small rho, written as
//   ((1 + rho^2) (atan(rho) / rho) + 1) 2 / (pi rho).
double lens_on_rim(double rho) noexcept {
    const double a = ((1.0 + rho * rho) * (std::atan(rho) / rho) + 1.0) * (2.0 / (PI * rho));
    return a < 1.0 ? 1.0 : a;  // as below: large disks may round under 1
}

double general_case(double u, double rho) noexcept {
    const GeneralGeometry in = general_geometry(u, rho);
    const Result<double> e = ellipe_complement(in.m_complement);
    if (!e.ok()) return FAILED;
    const Result<double> k = ellipk_complement(in.m_complement);
    if (!k.ok()) return FAILED;
    const Result<double> p = ellippi_complement(in.n_complement, in.m_complement);
    if (!p.ok()) return FAILED;
    const double a = general_terms(in, e.value(), k.value(), p.value()).a;
    // The mean of a magnification is at least 1; the closed form may round below it where the
    // disk is large and A - 1 is below an ulp.
    return a < 1.0 ? 1.0 : a;
}

}  // namespace

double witt_mao_magnification_scaled(double u, double rho) noexcept {
    if (u < 0.0 || rho < 0.0) return FAILED;  // -0.0 is no negative number
    if (rho == 0.0) return point_source(u + 0.0);  // u = -0.0 is the lens position too: +inf
    if (rho >= LARGEST_RHO) return u == u ? 1.0 : FAILED;
    if (u == rho) return lens_on_rim(rho);
    if (u >= SERIES_RATIO * rho) return point_lens_mean_value_series(u, rho, UNIFORM_DISK_MOMENTS).value;
    if (rho < SMALLEST_UNSCALED_RHO) return general_case(u * SMALL_DISK_SCALE, rho * SMALL_DISK_SCALE) * SMALL_DISK_SCALE;
    return general_case(u, rho);
}

std::vector<double> witt_mao_magnification(WorkerPool& pool, std::vector<double> l, double re, double rstar) {
    const double rho = rstar / re;
    // The results overwrite the separations they come from: the vector is already ours and
    // its pages already touched, so the map allocates nothing. Whole blocks of batches; a
    // negative separation is NaN also where rho = 0 would make u = -0.0.
    parallel_for_blocks(pool, l.size(), BATCH_BLOCK, [&l, rho](std::size_t begin, std::size_t end) {
        const std::span<double> block = std::span<double>(l).subspan(begin, end - begin);
        witt_mao_magnification_batch(block, rho, rho, block);
    });
    return l;
}

std::vector<double> witt_mao_magnification(std::vector<double> l, double re, double rstar) {
    return witt_mao_magnification(WorkerPool::global(), std::move(l), re, rstar);
}

}  // namespace vellomir
