#include "generator/color_modes.hpp"

#include <cmath>

#include "generator/round.hpp"

namespace tav {

namespace {

// Square of a guarded sine or cosine.
inline double Sin2(double t) {
  const double s = Sin(t);
  return s * s;
}
inline double Cos2(double t) {
  const double c = Cos(t);
  return c * c;
}

}  // namespace

int32_t ColorModePixelValue(int32_t v, int32_t mode) {
  // Negation and mirroring are done in 64 bits: an input of INT32_MIN must
  // not overflow. Mode 6 alone can produce 2^31, which wraps to INT32_MIN
  // and keeps its low 8 bits, the only part that is ever shown.
  const int64_t w = v;
  switch (mode) {
    case 0: {
      int64_t r = w >= 255 ? 510 - w : w;
      return static_cast<int32_t>(r < 0 ? 0 : r);
    }
    case 1: {
      int64_t r = w < 0 ? -static_cast<int64_t>(Round(static_cast<double>(w) / 2)) : w;
      return static_cast<int32_t>(r >= 255 ? 255 : r);
    }
    case 2: {
      const double a = std::fabs(static_cast<double>(w));
      return Round(220 * Cos(a / 200));
    }
    case 3: {
      int64_t r = w < 0 ? -w : w;
      if (r >= 255) r = 510 - r;
      return static_cast<int32_t>(r);
    }
    case 4: {
      int64_t r = w < 150 ? Round(255 * Cos2(static_cast<double>(w) / 200)) : w;
      if (r >= 255) r = 510 - r;
      return static_cast<int32_t>(r);
    }
    case 5: {
      int64_t r = w < 0 ? -w : w;
      if (r < 150) r = 0;
      if (r >= 255) r = 255;
      return static_cast<int32_t>(r);
    }
    case 6:
      return v < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v;
    case 7:
      return Round(255 * Sin2(static_cast<double>(w) / 200));
    case 8:
      return Round(255 * Cos2(static_cast<double>(w) / 200));
    case 9: {
      const double t = static_cast<double>(w) / 200;
      return Round(1000 * Sin2(t) * Cos2(t));
    }
    case 10: {
      const double x = static_cast<double>(w < 1 ? 1 : w);
      const double l = std::log(x / 250);
      return Round(255 * (l * l));
    }
    default:
      return v;
  }
}

double ColorModeTileValue(double v, int32_t mode) {
  switch (mode) {
    case 0:
      if (v >= 0.9) v = 1.8 - v;
      if (v < 0) v = 0;
      return v;
    case 1:
      return v < 0 ? 0 : v;
    case 2:
      if (v < 0) v = -v;
      return Cos(1.57 * v);
    case 3:
    case 6:
      return v < 0 ? -v : v;
    case 4:
      if (v < 0.5) v = Cos2(1.57 * v);
      if (v >= 0.9) v = 1.8 - v;
      return v;
    case 5:
      if (v < 0) v = -v;
      if (v < 0.5) v = 0;
      return v;
    case 7:
      return Sin2(1.57 * v);
    case 8:
      return Cos2(1.57 * v);
    case 9:
      return 5 * Sin2(1.57 * v) * Cos2(1.57 * v);
    case 10: {
      if (v < 0.01) v = 0.01;
      const double l = std::log(1.5 * v);
      return l * l;
    }
    default:
      return v;
  }
}

}  // namespace tav
