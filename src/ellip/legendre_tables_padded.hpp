#pragma once
// The Taylor polynomials of K and E laid out for per-lane gathers: all padded with leading
// zero coefficients to one degree, highest coefficient first, coefficient-major.
//
// Horner's scheme from a padded zero reproduces the unpadded one bit for bit: s = 0 stays
// +-0 through the zero coefficients, and +-0 * t + c = c for the true leading coefficient c
// (non-zero) and finite t, after which both run the same steps.

#include <algorithm>
#include <array>
#include <cstddef>

#include "ellip/legendre_tables.hpp"

namespace vellomir::legendre_tables {

inline constexpr std::size_t interval_count = 18;

struct PaddedTaylorTable {
    static constexpr std::size_t terms = 20;
    std::array<double, interval_count> centre{};
    // coefficient[j][index]: the coefficient of t^(terms - 1 - j) of that interval's polynomial.
    std::array<std::array<double, interval_count>, terms> coefficient{};
    // The row of each interval's true leading coefficient (the padding ends before it).
    std::array<std::size_t, interval_count> leading_row{};
};

consteval PaddedTaylorTable pad(const std::array<TaylorPolynomial, interval_count>& polynomials) {
    PaddedTaylorTable table;
    for (std::size_t index = 0; index < interval_count; ++index) {
        const TaylorPolynomial& polynomial = polynomials[index];
        const std::size_t size = polynomial.coefficients.size();
        if (size > PaddedTaylorTable::terms || polynomial.coefficients[size - 1] == 0.0) {
            throw "a Taylor polynomial does not fit the padded table";
        }
        table.centre[index] = polynomial.centre;
        table.leading_row[index] = PaddedTaylorTable::terms - size;
        for (std::size_t degree = 0; degree < size; ++degree) {
            table.coefficient[PaddedTaylorTable::terms - 1 - degree][index] = polynomial.coefficients[degree];
        }
    }
    return table;
}

inline constexpr PaddedTaylorTable k_padded = pad(k_by_index);
inline constexpr PaddedTaylorTable e_padded = pad(e_by_index);

}  // namespace vellomir::legendre_tables
