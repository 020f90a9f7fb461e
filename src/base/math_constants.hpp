#pragma once
// pi and its multiples, written as the correctly rounded literals every formula uses, so that
// each result is reproducible to the last bit. The one home of these numbers for every part.

namespace vellomir {

inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966;
inline constexpr double TWO_PI = 6.283185307179586;

}  // namespace vellomir
