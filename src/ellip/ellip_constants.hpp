#pragma once
// The constants of the elliptic routines, one home for the scalar routines (legendre.cpp,
// carlson.cpp) and their lane twins (ellip_lanes.hpp), which must agree to the last bit.

namespace vellomir::ellip_constants {

// 2.7 eps: stopping test of the arithmetic-geometric means (K, E, RF, RD).
inline constexpr double agm_tolerance = 5.995204332975846e-16;
inline constexpr double epsilon = 2.220446049250313e-16;        // 2^-52
inline constexpr double index_bound = 9.223372036854776e18;     // 2^63: 20 m must fit in int64
inline constexpr double just_below_one = 0.9999999999999998;    // 1 - eps
inline constexpr double just_above_one = 1.0000000000000002;    // 1 + eps
inline constexpr double negative_third = -0.3333333333333333;
inline constexpr double very_negative = -1.7976931348623156e306;  // -DBL_MAX / 100
// 1 - m at and below which the complementary entries take the AGM.
inline constexpr double complement_switch = 0.1;
// K's AGM: 8 updates for m <= 1 - eps, 12 for 1 - m >= 5e-324.
inline constexpr int k_agm_cap = 16;
// E's AGM ends within 8 updates for m <= 1 - eps and within 12 for 1 - m down to the smallest
// double (a NaN ends it at once): the cap only guarantees that it ends.
inline constexpr int e_agm_cap = 64;

// Initial bounds Q of the duplications: (3 eps)^(-1/8), (eps/4)^(-1/8), (eps/5)^(-1/8).
inline constexpr double rf_start_factor = 78.8959690786408;
inline constexpr double rd_start_factor = 107.63474115247546;
inline constexpr double rj_start_factor = 110.67925377307274;
inline constexpr int rf_iteration_cap = 11;
inline constexpr int rd_iteration_cap = 50;
inline constexpr int rj_iteration_cap = 100;
// The AGM of RD's x = 0 form converges quadratically and ends within about a dozen updates for
// normal arguments. With subnormal y and z the product a g loses its digits and the loop can
// take some 50 updates; the cap guarantees that it ends.
inline constexpr int rd_agm_cap = 100;

// Bulirsch's cel: 2^-30, whose square in the next update lies below eps; 2^-1000, from which
// 1 / nc and its doubles stay finite; 11 updates reach the tolerance for nc, mc down to 1e-300.
inline constexpr double cel_tolerance = 9.313225746154785e-10;
inline constexpr double cel_smallest_nc = 9.332636185032189e-302;
inline constexpr int cel_cap = 16;

}  // namespace vellomir::ellip_constants
