#include "generator/reference_renderer.hpp"

#include <algorithm>
#include <cstdint>
#include <numbers>

#include "generator/color_modes.hpp"
#include "generator/generator.hpp"
#include "generator/layout_walk.hpp"
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
inline Turned TurnPoint(const WaveState& w, const TurnMatrix& m, const double* px,
                        const double* py, const double* pz, std::size_t capacity, int32_t k,
                        int32_t blur) {
  const double x = px[k], y = py[k], z = pz[k];
  Turned t{m.A1 * x + m.A2 * y + m.A3 * z, m.B1 * x + m.B2 * y + m.B3 * z,
           m.C1 * x + m.C2 * y + m.C3 * z};
  if (blur > 0) {
    const double b = blur;
    t.x = t.x * (1 + Sin(pz[LookUp(k, w.Coef1 * w.Coef1 * b, capacity)] * w.Coef3 * b / 1000));
    t.y = t.y * (1 + Sin(px[LookUp(k, w.Coef2 * w.Coef2 * b, capacity)] * w.Coef1 * b / 1000));
    t.z = t.z * (1 + Sin(py[LookUp(k, w.Coef3 * w.Coef3 * b, capacity)] * w.Coef2 * b / 1000));
  }
  return t;
}

void FinePass(const FrameInputs& in) {
  const LayoutView& l = in.layout;
  const int32_t picture = in.picture, blur = in.blur, color = in.color;
  const std::size_t capacity = static_cast<std::size_t>(l.tableSize);
  const int32_t last = l.points - 1;
  const bool settingsFormulas = l.capacity.SettingsFormulas;
  const double c1 = in.wave.Coef1, c2 = in.wave.Coef2, c3 = in.wave.Coef3;
  // The settings window adds Blur to the chained denominators and uses
  // products of squared coefficients in the independent ones.
  const double chainedExtra = settingsFormulas ? static_cast<double>(blur) : 0.0;
  const double den1 = settingsFormulas ? c1 * c1 * c3 * c3 : c1 * c1;
  const double den2 = settingsFormulas ? c1 * c1 * c2 * c2 : c2 * c2;
  const double den3 = settingsFormulas ? c2 * c2 * c3 * c3 : c3 * c3;

  for (int32_t k = 0; k <= last; ++k) {
    const Turned t = TurnPoint(in.wave, in.turn, l.pointX, l.pointY, l.pointZ, capacity, k, blur);
    const double r = l.ringRadius[k];
    const std::size_t cell = l.Cell(l.pixelY[k], l.pixelX[k]);
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
    in.red[cell] = red;
    in.green[cell] = green;
    in.blue[cell] = blue;
  }
}

void CoarsePass(const FrameInputs& in) {
  const LayoutView& l = in.layout;
  const int32_t picture = in.picture, blur = in.blur, color = in.color;
  const std::size_t capacity = static_cast<std::size_t>(l.tableSize);
  const int32_t last = l.points - 1;
  const double c1 = in.wave.Coef1, c2 = in.wave.Coef2, c3 = in.wave.Coef3;
  const int32_t fw = l.fieldWidth, fh = l.fieldHeight;

  for (int32_t k = 0; k <= last; ++k) {
    const Turned t = TurnPoint(in.wave, in.turn, l.pointX, l.pointY, l.pointZ, capacity, k, blur);
    const double r = l.ringRadius[k];
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

    const int32_t x0 = l.pixelX[k];
    const int32_t y0 = l.pixelY[k];
    for (int j = 0; j < kFigureEntries; ++j) {
      const TilePixel p = TileEntryPixel(x0, y0, l.figureDX[j], l.figureDY[j], fw, fh);
      const std::size_t cell = l.Cell(p.y, p.x);
      const double wgt = l.figureWeight[j];
      in.red[cell] = Round(255 * tr * wgt);
      in.green[cell] = Round(255 * tg * wgt);
      in.blue[cell] = Round(255 * tb * wgt);
    }
  }
}

}  // namespace

void RenderReference(const FrameInputs& in) {
  if (in.layout.fine) {
    FinePass(in);
  } else {
    CoarsePass(in);
  }
}

}  // namespace tav
