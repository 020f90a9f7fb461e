#pragma once
// The general case of the uniform disk (Witt & Mao 1994, ApJ 430, 505, eq. 9) in the scalar
// routines: its geometry from the complements n' = ((u - rho)/(u + rho))^2 and
// m' = n' ((u + rho)^2 + 4) / ((u - rho)^2 + 4), free of cancellation, and its three terms once
// E(m), K(m) and Pi(n, m) are known. The value (witt_mao.cpp) and its derivatives
// (witt_mao_derivatives.cpp) share them; the lane twin is witt_mao_lanes::general_terms.

#include <cmath>

#include "base/math_constants.hpp"

namespace vellomir::witt_mao_forms {

struct GeneralGeometry {
    double u, rho, difference, sum, g2, g, n_complement, m_complement;
};

inline GeneralGeometry general_geometry(double u, double rho) noexcept {
    const double difference = u - rho;
    const double sum = u + rho;
    const double w = difference / sum;
    const double n_complement = w * w;
    const double g2 = difference * difference + 4.0;
    const double g = std::sqrt(g2);
    const double m_complement = n_complement * ((sum * sum + 4.0) / g2);
    return {u, rho, difference, sum, g2, g, n_complement, m_complement};
}

// The terms of the formula divided through by rho where it has rho^2, and A before the clamp
// to 1 (the closed form may round below 1 where the disk is large and A - 1 is below an ulp).
struct GeneralTerms {
    double d_rho, e_factor, t_e, t_k, t_p, a;
};

inline GeneralTerms general_terms(const GeneralGeometry& in, double e, double k, double p) noexcept {
    GeneralTerms t;
    t.d_rho = in.difference / in.rho;
    t.e_factor = (in.sum / in.rho) * (in.g / (2.0 * in.rho));
    t.t_e = t.e_factor * e;
    t.t_k = t.d_rho * ((in.difference * in.sum) * 0.5 + 4.0) / (in.g * in.rho) * k;
    t.t_p = 2.0 * (t.d_rho * t.d_rho) * (1.0 + in.rho * in.rho) / (in.g * in.sum) * p;
    t.a = ((t.t_e - t.t_k) + t.t_p) / PI;
    return t;
}

}  // namespace vellomir::witt_mao_forms
