// A(u, rho) for a uniform disk of radius rho at separation u from a point lens, both in Einstein
// radii (Witt & Mao 1994, ApJ 430, 505, eq. 9):
//   A = [ (u+rho) g / (2 rho^2) E(m) - (u-rho) ((u^2-rho^2)/2 + 4) / (g rho^2) K(m)
//         + 2 (u-rho)^2 (1+rho^2) / (g rho^2 (u+rho)) Pi(n, m) ] / pi
// with n = 4 rho u / (u+rho)^2, g = sqrt((u-rho)^2 + 4), m = 4n / g^2 (the parameter, not the
// modulus). At u = rho the Pi term is singular and the rim closed form takes over; rho <= 0 is
// the point source (u^2 + 2) / (u sqrt(u^2 + 4)).

#include "models/witt_mao.hpp"

#include <cmath>
#include <limits>
#include <span>

#include "ellip/legendre.hpp"
#include "models/model_constants.hpp"
#include "models/witt_mao_batch.hpp"
#include "parallel/parallel_for_blocks.hpp"

namespace vellomir {
namespace {

constexpr double FAILED = std::numeric_limits<double>::quiet_NaN();

double point_source(double u) noexcept {
    // No guard on u: u = 0 gives +inf and u = -0 gives -inf, a negative u the negated value.
    return (2.0 + u * u) / (std::sqrt(u * u + 4.0) * u);
}

// Half-width of the band about u = rho where the rim form replaces the general one: relative
// 1e-3, but never below 1e-5. Written so that a NaN rho falls back to 1e-5 (std::max would
// return the NaN).
double rim_tolerance(double rho) noexcept {
    const double relative = 0.001 * std::fabs(rho);
    return relative > 1e-5 ? relative : 1e-5;
}

// The disk with the lens exactly on its rim (u = rho).
double lens_on_rim(double rho) noexcept {
    const double rho2 = rho * rho;
    return ((1.0 + rho2) / rho2 * (std::asin((rho2 - 1.0) / (rho2 + 1.0)) + HALF_PI) + 2.0 / rho) / PI;
}

double general_case(double u, double rho) noexcept {
    const double n = 4.0 * rho * u / ((u + rho) * (u + rho));
    const double g = std::sqrt((u - rho) * (u - rho) + 4.0);
    // The square of the quotient of the two roots, not 4n / g^2: the two differ in the last bit.
    const double root_ratio = std::sqrt(4.0 * n) / g;
    const double m = root_ratio * root_ratio;

    const EllipResult e = ellipe(m);
    if (!e.ok()) return FAILED;
    const EllipResult k = ellipk(m);
    if (!k.ok()) return FAILED;
    const EllipResult p = ellippi(n, m);
    if (!p.ok()) return FAILED;

    const double rho2 = rho * rho;
    const double t_e = (u + rho) * g / (2.0 * rho2) * e.value();
    const double t_k = (u - rho) * ((u * u - rho2) * 0.5 + 4.0) / (g * rho2) * k.value();
    const double t_p = 2.0 * ((u - rho) * (u - rho)) * (1.0 + rho2) / (g * rho2 * (u + rho)) * p.value();
    return ((t_e - t_k) + t_p) / PI;
}

}  // namespace

double witt_mao_magnification_scaled(double u, double rho) noexcept {
    if (rho <= 0.0) return point_source(u);  // a NaN rho goes on to the tests below
    if (rim_tolerance(rho) > std::fabs(u - rho)) return lens_on_rim(rho);
    return general_case(u, rho);
}

std::vector<double> witt_mao_magnification(WorkerPool& pool, std::vector<double> l, double re, double rstar) {
    const double rho = rstar / re;
    // The results overwrite the separations they come from: the vector is already ours and
    // its pages already touched, so the map allocates nothing. Whole blocks of batches.
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
