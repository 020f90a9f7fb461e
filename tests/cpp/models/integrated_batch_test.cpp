// The limb-darkened functions, whose integrands are evaluated a tanh-sinh level at a time by the
// batched kernels, against the pointwise form (the scalar kernels called by `integrate` one
// abscissa at a time), bit for bit, over separations in every regime.

#include <gtest/gtest.h>

#include <vector>

#include "../batch_identity.hpp"
#include "models/heyrovsky.hpp"
#include "models/integrated.hpp"
#include "models/witt_mao.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
const std::vector<double> separations{0.0, 1e-6, 0.05, 0.3, 0.7, 0.999, 1.0, 1.001, 1.5, 4.0, 50.0, -0.2, nan};

// Integrates over [0, 1], split at `split` when it lies inside.
template <class F>
double split_integral(F&& f, double split) {
    if (0.0 < split && split < 1.0) {
        return integrate(f, 0.0, split, RADIAL_QUADRATURE_TARGET).integral +
               integrate(f, split, 1.0, RADIAL_QUADRATURE_TARGET).integral;
    }
    return integrate(f, 0.0, 1.0, RADIAL_QUADRATURE_TARGET).integral;
}

double pointwise_disks(double l, double rho) {
    if (!(l >= 0.0) || std::isnan(rho)) return nan;
    l += 0.0;
    const double u = l * rho;
    const auto sub_disks = [u, rho](double x) {
        const double w = 1.0 - x * x;
        if (w == 0.0) return 0.0;
        const double s = std::sqrt(w);
        return witt_mao_magnification_scaled(u, s * rho) * (s * s);
    };
    const double sum = split_integral(sub_disks, 0.0 < l && l < 1.0 ? std::sqrt((1.0 - l) * (1.0 + l)) : 0.0);
    return ((sum * 0.6) + (witt_mao_magnification_scaled(u, rho) * 0.4)) * PI / LIMB_DARKENED_NORM;
}

double pointwise_rings(double l, double q) {
    if (!(l >= 0.0)) return nan;
    l += 0.0;
    bool any_ring = false;
    const auto ring_flux = [&](double r) {
        const Result<double> ring = heyrovsky_magnification(l, r, q, 1.0);
        const double h = ring.ok() ? ring.value() : nan;
        any_ring = any_ring || std::isfinite(h);
        return limb_darkening_profile(r) * ((TWO_PI * r) * h);
    };
    const double flux = split_integral(ring_flux, l);
    return any_ring ? flux / LIMB_DARKENED_NORM : nan;
}

TEST(IntegratedBatched, EqualsThePointwiseForm) {
    WorkerPool pool(2);
    for (const auto& [re, rstar] : std::vector<std::pair<double, double>>{{10.0, 1.0}, {1.0, 1.0}, {0.05, 1.0}}) {
        const std::vector<double> disks = integrated_witt_mao_magnification(pool, separations, re, rstar);
        const std::vector<double> rings = integrated_heyrovsky_magnification(pool, separations, re, rstar);
        std::vector<double> want_disks, want_rings;
        for (const double l : separations) {
            want_disks.push_back(pointwise_disks(l, rstar / re));
            want_rings.push_back(pointwise_rings(l, re / rstar));
        }
        const auto describe = [&](std::size_t i) { return "l, re, rstar = " + test::numbers({separations[i], re, rstar}); };
        EXPECT_TRUE(test::bit_identical(disks, want_disks, describe)) << "Witt-Mao form";
        EXPECT_TRUE(test::bit_identical(rings, want_rings, describe)) << "ring form";
    }
}

}  // namespace
}  // namespace vellomir
