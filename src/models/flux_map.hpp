#pragma once
// Magnification of a star whose radial brightness is given as a table: radii bl (stellar
// radii, ascending) and brightnesses bf of equal length.

#include <vector>

#include "models/outcome.hpp"

namespace vellomir {

// The table as thin rings: sum over j of H(l, bl[j]) * bf[j], not normalised. Fails with the
// first elliptic-routine error, in the order of l, then of bl.
Outcome<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                                       std::vector<double> bl, std::vector<double> bf);

// The table as a continuous profile, linear between the radii and 0 outside them, integrated
// over the star and divided by its unmagnified flux. These never fail; the scale of bf cancels.
Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double> l, double re, double rstar,
                                                                        std::vector<double> bl, std::vector<double> bf);
Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                         double rstar, std::vector<double> bl,
                                                                         std::vector<double> bf);

// All three throw InternalFailure (count_mismatch) when bl and bf differ in length, before
// any computation and even for an empty l.

}  // namespace vellomir
