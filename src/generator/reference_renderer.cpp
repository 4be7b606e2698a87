#include "generator/reference_renderer.hpp"

#include <algorithm>
#include <cstdint>
#include <numbers>

#include "generator/color_modes.hpp"
#include "generator/generator.hpp"
#include "generator/round.hpp"

namespace tav {

namespace {

constexpr double kPi = std::numbers::pi;

struct Turned {
  double x, y, z;
};

// Index of a modulation look-up: k plus the rounded offset, kept inside the
// table (only settings outside their ranges can reach past it).
inline std::size_t LookUp(int32_t k, double offset, std::size_t capacity) {
  const int64_t i = static_cast<int64_t>(k) + Round(offset);
  return static_cast<std::size_t>(std::clamp<int64_t>(i, 0, static_cast<int64_t>(capacity) - 1));
}

// Turns point k and, when blur > 0, modulates the turned coordinates with
// sines of coordinates of points further along the same layout.
inline Turned TurnPoint(const PatternGenerator& g, const TurnMatrix& m, const double* px,
                        const double* py, const double* pz, std::size_t capacity, int32_t k,
                        int32_t blur) {
  const double x = px[k], y = py[k], z = pz[k];
  Turned t{m.A1 * x + m.A2 * y + m.A3 * z, m.B1 * x + m.B2 * y + m.B3 * z,
           m.C1 * x + m.C2 * y + m.C3 * z};
  if (blur > 0) {
    const double b = blur;
    t.x = t.x * (1 + Sin(pz[LookUp(k, g.Coef1 * g.Coef1 * b, capacity)] * g.Coef3 * b / 1000));
    t.y = t.y * (1 + Sin(px[LookUp(k, g.Coef2 * g.Coef2 * b, capacity)] * g.Coef1 * b / 1000));
    t.z = t.z * (1 + Sin(py[LookUp(k, g.Coef3 * g.Coef3 * b, capacity)] * g.Coef2 * b / 1000));
  }
  return t;
}

void FinePass(PatternGenerator& g, const TurnMatrix& m, int32_t picture, int32_t blur, int32_t color) {
  const std::size_t capacity = static_cast<std::size_t>(g.Capacity().FineCapacity);
  const int32_t last = g.PointsPerFrame() - 1;
  const bool settingsFormulas = g.Capacity().SettingsFormulas;
  const double c1 = g.Coef1, c2 = g.Coef2, c3 = g.Coef3;
  // The settings window adds Blur to the chained denominators and uses
  // products of squared coefficients in the independent ones.
  const double chainedExtra = settingsFormulas ? static_cast<double>(blur) : 0.0;
  const double den1 = settingsFormulas ? c1 * c1 * c3 * c3 : c1 * c1;
  const double den2 = settingsFormulas ? c1 * c1 * c2 * c2 : c2 * c2;
  const double den3 = settingsFormulas ? c2 * c2 * c3 * c3 : c3 * c3;

  for (int32_t k = 0; k <= last; ++k) {
    const Turned t = TurnPoint(g, m, g.PointX1.data(), g.PointY1.data(), g.PointZ1.data(),
                               capacity, k, blur);
    const double r = g.RingRadius1[static_cast<std::size_t>(k)];
    const std::size_t cell = g.Cell(g.PixelY1[static_cast<std::size_t>(k)],
                                    g.PixelX1[static_cast<std::size_t>(k)]);
    int32_t red, green, blue;
    if (picture > 50) {
      red = Round(255 * Sin(kPi * c2 * t.x / (r + t.x + c1 + chainedExtra)) + c1 / 3);
      green = Round((255 * Sin(kPi * c3 * t.y / (r + t.x + c2 + chainedExtra)) + c2 / 3 + red) / c1);
      blue = Round((255 * Sin(kPi * c1 * t.z / (r + t.x + c3 + chainedExtra)) + c3 / 3 + green) / c2);
    } else {
      red = Round(255 * Sin(kPi * c2 * t.x / (den1 + r)));
      green = Round(255 * Sin(kPi * c3 * t.y / (den2 + r)));
      blue = Round(255 * Sin(kPi * c1 * t.z / (den3 + r)));
    }
    // The sum in 64 bits: saturated values must not overflow.
    red = Round(static_cast<double>(static_cast<int64_t>(red) + blue) / c3);
    ColorModePixel(red, green, blue, color);
    g.RedPlane[cell] = red;
    g.GreenPlane[cell] = green;
    g.BluePlane[cell] = blue;
  }
}

void CoarsePass(PatternGenerator& g, const TurnMatrix& m, int32_t picture, int32_t blur, int32_t color) {
  const std::size_t capacity = static_cast<std::size_t>(g.Capacity().CoarseCapacity);
  const int32_t last = g.PointsPerFrame() - 1;
  const double c1 = g.Coef1, c2 = g.Coef2, c3 = g.Coef3;
  const int32_t fw = g.FieldWidth, fh = g.FieldHeight;

  for (int32_t k = 0; k <= last; ++k) {
    const Turned t = TurnPoint(g, m, g.PointX0.data(), g.PointY0.data(), g.PointZ0.data(),
                               capacity, k, blur);
    const double r = g.RingRadius0[static_cast<std::size_t>(k)];
    double tr, tg, tb;
    if (picture > 50) {
      tr = Sin(kPi * c2 * t.x / (r + t.x + c1) + c1 / 3);
      tg = Sin((kPi * c3 * t.y / (r + t.x + c2) + c2 / 3 + tr) / c1);
      tb = Sin((kPi * c1 * t.z / (r + t.x + c3) + c3 / 3 + tg) / c2);
    } else {
      tr = Sin(kPi * c2 * t.x / (c1 * c1 + r));
      tg = Sin(kPi * c3 * t.y / (c2 * c2 + r));
      tb = Sin(kPi * c1 * t.z / (c3 * c3 + r));
    }
    tr = (tr + tb) / c3;
    ColorModeTile(tr, tg, tb, color);

    const int32_t x0 = g.PixelX0[static_cast<std::size_t>(k)];
    const int32_t y0 = g.PixelY0[static_cast<std::size_t>(k)];
    for (int j = 0; j < kFigureEntries; ++j) {
      int32_t px = x0 + g.FigureDX[j];
      int32_t py = y0 + g.FigureDY[j];
      // Entries off the field's inner part all land on pixel (0, 0).
      if (!(py > 0 && py < fh && px > 0 && px < fw)) px = py = 0;
      const std::size_t cell = g.Cell(py, px);
      const double wgt = g.FigureWeight[j];
      g.RedPlane[cell] = Round(255 * tr * wgt);
      g.GreenPlane[cell] = Round(255 * tg * wgt);
      g.BluePlane[cell] = Round(255 * tb * wgt);
    }
  }
}

}  // namespace

void RenderReference(PatternGenerator& g) {
  const TurnMatrix m = g.AdvanceFrameState();
  const Settings& s = g.settings();
  const int32_t picture = s.Picture, blur = s.Blur, color = s.Color;
  if (g.FineLayout()) {
    FinePass(g, m, picture, blur, color);
  } else {
    CoarsePass(g, m, picture, blur, color);
  }
}

}  // namespace tav
