// The sub-disk form of a profile (see subdisk_profile.hpp). For a law
//     I(mu) = sum_i c_i mu^(p_i) + d mu ln(mu),   dI/dmu = sum_i c_i p_i mu^(p_i - 1) + d (ln(mu) + 1),
// w dr = -dI/dr dr = (r / mu) dI/dmu dr in the radius coordinate (used where mu >= sqrt(3)/2), and
// in the limb coordinate, with v = s^4, r = 1 - v, q = sqrt(2 - v), mu = s^2 q:
//     dI/ds = dI/dmu dmu/ds = dI/dmu 4 s r / q,   mu^(p-1) 4 s r / q = 4 r s^(2p-1) q^(p-2).
// The limb itself is an atom of mass I(mu = 0) = sum of the c_i with p_i = 0.

#include "models/subdisk_profile.hpp"

#include <cmath>

namespace vellomir {

SubdiskProfile::SubdiskProfile(const RadialProfile& profile) : flux_(profile.flux()) {
    if (profile.pieces().empty()) return;
    if (!profile.is_table()) {
        is_law_ = true;
        const PowerSumIntensity& law = profile.law();
        double limb_intensity = 0.0;
        for (std::size_t i = 0; i < law.count; ++i) {
            const PowerTerm term = law.terms[i];
            if (term.power == 0.0) {
                limb_intensity += term.coefficient;
                continue;
            }
            const double half = term.power * 2.0;
            const int half_powers = half == std::floor(half) && half >= 1.0 && half <= 4.0 ? static_cast<int>(half) : 0;
            terms_.push_back(Term{term.coefficient * term.power, term.power, half_powers});
        }
        log_coefficient_ = law.log_coefficient;
        if (limb_intensity != 0.0) atoms_.push_back(SubdiskAtom{1.0, limb_intensity});
        pieces_.push_back(SubdiskPiece{0.0, SUBDISK_LIMB_START, SubdiskCoordinate::radius, 0.0});
        // s at r = SUBDISK_LIMB_START: the limb piece runs from the limb (s = 0) inwards.
        pieces_.push_back(SubdiskPiece{0.0, std::sqrt(std::sqrt(1.0 - SUBDISK_LIMB_START)), SubdiskCoordinate::limb, 0.0});
        return;
    }
    // A table: linear segments, with atoms where the intensity jumps (its ends, its steps).
    const auto segments = profile.pieces();
    double previous_end = 0.0, previous_intensity = 0.0;
    for (const RadialProfile::Piece& segment : segments) {
        const double jump_from = segment.begin == previous_end ? previous_intensity : 0.0;
        if (segment.begin != previous_end && previous_intensity != 0.0) {
            atoms_.push_back(SubdiskAtom{previous_end, previous_intensity});
        }
        if (segment.begin > 0.0 && jump_from != segment.intensity_begin) {
            atoms_.push_back(SubdiskAtom{segment.begin, jump_from - segment.intensity_begin});
        }
        const double density = -(segment.intensity_end - segment.intensity_begin) / (segment.end - segment.begin);
        pieces_.push_back(SubdiskPiece{segment.begin, segment.end, SubdiskCoordinate::radius, density});
        previous_end = segment.end;
        previous_intensity = segment.intensity_end;
    }
    if (previous_intensity != 0.0) atoms_.push_back(SubdiskAtom{previous_end, previous_intensity});
}

void SubdiskProfile::weights(const SubdiskPiece& piece, std::span<const double> x, std::span<double> r,
                             std::span<double> weight) const noexcept {
    if (!is_law_) {
        for (std::size_t i = 0; i < x.size(); ++i) {
            r[i] = x[i];
            weight[i] = piece.density;
        }
        return;
    }
    if (piece.coordinate == SubdiskCoordinate::radius) {
        law_weights_radius(x, r, weight);
    } else {
        law_weights_limb(x, r, weight);
    }
}

void SubdiskProfile::law_weights_radius(std::span<const double> x, std::span<double> r,
                                        std::span<double> weight) const noexcept {
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double radius = x[i];
        const double mu = std::sqrt((1.0 - radius) * (1.0 + radius));
        double slope = 0.0;  // dI/dmu
        for (const Term& term : terms_) {
            double power;  // mu^(p-1)
            switch (term.half_powers) {
                case 1: power = 1.0 / std::sqrt(mu); break;
                case 2: power = 1.0; break;
                case 3: power = std::sqrt(mu); break;
                case 4: power = mu; break;
                default: power = std::pow(mu, term.power - 1.0);
            }
            slope += term.coefficient_times_power * power;
        }
        if (log_coefficient_ != 0.0) slope += log_coefficient_ * (std::log(mu) + 1.0);
        r[i] = radius;
        weight[i] = (radius / mu) * slope;
    }
}

void SubdiskProfile::law_weights_limb(std::span<const double> x, std::span<double> r,
                                      std::span<double> weight) const noexcept {
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double s = x[i];
        const double s2 = s * s;
        const double v = s2 * s2;
        const double radius = 1.0 - v;
        const double q2 = 2.0 - v;
        const double q = std::sqrt(q2);
        double sum = 0.0;  // sum_i c_i p_i s^(2p-1) q^(p-2)
        for (const Term& term : terms_) {
            double power;
            switch (term.half_powers) {
                case 1: power = 1.0 / (q * std::sqrt(q)); break;  // s^0 q^(-3/2)
                case 2: power = s / q; break;                        // s^1 q^-1
                case 3: power = s2 / std::sqrt(q); break;            // s^2 q^(-1/2)
                case 4: power = s2 * s; break;                       // s^3
                default: power = std::pow(s, 2.0 * term.power - 1.0) * std::pow(q, term.power - 2.0);
            }
            sum += term.coefficient_times_power * power;
        }
        double w = 4.0 * radius * sum;
        if (log_coefficient_ != 0.0) {
            const double log_mu = 2.0 * std::log(s) + 0.5 * std::log(q2);
            w += log_coefficient_ * ((log_mu + 1.0) * (4.0 * s * radius / q));
        }
        r[i] = radius;
        weight[i] = w;
    }
}

}  // namespace vellomir
