// Centroid-shift maps over arrays: the inline-or-pool decision and the element rules, as for
// the magnification maps (magnification_maps.cpp).

#include "models/centroid_maps.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "models/centroid.hpp"
#include "models/magnification_maps.hpp"
#include "parallel/parallel_map.hpp"

namespace vellomir {
namespace {

void check_lengths(std::span<const double> u, std::span<const double> rho, std::span<double> out) {
    if (out.size() != u.size() || (rho.size() != 1 && rho.size() != u.size())) {
        throw std::invalid_argument("centroid map: u, rho and out have inconsistent lengths");
    }
}

// The shift at |u| carried over to u's side of the lens.
double odd_in_u(double u, double shift_at_distance) noexcept { return std::signbit(u) ? -shift_at_distance : shift_at_distance; }

template <class Element>
void map_elements(std::span<const double> u, std::span<const double> rho, std::span<double> out, bool cheap,
                  const Element& element, PoolLauncher& launcher) {
    const bool broadcast_rho = rho.size() == 1;
    auto at = [&](const double& separation) {
        const std::size_t i = static_cast<std::size_t>(&separation - u.data());
        return element(separation, broadcast_rho ? rho[0] : rho[i]);
    };
    if (cheap && u.size() <= INLINE_CHEAP_ELEMENTS) {
        for (std::size_t i = 0; i < u.size(); ++i) out[i] = at(u[i]);
        return;
    }
    const ElementCost cost = cheap ? ElementCost::even : ElementCost::uneven;
    launch_on_pool(launcher, [&](WorkerPool& pool) { parallel_map_into(pool, u, out, at, cost); });
}

}  // namespace

double uniform_centroid_shift_element(double u, double rho) noexcept {
    if (std::isnan(u) || std::isnan(rho)) return std::numeric_limits<double>::quiet_NaN();
    const double distance = std::fabs(u);
    if (std::isinf(distance)) return odd_in_u(u, 0.0);
    return odd_in_u(u, uniform_centroid_shift(distance, rho));
}

void uniform_centroid_shift_map(std::span<const double> u, std::span<const double> rho, std::span<double> out,
                                PoolLauncher& launcher) {
    check_lengths(u, rho, out);
    map_elements(u, rho, out, true, uniform_centroid_shift_element, launcher);
}

void profile_centroid_shift_map(std::span<const double> u, std::span<const double> rho,
                                const CentroidProfile& profile, double rtol, std::span<double> out,
                                PoolLauncher& launcher) {
    check_lengths(u, rho, out);
    if (u.size() <= INLINE_CHEAP_ELEMENTS) {
        std::size_t i = 0;
        for (; i < u.size(); ++i) {
            const std::optional<double> cheap =
                profile.shift_without_integral(u[i], rho.size() == 1 ? rho[0] : rho[i], rtol);
            if (!cheap) break;
            out[i] = std::isnan(*cheap) ? *cheap : odd_in_u(u[i], *cheap);
        }
        if (i == u.size()) return;
    }
    map_elements(
        u, rho, out, false,
        [&profile, rtol](double separation, double radius) {
            const double shift = profile.shift(separation, radius, rtol);
            return std::isnan(shift) ? shift : odd_in_u(separation, shift);
        },
        launcher);
}

}  // namespace vellomir
