#pragma once
// The steps that the lane twins of the mean-value series far from the lens share (the disk's
// magnification in witt_mao_lanes.hpp, its weighted centroid shift in centroid_lanes.hpp): the
// terms each lane takes, chosen as point_lens_series.cpp and centroid_series.cpp choose them,
// and the sum over the terms in Horner's scheme in z = (rho / u)^2. Each kernel gives its own
// tail bound and its own polynomials in Y.

#include <cstddef>

#include "models/point_lens_series.hpp"
#include "models/uniform_disk_moments.hpp"
#include "simd/lanes.hpp"

VELLOMIR_ISA_BEGIN
namespace mean_value_series_lanes {

inline constexpr std::size_t series_terms = POINT_LENS_SERIES_MAX_TERMS;

// Terms per lane of `open`: the first k whose tail bound tail_factor(k) z^k / (1 - z) is
// negligible, else all (as every other lane).
template <class TailFactor>
[[gnu::always_inline]] inline V terms_per_lane(V z, M open, const TailFactor& tail_factor) noexcept {
    V terms = splat(static_cast<double>(series_terms));
    V power = splat(1.0);
    for (std::size_t k = 1; k <= series_terms && any(open); ++k) {
        power = power * z;
        const V tail = tail_factor(k) * power / (1.0 - z);
        const M found = open & ((k == series_terms ? splat(0.0) : tail) <= POINT_LENS_SERIES_NEGLIGIBLE_TAIL);
        terms = select(found, splat(static_cast<double>(k)), terms);
        open &= ~found;
    }
    return terms;
}

// sum_{1 <= k < terms} z^k <r^2k> polynomial(k), the disk's moments <r^2k>, by Horner's scheme in z
// from the smallest term; a lane joins at its own last term, where the sum is still 0 (and
// z (x + 0) = z x). Only the terms of `lanes` count.
template <class Polynomial>
[[gnu::always_inline]] inline V disk_terms(V z, V terms, M lanes, const Polynomial& polynomial) noexcept {
    double most = 0.0;
    for (int i = 0; i < N; ++i) most = lanes[i] && terms[i] > most ? terms[i] : most;
    V sum = splat(0.0);
    for (std::size_t k = static_cast<std::size_t>(most) - 1; k >= 1 && k < series_terms; --k) {
        sum = select(static_cast<double>(k) < terms, z * (UNIFORM_DISK_MOMENTS[k] * polynomial(k) + sum), sum);
    }
    return sum;
}

}  // namespace mean_value_series_lanes
VELLOMIR_ISA_END
