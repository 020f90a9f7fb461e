#pragma once
// A brightness table read as a piecewise-linear profile over the star, 0 <= r <= 1: linear
// between the radii bl (with interp's line through each segment), 0 outside them; a one-point
// table is constant, an empty one 0 everywhere.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

#include "models/model_constants.hpp"

namespace vellomir {

class TabulatedProfile {
public:
    TabulatedProfile(std::span<const double> bl, std::span<const double> bf) noexcept : radii_(bl), brightness_(bf) {}

    // False for NaN radii or radii that are not ascending (equal neighbours, a jump, are fine).
    bool usable() const noexcept {
        for (std::size_t j = 0; j < radii_.size(); ++j) {
            if (std::isnan(radii_[j])) return false;
            if (j > 0 && radii_[j] < radii_[j - 1]) return false;
        }
        return true;
    }

    // Calls piece(a, b, slope, intercept) for each piece a < b of [lo, hi] (within [0, 1]) on which
    // the profile is slope * r + intercept and not 0 by the out-of-range rule, in ascending order.
    // The pieces end at the table's radii and at the `cuts` (ascending) that fall inside them.
    template <class Piece>
    void for_each_piece(double lo, double hi, std::span<const double> cuts, Piece&& piece) const {
        const std::size_t n = std::min(radii_.size(), brightness_.size());
        if (n == 0) return;
        if (n == 1) {
            split(std::max(lo, 0.0), std::min(hi, 1.0), 0.0, brightness_[0], cuts, piece);
            return;
        }
        for (std::size_t j = 0; j + 1 < n; ++j) {
            const double a = std::max(std::max(radii_[j], 0.0), lo);
            const double b = std::min(std::min(radii_[j + 1], 1.0), hi);
            if (!(a < b)) continue;  // a jump, or outside [lo, hi]
            const double slope = (brightness_[j + 1] - brightness_[j]) / (radii_[j + 1] - radii_[j]);
            const double intercept = brightness_[j] - radii_[j] * slope;
            split(a, b, slope, intercept, cuts, piece);
        }
    }

    template <class Piece>
    void for_each_piece(std::span<const double> cuts, Piece&& piece) const {
        for_each_piece(0.0, 1.0, cuts, piece);
    }

    // Calls interval(lo, hi) for each maximal interval lo < hi of [0, 1] on which the profile has
    // no jump (the table's ends, and repeated radii, are its jumps), in ascending order.
    template <class Interval>
    void for_each_lit_interval(Interval&& interval) const {
        const std::size_t n = std::min(radii_.size(), brightness_.size());
        if (n == 0) return;
        if (n == 1) {
            interval(0.0, 1.0);
            return;
        }
        std::size_t first = 0;
        for (std::size_t j = 1; j <= n; ++j) {
            if (j < n && radii_[j] != radii_[j - 1]) continue;
            const double lo = std::max(radii_[first], 0.0);
            const double hi = std::min(radii_[j - 1], 1.0);
            if (lo < hi) interval(lo, hi);
            first = j;
        }
    }

    // The outermost radius where the profile may be lit: 1 for a one-point table, else the last
    // radius within [0, 1]. Fluxes are computed in units of it, so that a table of tiny extent
    // (radii of 1e-200) does not underflow.
    double extent() const noexcept {
        const std::size_t n = std::min(radii_.size(), brightness_.size());
        if (n < 2) return 1.0;
        return std::min(std::max(radii_[n - 1], 0.0), 1.0);
    }

    // Unmagnified flux in units of extent()^2, N = int_0^1 I(r) 2 pi (r / s) dr / s with
    // s = extent(), exactly for each linear piece.
    double flux() const noexcept {
        const double s = extent();
        double total = 0.0;
        for_each_piece({}, [&total, s](double a, double b, double slope, double intercept) {
            const double x = a / s, y = b / s;
            const double cubes = (y - x) * (y * y + x * y + x * x) / 3.0;
            const double squares = (y - x) * (y + x) * 0.5;
            total += TWO_PI * ((slope * s) * cubes + intercept * squares);
        });
        return total;
    }

private:
    template <class Piece>
    static void split(double a, double b, double slope, double intercept, std::span<const double> cuts,
                      Piece& piece) {
        for (const double cut : cuts) {
            if (a < cut && cut < b) {
                piece(a, cut, slope, intercept);
                a = cut;
            }
        }
        piece(a, b, slope, intercept);
    }

    std::span<const double> radii_;
    std::span<const double> brightness_;
};

}  // namespace vellomir
