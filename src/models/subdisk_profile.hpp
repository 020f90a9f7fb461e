#pragma once
// A radial brightness profile read as a stack of uniform sub-disks. With K(r) the magnification
// of a uniform disk of radius rho r (Einstein radii) and unit intensity, pi rho^2 r^2 K(r) is its
// magnified flux, and the ring between r and r + dr has d(r^2 K). Integrating the star's
// ring sum by parts,
//     int_0^1 I(r) d(r^2 K(r)) = sum_j m_j r_j^2 K(r_j) + int_0^1 w(r) r^2 K(r) dr,   w = -dI/dr,
// where the atoms m_j are the drops of I where it jumps (the limb, a table's ends and steps).
// The unmagnified flux is the same sum with K = 1: F = int_0^1 I(r) 2r dr.
// The integrand w r^2 K is smooth except where the sub-disk's rim passes the lens (r = u/rho,
// where r^2 K has an (r - l) ln|r - l| kink) and, for the mu-laws, at the limb, where
// w ~ mu^(p-1) r / mu. A law is integrated in s with r = 1 - s^4: there mu = s^2 sqrt(2 - s^4),
// and the weights of d(mu^p) become 4 p r s^(2p-1) (2 - s^4)^((p-2)/2) ds, smooth in s for the
// half-integer powers of every law but power-2's free exponent and the logarithm, and smooth at
// the centre (s = 1) too; laws of whole powers of mu need only r = 1 - s^2, and power-2's free
// exponent p takes r = 1 - s^m with m = 2 ceil(p) / p. (r = 1 - s^m is
// known near the centre only to 2^-52 absolutely, which moves the integral by that much of its
// value: the centre's sub-disks carry a flux of order r^2.)

#include <cstddef>
#include <span>
#include <vector>

#include "models/intensity_basis.hpp"
#include "models/limb_darkening_law.hpp"
#include "models/radial_profile.hpp"

namespace vellomir {

struct SubdiskAtom {
    double radius;  // stellar radii
    double mass;    // the drop of the (normalised) intensity there
};

enum class SubdiskCoordinate {
    radius,  // x = r (tables)
    limb,    // x = s, r = 1 - s^m, m = 2 or 4 (laws)
};

// A piece of the star on which w is smooth, in its coordinate: [begin, end] in x.
struct SubdiskPiece {
    double begin, end;
    SubdiskCoordinate coordinate;
    double density;  // w = -dI/dr on a table segment (constant); unused for laws
};

class SubdiskProfile {
public:
    // The profile's sub-disk form (an empty profile gives no atoms and no pieces).
    explicit SubdiskProfile(const RadialProfile& profile);

    // The intensity `sum` (terms c mu^p, none logarithmic; signs free) in the coordinate of the law
    // `coordinate` (limb_exponent() 2 or 4): its weights at the law's points, its limb atom and
    // its flux int sum 2r dr, for integrals alongside the law's (a law's dI/dc).
    SubdiskProfile(const IntensitySum& sum, const SubdiskProfile& coordinate);

    std::span<const SubdiskAtom> atoms() const noexcept { return atoms_; }
    // The pieces in order of radius, before any split at the lens.
    std::span<const SubdiskPiece> pieces() const noexcept { return pieces_; }
    double flux() const noexcept { return flux_; }

    bool is_table() const noexcept { return !is_law_ && !pieces_.empty(); }

    // Whether the law's weight is singular at the limb in s (a logarithm, or a power of mu that is
    // not a multiple of 1/2): the integrator clusters its points there.
    bool limb_is_singular() const noexcept { return limb_singular_; }

    // m of the limb coordinate r = 1 - s^m (2 or 4; 0 for the free exponent of a power-2 law).
    int limb_exponent() const noexcept { return limb_exponent_; }

    // s of the limb coordinate where 1 - r = v: v^(1/m).
    double limb_coordinate(double v) const noexcept;

    // r and the weight of dx (w dr/dx, positive where the intensity falls outwards) at the
    // points x of `piece`. Allocates nothing.
    void weights(const SubdiskPiece& piece, std::span<const double> x, std::span<double> r,
                 std::span<double> weight) const noexcept;

    // The same for several laws in one coordinate (a law and SubdiskProfile(sum, law) of it, none
    // with a logarithm or power-2's free exponent): weight[j][i] for sets[j], each the bits of
    // sets[j]->weights(...), the powers of s and q the terms take computed once per point.
    // At most 8 sets.
    static void law_weights_of_sets(std::span<const SubdiskProfile* const> sets, std::span<const double> x,
                                    std::span<double> r, std::span<double* const> weight) noexcept;

private:
    // One power term c mu^p as d(c mu^p)/dmu = c p mu^(p-1), with p = half_powers / 2 when that
    // is 1..4 (no libm power needed), else general.
    struct Term {
        double coefficient_times_power;
        double power;
        int half_powers;
    };

    static Term term_of(double coefficient, double power) noexcept;
    void law_weights_limb(std::span<const double> x, std::span<double> r, std::span<double> weight) const noexcept;

    std::vector<SubdiskAtom> atoms_;
    std::vector<SubdiskPiece> pieces_;
    std::vector<Term> terms_;
    double log_coefficient_ = 0.0;
    int limb_exponent_ = 4;  // m of r = 1 - s^m; 0: free_exponent_
    double free_exponent_ = 0.0, free_power_ = 0.0;
    bool limb_singular_ = false;
    double flux_ = 0.0;
    bool is_law_ = false;
};

}  // namespace vellomir
