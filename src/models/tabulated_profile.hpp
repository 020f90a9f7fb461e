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

    // Calls piece(a, b, slope, intercept) for each piece a < b of [0, 1] on which the profile is
    // slope * r + intercept and not 0 by the out-of-range rule, in ascending order. The pieces
    // end at the table's radii and at the `cuts` (ascending) that fall inside them.
    template <class Piece>
    void for_each_piece(std::span<const double> cuts, Piece&& piece) const {
        const std::size_t n = std::min(radii_.size(), brightness_.size());
        if (n == 0) return;
        if (n == 1) {
            split(0.0, 1.0, 0.0, brightness_[0], cuts, piece);
            return;
        }
        for (std::size_t j = 0; j + 1 < n; ++j) {
            const double a = std::max(radii_[j], 0.0);
            const double b = std::min(radii_[j + 1], 1.0);
            if (!(a < b)) continue;  // a jump, or outside [0, 1]
            const double slope = (brightness_[j + 1] - brightness_[j]) / (radii_[j + 1] - radii_[j]);
            const double intercept = brightness_[j] - radii_[j] * slope;
            split(a, b, slope, intercept, cuts, piece);
        }
    }

    // Unmagnified flux N = int_0^1 I(r) 2 pi r dr, exactly for each linear piece.
    double flux() const noexcept {
        double total = 0.0;
        for_each_piece({}, [&total](double a, double b, double slope, double intercept) {
            const double cubes = (b - a) * (b * b + a * b + a * a) / 3.0;
            const double squares = (b - a) * (b + a) * 0.5;
            total += TWO_PI * (slope * cubes + intercept * squares);
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
