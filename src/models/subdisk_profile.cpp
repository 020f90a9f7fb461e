// The sub-disk form of a profile (see subdisk_profile.hpp). For a law
//     I(mu) = sum_i c_i mu^(p_i) + d mu ln(mu),   dI/dmu = sum_i c_i p_i mu^(p_i - 1) + d (ln(mu) + 1),
// w dr = -dI/dr dr = (r / mu) dI/dmu dr; in the limb coordinate, with v = s^m, r = 1 - v,
// q = sqrt(2 - v), mu = s^(m/2) q (so dmu = r dv / mu):
//     dI/ds = dI/dmu dmu/ds = dI/dmu m r s^(m-1) / mu,   d(mu^p)/ds = p m r s^(m p / 2 - 1) q^(p-2),
// with m = 2 for laws of whole powers of mu and m = 4 otherwise.
// The limb itself is an atom of mass I(mu = 0) = sum of the c_i with p_i = 0.

#include "models/subdisk_profile.hpp"

#include <array>
#include <cmath>

namespace vellomir {

namespace {

// A point s of the limb coordinate r = 1 - v, v = s^m (m = 2 or 4), with mu^2 = v (2 - v) = v q^2.
struct LimbPoint {
    double s2, radius, q2, q;
};

LimbPoint limb_point(double s, bool square) noexcept {
    const double s2 = s * s;
    const double v = square ? s2 : s2 * s2;
    const double q2 = 2.0 - v;
    return {s2, 1.0 - v, q2, std::sqrt(q2)};
}

}  // namespace

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
            terms_.push_back(term_of(term.coefficient, term.power));
        }
        log_coefficient_ = law.log_coefficient;
        // r = 1 - s^2 suffices where every power is a whole number (mu = s sqrt(2 - s^2)).
        bool whole = log_coefficient_ == 0.0;
        for (const Term& term : terms_) whole = whole && term.power == std::floor(term.power);
        limb_exponent_ = whole ? 2 : 4;
        limb_singular_ = log_coefficient_ != 0.0;
        for (const Term& term : terms_) limb_singular_ = limb_singular_ || term.half_powers == 0;
        // One free power p (power-2): m = 2 ceil(p) / p makes its weight s^(ceil(p) - 1), smooth;
        // what is left singular at the limb is r = 1 - s^m, a far milder s^m.
        if (terms_.size() == 1 && terms_[0].half_powers == 0 && log_coefficient_ == 0.0 && terms_[0].power > 0.0) {
            free_power_ = std::ceil(terms_[0].power);
            free_exponent_ = 2.0 * free_power_ / terms_[0].power;
            limb_exponent_ = 0;  // still clustered at the limb: s^m is not smooth there
        }
        if (limb_intensity != 0.0) atoms_.push_back(SubdiskAtom{1.0, limb_intensity});
        pieces_.push_back(SubdiskPiece{0.0, 1.0, SubdiskCoordinate::limb, 0.0});  // limb (s = 0) to centre
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

SubdiskProfile::SubdiskProfile(const IntensitySum& sum, const SubdiskProfile& coordinate)
    : pieces_(coordinate.pieces_),
      limb_exponent_(coordinate.limb_exponent_),
      limb_singular_(coordinate.limb_singular_),
      is_law_(true) {
    double limb_intensity = 0.0;
    for (std::size_t i = 0; i < sum.count; ++i) {
        const IntensityTerm term = sum.terms[i];
        flux_ += term.coefficient / (term.power * 0.5 + 1.0);  // int mu^p 2r dr = 1 / (p/2 + 1)
        if (term.power == 0.0) {
            limb_intensity += term.coefficient;
            continue;
        }
        terms_.push_back(term_of(term.coefficient, term.power));
    }
    if (limb_intensity != 0.0) atoms_.push_back(SubdiskAtom{1.0, limb_intensity});
}

SubdiskProfile::Term SubdiskProfile::term_of(double coefficient, double power) noexcept {
    const double half = power * 2.0;
    const int half_powers = half == std::floor(half) && half >= 1.0 && half <= 4.0 ? static_cast<int>(half) : 0;
    return Term{coefficient * power, power, half_powers};
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
    law_weights_limb(x, r, weight);
}

void SubdiskProfile::law_weights_limb(std::span<const double> x, std::span<double> r,
                                      std::span<double> weight) const noexcept {
    if (limb_exponent_ == 0) {
        // c p m r s^(m p / 2 - 1) q^(p - 2) with m p / 2 = ceil(p) (see the constructor).
        const Term& term = terms_[0];
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double s = x[i];
            const double v = std::pow(s, free_exponent_);
            const double radius = 1.0 - v;
            const double q = std::sqrt(2.0 - v);
            const double power = std::pow(s, free_power_ - 1.0) * std::pow(q, term.power - 2.0);
            r[i] = radius;
            weight[i] = (term.coefficient_times_power * free_exponent_) * radius * power;
        }
        return;
    }
    const bool square = limb_exponent_ == 2;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double s = x[i];
        const auto [s2, radius, q2, q] = limb_point(s, square);
        double sum = 0.0;  // sum_i c_i p_i s^(m p / 2 - 1) q^(p-2)
        for (const Term& term : terms_) {
            double power;
            if (square) {
                switch (term.half_powers) {
                    case 2: power = 1.0 / q; break;  // s^0 q^-1
                    case 4: power = s; break;        // s^1
                    default: power = std::pow(s, term.power - 1.0) * std::pow(q, term.power - 2.0);
                }
            } else {
                switch (term.half_powers) {
                    case 1: power = 1.0 / (q * std::sqrt(q)); break;  // s^0 q^(-3/2)
                    case 2: power = s / q; break;                        // s^1 q^-1
                    case 3: power = s2 / std::sqrt(q); break;            // s^2 q^(-1/2)
                    case 4: power = s2 * s; break;                       // s^3
                    default: power = std::pow(s, 2.0 * term.power - 1.0) * std::pow(q, term.power - 2.0);
                }
            }
            sum += term.coefficient_times_power * power;
        }
        double w = (square ? 2.0 : 4.0) * radius * sum;
        if (log_coefficient_ != 0.0) {  // only with s^4 (chosen in the constructor)
            const double log_mu = 2.0 * std::log(s) + 0.5 * std::log(q2);
            w += log_coefficient_ * ((log_mu + 1.0) * (4.0 * s * radius / q));
        }
        r[i] = radius;
        weight[i] = w;
    }
}

void SubdiskProfile::law_weights_of_sets(std::span<const SubdiskProfile* const> sets, std::span<const double> x,
                                         std::span<double> r, std::span<double* const> weight) noexcept {
    const bool square = sets[0]->limb_exponent_ == 2;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double s = x[i];
        const auto [s2, radius, q2, q] = limb_point(s, square);
        // law_weights_limb's s^(m p / 2 - 1) q^(p - 2) for p = 1/2 .. 2, as it writes them.
        std::array<double, 5> power{};
        if (square) {
            power[2] = 1.0 / q;
            power[4] = s;
        } else {
            const double root = std::sqrt(q);
            power[1] = 1.0 / (q * root);
            power[2] = s / q;
            power[3] = s2 / root;
            power[4] = s2 * s;
        }
        for (std::size_t j = 0; j < sets.size(); ++j) {
            double sum = 0.0;
            for (const Term& term : sets[j]->terms_) {
                const bool listed = square ? term.half_powers == 2 || term.half_powers == 4 : term.half_powers != 0;
                const double p = listed ? power[static_cast<std::size_t>(term.half_powers)]
                                 : square ? std::pow(s, term.power - 1.0) * std::pow(q, term.power - 2.0)
                                          : std::pow(s, 2.0 * term.power - 1.0) * std::pow(q, term.power - 2.0);
                sum += term.coefficient_times_power * p;
            }
            weight[j][i] = (square ? 2.0 : 4.0) * radius * sum;
        }
        r[i] = radius;
    }
}

double SubdiskProfile::limb_coordinate(double v) const noexcept {
    if (limb_exponent_ == 0) return std::pow(v, 1.0 / free_exponent_);
    return limb_exponent_ == 2 ? std::sqrt(v) : std::sqrt(std::sqrt(v));
}

}  // namespace vellomir
