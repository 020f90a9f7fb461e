#pragma once
// Astrometric microlensing: the shift of the light centroid of a uniform stellar disk lensed by a
// point mass, in complete elliptic integrals (derivation in centroid.cpp), with the far-field
// mean-value series and a series about the disk's centre.

namespace vellomir {

// Where each form of the shift takes over, and the centre series, shared by centroid.cpp and its
// lane twin (centroid_lanes.hpp); Bulirsch's cel is ellip/cel.hpp's.
namespace centroid_forms {

// As for the magnification (witt_mao.cpp): the series from u = 3 rho on (z <= 1/9).
inline constexpr double SERIES_RATIO = 3.0;

// n at and below which the centre series serves: its terms fall below 2^-57 of the first within
// CENTRE_SERIES_TERMS (the tail after L terms is at most (L + 1) n^L / (1 - n)^2), while the
// closed form's one subtraction would cost up to 8 eps / n.
inline constexpr double CENTRE_SERIES_LARGEST_N = 0.05;
inline constexpr int CENTRE_SERIES_TERMS = 15;

// Small disks are scaled up as for the magnification: A delta is scale-free to O(rho^2).
inline constexpr double SMALLEST_UNSCALED_RHO = 1e-200;
inline constexpr double SMALL_DISK_SCALE = 0x1p300;

// The centre series J' = sum_L beta_L P_L, P_L = n P_(L-1) + c_L m^L, c_L = (1/2)_L / L! (derivation
// in centroid.cpp), over the number type: double in centroid.cpp, the lane type in
// centroid_lanes.hpp.
template <class T>
[[gnu::always_inline]] inline T centre_series(T n, T m) noexcept {
    const T one = T{} + 1.0;
    double beta = 1.0;
    T c_m = one;  // c_L m^L
    T p = one;    // P_0
    T sum = one;
    for (int l = 1; l < CENTRE_SERIES_TERMS; ++l) {
        const double ld = static_cast<double>(l);
        beta = beta * (ld + 0.5) / (ld + 2.0);
        c_m = c_m * m * (ld - 0.5) / ld;
        p = n * p + c_m;
        sum = sum + beta * p;
    }
    return sum;
}

}  // namespace centroid_forms

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
