#pragma once
// Astrometric microlensing: the shift of the light centroid of a uniform stellar disk lensed by a
// point mass, in complete elliptic integrals (derivation in centroid.cpp), with the far-field
// mean-value series and a series about the disk's centre.

namespace vellomir {

// A(u, rho) delta(u, rho): the mean over the disk of s_x A_c(|s|) - u A(|s|), the
// magnification-weighted displacement of the images' light along the lens-source axis, where
// a point source at s has its images' centroid at s A_c / A, A = (x^2 + 2) / (x sqrt(x^2 + 4)),
// A_c = (x^2 + 3) / (x sqrt(x^2 + 4)). u: lens-source separation, rho: source radius (Einstein
// radii). Needs no magnification: the sub-disks of a limb-darkened star are summed with it.
// Negative or NaN arguments give NaN. Pure; any thread.
double disk_weighted_centroid_shift(double u, double rho) noexcept;

// delta(u, rho) = C_x - u, the centroid shift of the uniform disk along the lens-source axis
// (positive away from the lens): the weighted shift over witt_mao_magnification_scaled. 0 at
// u = 0 and on the rim u = rho; the point-source shift u / (u^2 + 2) at rho = 0. Negative or NaN
// arguments give NaN. Pure; any thread.
double uniform_centroid_shift(double u, double rho) noexcept;

// Whether uniform_centroid_shift(u, rho) is disk_weighted_centroid_shift(u, rho) /
// witt_mao_magnification_scaled(u, rho) (the closed form and the centre series: 0 < u < 3 rho,
// u != rho, rho >= 1e-200 and finite), which the batched kernels compute.
bool uniform_centroid_is_closed_form(double u, double rho) noexcept;

}  // namespace vellomir
