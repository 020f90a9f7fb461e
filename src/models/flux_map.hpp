#pragma once
// Magnification of a star whose radial brightness is given as a table: radii bl (stellar
// radii, ascending) and brightnesses bf of equal length. Each function maps its separations
// over a worker pool in input order; every element is computed alone, so the results do not
// depend on the pool's size.

#include <vector>

#include "base/status.hpp"
#include "models/outcome.hpp"  // the boundary's name of Result, until it moves
#include "parallel/worker_pool.hpp"

namespace vellomir {

// The table as thin rings: sum over j of H(l, bl[j]) * bf[j], not normalised. Fails with the
// status of the lowest-indexed separation whose sum fails, and within it of the first failing
// ring in the order of bl, whichever the workers reach first.
Result<std::vector<double>> discrete_flux_map_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l,
                                                                       double re, double rstar,
                                                                       std::vector<double> bl,
                                                                       std::vector<double> bf);

// The table as a continuous profile, linear between the radii and 0 outside them, integrated
// over the star and divided by its unmagnified flux. These never fail; the scale of bf cancels.
// The integrals are split at the table's radii (and where the integrand has a kink or a
// logarithmic singularity), so the ring form is the magnification of exactly that star. Radii
// that are NaN or not ascending give NaN for every element; a NaN or negative separation, or a
// negative Einstein radius (re and rstar of opposite signs), NaN for the elements it affects.
Result<std::vector<double>> integrated_flux_map_witt_mao_magnification(WorkerPool& pool, std::vector<double> l,
                                                                        double re, double rstar,
                                                                        std::vector<double> bl,
                                                                        std::vector<double> bf);
Result<std::vector<double>> integrated_flux_map_heyrovsky_magnification(WorkerPool& pool, std::vector<double> l,
                                                                         double re, double rstar,
                                                                         std::vector<double> bl,
                                                                         std::vector<double> bf);

// The same on the process-wide pool.
Result<std::vector<double>> discrete_flux_map_heyrovsky_magnification(std::vector<double> l, double re, double rstar,
                                                                       std::vector<double> bl, std::vector<double> bf);
Result<std::vector<double>> integrated_flux_map_witt_mao_magnification(std::vector<double> l, double re, double rstar,
                                                                        std::vector<double> bl, std::vector<double> bf);
Result<std::vector<double>> integrated_flux_map_heyrovsky_magnification(std::vector<double> l, double re,
                                                                         double rstar, std::vector<double> bl,
                                                                         std::vector<double> bf);

// All of them throw InternalFailure (count_mismatch) when bl and bf differ in length, before
// any computation and even for an empty l.

}  // namespace vellomir
