// The point layouts against the layout walked one point at a time, as
// described: same LastPoint, and every table bit for bit. The set-up counts
// the rings that lie wholly inside the field and fills them on two cores,
// and takes each angle's cosine and sine in one C library call; any slip in
// either (a ring count off by one, a point or pixel that differs in its last
// bit) shows here. The wallpaper case covers every angle of the largest
// layout, 4,224,001 points.
#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "generator/generator.hpp"
#include "generator/round.hpp"

namespace {

using tav::GeneratorShape;
using tav::PatternGenerator;

// Separate C library calls through pointers, so that the compiler cannot
// turn the pair into one sincos call.
double (*volatile libCos)(double) = &::cos;
double (*volatile libSin)(double) = &::sin;
double (*volatile libAcos)(double) = &::acos;

struct Layout {
  std::vector<double> ring, x, y, z;
  std::vector<int32_t> px, py;
};

// The walk for the field, Zoom and Picture the generator holds.
Layout Walk(const PatternGenerator& g) {
  const tav::LayoutView v = g.Layout();
  const bool coarse = !g.FineLayout();
  const double spacing = coarse ? 3 : 0.8, divisor = coarse ? 10 : 30;
  const double stepNum = coarse ? 3 : 1, skipNum = coarse ? 2 : 1, stepDiv = coarse ? 1 : 1.7;
  const int32_t picture = g.settings().Picture;
  const double p = picture <= 50 ? picture : picture - 50;
  const double w = v.fieldWidth / 2.0, h = v.fieldHeight / 2.0;
  const double twoPi = 2 * std::numbers::pi;
  const std::size_t n = static_cast<std::size_t>(v.lastPoint) + 1;
  Layout l{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
           std::vector<double>(n), std::vector<int32_t>(n), std::vector<int32_t>(n)};
  double r = 1, a = 0, b = 0;
  for (std::size_t i = 0; i < n; ++i) {
    l.ring[i] = r;
    l.x[i] = libCos(a) * r;
    l.y[i] = libSin(a) * r;
    l.z[i] = libCos(b) * r;
    const double e = skipNum / (stepDiv * r);
    if (l.x[i] > w) a = libAcos(w / r) + a - e;
    if (l.x[i] < -w) a = libAcos(w / r) + a - e;
    if (l.y[i] > h) a = libAcos(h / r) + a - e;
    if (l.y[i] < -h) a = libAcos(h / r) + a - e;
    int32_t px = tav::Round(w + l.x[i]);
    int32_t py = tav::Round(h + l.y[i]);
    if (coarse) {
      px += v.stepX[i];
      py += v.stepY[i];
    }
    if (py < 1 || py > v.fieldHeight - 2 || px < 1 || px > v.fieldWidth - 2) {
      px = v.fieldWidth;
      py = v.fieldHeight;
    }
    l.px[i] = px;
    l.py[i] = py;
    a = a + stepNum / (stepDiv * r);
    if (!(a < twoPi)) {
      r = r + spacing;
      b = b + p * g.Zoom() / (r * divisor);
      a = 0;
      if (!(b < twoPi)) b = 0;
    }
  }
  return l;
}

template <typename T>
bool SameBits(const std::vector<T>& want, const T* got) {
  return std::memcmp(want.data(), got, want.size() * sizeof(T)) == 0;
}

TEST(Layout, EveryTableBitForBitAsTheWalk) {
  const struct {
    GeneratorShape shape;
    int32_t width, height, satiation, picture;
  } cases[] = {
      {GeneratorShape::FullScreen, 640, 480, 100, 75},
      {GeneratorShape::FullScreen, 640, 480, 100, 25},
      {GeneratorShape::FullScreen, 640, 480, 80, 25},
      {GeneratorShape::FullScreen, 640, 480, 60, 0},
      {GeneratorShape::FullScreen, 640, 480, 59, 75},  // coarse, with jitter
      {GeneratorShape::FullScreen, 640, 480, 0, 100},
      {GeneratorShape::SettingsWindow, 400, 300, 100, 50},
      {GeneratorShape::SettingsWindow, 1600, 1200, 100, 75},  // largest layout
      {GeneratorShape::SettingsWindow, 1280, 1024, 90, 51},
      {GeneratorShape::SettingsWindow, 1152, 864, 30, 75},
      // Fields with no inner ring, or only a few.
      {GeneratorShape::SettingsWindow, 1, 1, 100, 75},
      {GeneratorShape::SettingsWindow, 0, 0, 100, 75},
      {GeneratorShape::SettingsWindow, 3, 500, 100, 75},
      {GeneratorShape::SettingsWindow, 500, 3, 100, 75},
      {GeneratorShape::SettingsWindow, 9, 7, 100, 75},
      // Layouts that end inside the rings that lie wholly in the field.
      {GeneratorShape::SettingsWindow, 2, 2, 100, 75},
      {GeneratorShape::SettingsWindow, 5, 5, 0, 75},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " satiation " +
                 std::to_string(c.satiation) + " picture " + std::to_string(c.picture));
    tav::Settings settings;
    settings.Satiation = c.satiation;
    settings.Picture = c.picture;
    tav::RandomGenerator random(99);
    PatternGenerator g(c.shape, settings, random);
    if (c.shape == GeneratorShape::FullScreen) {
      g.SetupFullScreen();  // always 640 x 480
    } else {
      g.SetupSettingsWindow(c.width, c.height);
    }
    const Layout want = Walk(g);
    const tav::LayoutView v = g.Layout();
    EXPECT_TRUE(SameBits(want.ring, v.ringRadius));
    EXPECT_TRUE(SameBits(want.x, v.pointX));
    EXPECT_TRUE(SameBits(want.y, v.pointY));
    EXPECT_TRUE(SameBits(want.z, v.pointZ));
    EXPECT_TRUE(SameBits(want.px, v.pixelX));
    EXPECT_TRUE(SameBits(want.py, v.pixelY));
    // The entry after the last point stays untouched.
    EXPECT_EQ(v.ringRadius[v.lastPoint + 1], 0.0);
  }
}

}  // namespace
