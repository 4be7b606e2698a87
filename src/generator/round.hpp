#pragma once
// Real-to-integer rounding and the guarded sine and cosine that every
// generator formula uses. Header-only so that any renderer can inline them.
#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace tav {

// Nearest integer, ties to even (2.5 -> 2, -0.5 -> 0), as a 32-bit integer.
// A NaN (what 0/0 gives in a formula) counts as 0; values beyond the 32-bit
// range saturate instead of wrapping, so no conversion is ever undefined.
inline int32_t Round(double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  // One conversion instruction in the default rounding mode (to nearest,
  // ties to even); std::nearbyint is a library call on baseline x86-64.
  return _mm_cvtsd_si32(_mm_set_sd(x));
}

// sin and cos that give 0 for arguments of magnitude 2^63 or more, and so
// also for infinities (a zero denominator) and NaN (0/0).
inline double Sin(double x) {
  if (!(std::fabs(x) < 0x1p63)) return 0.0;
  return std::sin(x);
}
inline double Cos(double x) {
  if (!(std::fabs(x) < 0x1p63)) return 0.0;
  return std::cos(x);
}

// cos and sin of one angle in one C library call; the same bits as Cos and
// Sin, which the layout tests check over whole layouts.
inline void SinCos(double a, double& s, double& c) {
  if (!(std::fabs(a) < 0x1p63)) {
    s = c = 0.0;
    return;
  }
  ::sincos(a, &s, &c);
}

}  // namespace tav
