#pragma once
// Helpers of the elliptic-integral tests: distance in units in the last place and
// agreement with a published value given to a number of significant digits.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>

namespace vellomir::test {

// Number of doubles between a and b (0 when equal, including +0 and -0); the maximum
// of std::uint64_t when exactly one is NaN or the signs of two non-zero values differ.
inline std::uint64_t ulp_distance(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b) ? 0 : std::numeric_limits<std::uint64_t>::max();
    }
    // Map the bit patterns onto a line on which adjacent doubles are adjacent integers.
    const auto ordered = [](double x) {
        const auto bits = std::bit_cast<std::int64_t>(x);
        return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
    };
    const std::int64_t ia = ordered(a);
    const std::int64_t ib = ordered(b);
    if ((ia < 0) != (ib < 0) && a != 0.0 && b != 0.0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return ia > ib ? static_cast<std::uint64_t>(ia) - static_cast<std::uint64_t>(ib)
                   : static_cast<std::uint64_t>(ib) - static_cast<std::uint64_t>(ia);
}

// |actual - expected| <= 5e-13 |expected|: a value quoted to 13 or 14 significant digits.
inline ::testing::AssertionResult agrees_with_quoted(double actual, double expected) {
    if (std::fabs(actual - expected) <= 5e-13 * std::fabs(expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << std::setprecision(17) << actual << " differs from the quoted "
                                         << expected;
}

}  // namespace vellomir::test
