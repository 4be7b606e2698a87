#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "generator/color_modes.hpp"
#include "generator/round.hpp"

namespace {

using tav::ColorModePixelValue;
using tav::ColorModeTileValue;

struct PixelCase {
  int32_t mode, in, out;
};

TEST(ColorModePixel, EdgeValuesOfEachMode) {
  const PixelCase cases[] = {
      // 0: mirror at 255, then clip below 0
      {0, 255, 255}, {0, 256, 254}, {0, 510, 0}, {0, 600, 0}, {0, -7, 0},
      // 1: halve negatives (ties to even), clip the top
      {1, -1, 0}, {1, -3, 2}, {1, -5, 2}, {1, -7, 4}, {1, 300, 255}, {1, 254, 254},
      // 2: fold, then 220 cos(v / 200)
      {2, 0, 220}, {2, -100, 193}, {2, 100, 193}, {2, 628, -220}, {2, 1000, 62},
      // 3: fold, then mirror at 255; negative beyond 510
      {3, -300, 210}, {3, 255, 255}, {3, 600, -90}, {3, -100, 100},
      // 4: bend below 150, then mirror at 255
      {4, 149, 138}, {4, 0, 255}, {4, -100, 196}, {4, 150, 150}, {4, 600, -90},
      // 5: fold, drop below 150, clip at 255
      {5, -149, 0}, {5, -150, 150}, {5, 300, 255}, {5, 200, 200},
      // 6: fold only
      {6, -3000, 3000}, {6, 3000, 3000},
      // 7, 8: sin² and cos² on the 255 scale
      {7, 0, 0}, {7, 314, 255}, {8, 0, 255}, {8, 314, 0},
      // 9: 1000 sin² cos²
      {9, 0, 0}, {9, 157, 250}, {9, 100, 177},
      // 10: 255 ln(v / 250)², v at least 1
      {10, -5, 7774}, {10, 1, 7774}, {10, 250, 0}, {10, 1000, 490}, {10, 2500, 1352},
      // outside 0..10: unchanged
      {11, 777, 777}, {-1, -777, -777}, {11, std::numeric_limits<int32_t>::min(),
                                         std::numeric_limits<int32_t>::min()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " in " << c.in);
    EXPECT_EQ(ColorModePixelValue(c.in, c.mode), c.out);
  }
}

TEST(ColorModePixel, ExtremeInputsStayDefined) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  // Folding INT32_MIN must not overflow: mode 3 mirrors 2^31 to 510 - 2^31,
  // mode 5 clips it, mode 6 keeps its low 8 bits (0).
  EXPECT_EQ(ColorModePixelValue(kMin, 3), 510 - 2147483648LL);
  EXPECT_EQ(ColorModePixelValue(kMin, 5), 255);
  EXPECT_EQ(ColorModePixelValue(kMin, 6) & 0xFF, 0);
  EXPECT_EQ(ColorModePixelValue(kMin, 1), 255);
  EXPECT_EQ(ColorModePixelValue(kMax, 0), 0);
  EXPECT_EQ(ColorModePixelValue(kMax, 4), 510 - kMax);
  for (int32_t mode : {2, 7, 8, 9}) {
    SCOPED_TRACE(mode);
    const int32_t v = ColorModePixelValue(kMin, mode);
    EXPECT_LE(std::abs(v), 1000);
  }
}

struct TileCase {
  int32_t mode;
  double in, out;
};

TEST(ColorModeTile, EdgeValuesOfEachMode) {
  const double kLn015Sq = std::log(0.015) * std::log(0.015);  // about 17.6375
  const TileCase cases[] = {
      {0, 0.95, 0.85}, {0, -0.2, 0}, {0, 0.5, 0.5}, {0, 0.9, 0.9},
      {1, -0.5, 0}, {1, 2.5, 2.5},  // no upper clip, unlike the pixel form
      {2, 0, 1}, {2, -1, std::cos(1.57)},
      {3, -2.5, 2.5}, {3, 2.5, 2.5},  // no mirror at the top, unlike the pixel form
      {4, 0, 0.8}, {4, 0.4, std::cos(0.628) * std::cos(0.628)}, {4, 0.5, 0.5}, {4, 2, -0.2},
      {5, -0.6, 0.6}, {5, 0.49, 0}, {5, 3, 3},
      {6, -1.5, 1.5},
      {7, 1, std::sin(1.57) * std::sin(1.57)}, {7, 0, 0},
      {8, 0, 1},
      {9, 0.5, 5 * std::pow(std::sin(0.785) * std::cos(0.785), 2)},
      {10, 0, kLn015Sq}, {10, 0.01, kLn015Sq}, {10, 2.0 / 3, 0}, {10, 1, 0.1644},
      {11, 0.123, 0.123}, {-1, -2.5, -2.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " in " << c.in);
    EXPECT_NEAR(ColorModeTileValue(c.in, c.mode), c.out, 1e-4);
  }
}

TEST(Round, TiesToEvenAndNoUndefinedConversions) {
  const struct {
    double in;
    int32_t out;
  } cases[] = {
      {2.5, 2},     {3.5, 4},   {-0.5, 0}, {-1.5, -2}, {0.49999, 0}, {-2.5, -2},
      {1e300, std::numeric_limits<int32_t>::max()},
      {-1e300, std::numeric_limits<int32_t>::min()},
      {INFINITY, std::numeric_limits<int32_t>::max()},
      {-INFINITY, std::numeric_limits<int32_t>::min()},
      {NAN, 0},
      {2147483646.6, 2147483647}, {-2147483648.4, std::numeric_limits<int32_t>::min()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(tav::Round(c.in), c.out);
  }
}

TEST(GuardedTrig, ZeroFromTwoToTheSixtyThreeAndForNonFinite) {
  for (double x : {0x1p63, -0x1p63, 1e300, double(INFINITY), -double(INFINITY), double(NAN)}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(tav::Sin(x), 0.0);
    EXPECT_EQ(tav::Cos(x), 0.0);
  }
  // Just below the bound the ordinary functions apply.
  const double below = std::nextafter(0x1p63, 0.0);
  EXPECT_EQ(tav::Sin(below), std::sin(below));
  EXPECT_EQ(tav::Cos(1.0), std::cos(1.0));
}

}  // namespace
