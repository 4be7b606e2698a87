// The preview's spiral renderer: point counts, drift and wrap rules, the
// colour clamp and the bitmap it paints.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "generator/preview_renderer.hpp"

namespace tav {
namespace {

// A started state that neither drifts nor turns unless a case says so.
PreviewRenderer::State Still() {
  PreviewRenderer::State s;
  s.Coef = {1.0, 1.0, 1.0};
  s.Drift = {0, 0, 0};
  s.Phase = {0.5, 0.5, 0.5};
  s.Started = true;
  return s;
}

uint32_t NextSeed(uint32_t seed) { return seed * 134775813u + 1u; }

TEST(PreviewRenderer, PointsPerStepFollowTheWindowArea) {
  struct Case {
    int32_t width, height;
    int64_t points;
  };
  const Case cases[] = {
      {0, 0, 1},             // one point, at column 1: outside, discarded
      {1, 1, 4},             // Round(3.2) + 1
      {2, 3, 20},            // Round(19.2) + 1
      {152, 112, 54478},     // Round(54476.8) + 1
      {46341, 46341, 0},     // the 32-bit area wraps negative: the step ends
  };
  for (const Case& c : cases) {
    RandomGenerator random(1);
    PreviewRenderer r(random);
    r.SetState(Still());
    r.PreviewStep(c.width, c.height);
    EXPECT_EQ(r.PointsComputed(), c.points) << c.width << " x " << c.height;
  }
}

TEST(PreviewRenderer, ZeroByZeroWindowChangesNoCell) {
  RandomGenerator random(7);
  PreviewRenderer r(random);
  r.PreviewStep(0, 0);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      EXPECT_EQ(r.Red(row, column) | r.Green(row, column) | r.Blue(row, column), 0);
    }
  }
}

TEST(PreviewRenderer, FirstStepDrawsStateFromTheDocumentedSets) {
  for (uint32_t seed : {0u, 1u, 12345u, 0xdeadbeefu, 86399999u}) {
    RandomGenerator random(seed);
    PreviewRenderer r(random);
    r.PreviewStep(0, 0);
    const auto& s = r.GetState();
    ASSERT_TRUE(s.Started);
    for (int i = 0; i < 3; ++i) {
      // The step has already drifted once: undo it to see the drawn values.
      const double rate = s.Drift[i] * 1000;
      EXPECT_NEAR(rate, std::round(rate), 1e-9);
      EXPECT_GE(std::round(rate), 1);
      EXPECT_LE(std::round(rate), 10);
      const double coef = (s.Coef[i] - s.Drift[i] - 0.7) * 10;
      EXPECT_NEAR(coef, std::round(coef), 1e-9);
      EXPECT_GE(std::round(coef), 0);
      EXPECT_LE(std::round(coef), 11);
      const double phase = (s.Phase[i] - 3 * s.Drift[i]) * 200;
      EXPECT_NEAR(phase, std::round(phase), 1e-7);
      EXPECT_GE(std::round(phase), 0);
      EXPECT_LE(std::round(phase), 199);
    }
  }
}

TEST(PreviewRenderer, RestartDrawsTheStateAgain) {
  RandomGenerator random(99);
  PreviewRenderer r(random);
  r.PreviewStep(0, 0);
  const uint32_t seedAfterStart = random.Seed();
  r.PreviewStep(0, 0);
  EXPECT_EQ(random.Seed(), seedAfterStart);  // no bound crossed: nothing drawn
  r.Restart();
  r.PreviewStep(0, 0);
  EXPECT_NE(random.Seed(), seedAfterStart);
}

TEST(PreviewRenderer, CoefficientDriftTurnsOnlyAtTheBounds) {
  enum Turn { Keeps, Down, Up };
  struct Case {
    double coef, drift;
    Turn turn;
  };
  const Case cases[] = {
      {1.895, 0.01, Down},   // passes 1.9: turned downwards in the same step
      {0.705, -0.01, Up},    // passes 0.7: turned upwards
      {1.0, 0.005, Keeps},   // in between: keeps its drift
      {1.9, 0.0, Keeps},     // exactly at 1.9 is not above it
      {0.7, 0.0, Up},        // exactly at 0.7 counts as below it
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 3; ++i) {
      auto s = Still();
      s.Coef[i] = c.coef;
      s.Drift[i] = c.drift;
      RandomGenerator random(4242);
      PreviewRenderer r(random);
      r.SetState(s);
      r.PreviewStep(0, 0);
      const double d = r.GetState().Drift[i];
      const auto where = ::testing::Message() << "coef " << c.coef << " drift " << c.drift
                                              << " index " << i;
      EXPECT_DOUBLE_EQ(r.GetState().Coef[i], c.coef + c.drift) << where;
      switch (c.turn) {
        case Keeps:
          EXPECT_EQ(d, c.drift) << where;
          EXPECT_EQ(random.Seed(), 4242u) << where;  // no draw without a crossing
          break;
        case Down:
          EXPECT_GE(d, -0.0100001) << where;
          EXPECT_LE(d, -0.0009999) << where;
          EXPECT_EQ(random.Seed(), NextSeed(4242)) << where;
          break;
        case Up:
          EXPECT_GE(d, 0.0009999) << where;
          EXPECT_LE(d, 0.0100001) << where;
          EXPECT_EQ(random.Seed(), NextSeed(4242)) << where;
          break;
      }
    }
  }
}

TEST(PreviewRenderer, AnglesWrapAtFullTurnOnly) {
  struct Case {
    double phase, drift, after;
  };
  const Case cases[] = {
      {6.28, 0.0, 0.0},       // reaching 6.28 wraps
      {6.2799, 0.0, 6.2799},  // just below stays
      {-3.0, 0.0, -3.0},      // negative angles stay
      {1.0, 0.01, 1.03},      // advance by three times the drift
      {6.5, 0.0, 0.0},        // far past the bound wraps to 0, not by subtracting
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 3; ++i) {
      auto s = Still();
      s.Phase[i] = c.phase;
      s.Drift[i] = c.drift;
      RandomGenerator random(5);
      PreviewRenderer r(random);
      r.SetState(s);
      r.PreviewStep(0, 0);
      EXPECT_DOUBLE_EQ(r.GetState().Phase[i], c.after) << "phase " << c.phase << " index " << i;
    }
  }
}

TEST(PreviewRenderer, ColourFormulasAndClamp) {
  struct Case {
    double x, y, z;
    int32_t red, green, blue;  // before the clamp
  };
  // k = 1 and all coefficients 1: with x = 2 the red sine is sin(pi/2); y and
  // z of +-2 give sines of +-1 as well.
  const Case cases[] = {
      {2, 2, 2, 1020, 510, 765},
      {2, -2, 0, 255, 0, 0},
      {-2.0 / 3, 0, 0, -510, -255, -255},  // later channels use the unclamped earlier ones
      {-2, 1, 1, 0, 0, 0},  // every denominator is 0: the sines count as 0
  };
  for (const Case& c : cases) {
    const auto colour = PreviewPointColour(1, c.x, c.y, c.z, 1, 1, 1);
    EXPECT_EQ(colour.Red, c.red) << c.x << " " << c.y << " " << c.z;
    EXPECT_EQ(colour.Green, c.green) << c.x << " " << c.y << " " << c.z;
    EXPECT_EQ(colour.Blue, c.blue) << c.x << " " << c.y << " " << c.z;
  }

  struct Clamp {
    int32_t in, out;
  };
  const Clamp clamps[] = {{-1, 0},  {0, 0},    {1, 1},    {255, 255},
                          {256, 0}, {1020, 0}, {std::numeric_limits<int32_t>::min(), 0}};
  for (const Clamp& c : clamps) EXPECT_EQ(PreviewClampChannel(c.in), c.out) << c.in;
}

// Runs a few steps and paints; checks the bitmap against the planes.
void ExpectPaintShowsPlanes(int32_t width, int32_t height) {
  RandomGenerator random(2024);
  PreviewRenderer r(random);
  TDIB bitmap;
  for (int i = 0; i < 3; ++i) r.PreviewPaint(width, height, bitmap);
  ASSERT_EQ(bitmap.Width(), width);
  ASSERT_EQ(bitmap.Height(), height);
  ASSERT_EQ(bitmap.BitCount(), 24);
  int coloured = 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* line = bitmap.ScanLineRead(y);
    for (int x = 0; x < width; ++x) {
      const uint8_t* px = line + x * 3;
      const bool border = y == 0 || x == 0 || y == height - 1 || x == width - 1;
      const bool beyondPlanes = y >= PreviewRenderer::kPlaneRows ||
                                x >= PreviewRenderer::kPlaneColumns;
      if (border || beyondPlanes) {
        ASSERT_TRUE(px[0] == 255 && px[1] == 255 && px[2] == 255)
            << width << " x " << height << " at " << x << "," << y;
      } else {
        ASSERT_EQ(px[0], r.Blue(y, x)) << x << "," << y;
        ASSERT_EQ(px[1], r.Green(y, x)) << x << "," << y;
        ASSERT_EQ(px[2], r.Red(y, x)) << x << "," << y;
        coloured += px[0] != 255 || px[1] != 255 || px[2] != 255;
      }
    }
  }
  if (width >= 3 && height >= 3 && width <= 640 && height <= 480) {
    EXPECT_GT(coloured, 0) << width << " x " << height;
  }
}

TEST(PreviewRenderer, PaintShowsPlanesInsideAWhiteBorder) {
  const std::pair<int32_t, int32_t> sizes[] = {
      {1, 1}, {2, 5}, {5, 2},  // below 3 pixels: all white
      {3, 3}, {10, 7}, {152, 112}, {320, 240},
      {400, 300},  // larger than the planes: their area, the rest white
      {1000, 20},  // the spiral never reaches the planes' columns
  };
  for (const auto& [w, h] : sizes) ExpectPaintShowsPlanes(w, h);
}

TEST(PreviewRenderer, PlaneValuesStayWithinAByte) {
  RandomGenerator random(77);
  PreviewRenderer r(random);
  for (int i = 0; i < 20; ++i) r.PreviewStep(320, 240);
  int nonZero = 0;
  for (int row = 0; row < PreviewRenderer::kPlaneRows; ++row) {
    for (int column = 0; column < PreviewRenderer::kPlaneColumns; ++column) {
      for (int32_t v : {r.Red(row, column), r.Green(row, column), r.Blue(row, column)}) {
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 255);
        nonZero += v != 0;
      }
    }
  }
  EXPECT_GT(nonZero, 0);
}

TEST(PreviewRenderer, EmptyWindowPaintsNothing) {
  RandomGenerator random(3);
  PreviewRenderer r(random);
  TDIB bitmap;
  r.PreviewPaint(0, 0, bitmap);
  EXPECT_TRUE(bitmap.Empty());
}

}  // namespace
}  // namespace tav
