// The complementary-parameter entries: K and E bit for bit the Legendre entries where 1 - mc is
// exact, Π (by Bulirsch's cel, not Carlson's forms) against mpmath over the whole range of its
// complements, the logarithmic asymptotics of K and E as 1 - m -> 0 (where the Legendre entries
// cannot be reached), and the Legendre entries' messages for arguments outside their range.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "case_table.hpp"
#include "ellip/legendre.hpp"

namespace vellomir {
namespace {

TEST(EllipComplement, SameBitsWhereTheComplementIsExact) {
    for (int e = 1; e <= 52; ++e) {
        const double mc = std::ldexp(1.0, -e);
        EXPECT_EQ(ellipk_complement(mc).value(), ellipk(1.0 - mc).value()) << mc;
        EXPECT_EQ(ellipe_complement(mc).value(), ellipe(1.0 - mc).value()) << mc;
        for (const double nc : {0.75, 0.375, 0x1p-20 * 3.0}) {  // Π by another route: equal to a few ulps
            const double legendre = ellippi(1.0 - nc, 1.0 - mc).value();
            EXPECT_NEAR(ellippi_complement(nc, mc).value() / legendre, 1.0, 2e-15) << nc << " " << mc;
        }
    }
}

TEST(EllipComplement, PiMatchesMpmathFromTinyToUnitComplements) {
    // tests/data/ellip_pi_complement.txt (tools/gen_ellip_pi_complement.py): nc, mc from 1e-300
    // to 1, both tiny together, n -> 0 and m = 0. The reference is rounded, so 4.5 ulps here
    // is at most 5 of the integral itself.
    const auto cases = test::read_case_table("ellip_pi_complement.txt", test::IdColumn::absent);
    ASSERT_GE(cases.size(), 300U);
    for (const auto& c : cases) {
        const Result<double> pi = ellippi_complement(c.inputs.at(0), c.inputs.at(1));
        ASSERT_TRUE(pi.ok()) << "line " << c.line;
        EXPECT_NEAR(pi.value() / c.expected, 1.0, 1e-15) << "line " << c.line;
    }
}

TEST(EllipComplement, LogarithmicLimitBeyondTheReachOfM) {
    // K = L + mc/4 (L - 1) + O(mc^2 L), E = 1 + mc/2 (L - 1/2) + O(mc^2 L), L = ln(4 / sqrt(mc))
    // (DLMF 19.12.1, 19.12.2): exact to rounding for mc <= 1e-17. E by the AGM's weighted sum
    // loses about eps K there (the sum cancels against 1/4 to 1/K).
    for (const double mc : {1e-17, 1e-30, 1e-100, 1e-300, 5e-324}) {
        const double big_l = std::log(4.0) - 0.5 * std::log(mc);
        EXPECT_NEAR(ellipk_complement(mc).value() / big_l, 1.0, 8e-16) << mc;  // L itself rounds
        EXPECT_NEAR(ellipe_complement(mc).value(), 1.0 + mc / 2.0 * (big_l - 0.5), 4e-16 * big_l) << mc;
    }
}

TEST(EllipComplement, MessagesOfTheLegendreEntries) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ellipk_complement(nan).message(), "ellipk: Arguments cannot be NAN.");
    EXPECT_EQ(ellipk_complement(-0.5).message(), "ellipk: m must not be greater than 1.");
    EXPECT_EQ(ellipe_complement(nan).message(), "ellipe: Arguments cannot be NAN.");
    EXPECT_EQ(ellippi_complement(0.5, nan).message(), "ellippi: Arguments cannot be NAN.");
    EXPECT_EQ(ellippi_complement(0.0, 0.5).message(), "ellippi: n cannot be 1.");
    EXPECT_EQ(ellipk_complement(0.0).value(), std::numeric_limits<double>::infinity());
}

}  // namespace
}  // namespace vellomir
