#include "generator/preview_renderer.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "generator/generator.hpp"
#include "generator/round.hpp"

namespace tav {
namespace {

constexpr double kPi = std::numbers::pi;
// The double nearest 2 pi lies just below 2 pi, so "t reaches 2 pi" is t > kTwoPi.
constexpr double kTwoPi = 2 * std::numbers::pi;

// The bounds are decimal values compared exactly: the double nearest 0.7
// lies below 0.7 and counts as below it, the double nearest 1.9 lies below
// 1.9 and is not above it, the double nearest 6.28 lies above 6.28 and
// reaches it. Comparing the doubles with <=, > and >= gives just that.
bool BelowLowerBound(double c) { return c <= 0.7; }
bool AboveUpperBound(double c) { return c > 1.9; }
bool ReachesFullTurn(double p) { return p >= 6.28; }

}  // namespace

PreviewColour PreviewPointColour(double k, double x, double y, double z, double c1, double c2,
                                  double c3) {
  PreviewColour c;
  c.Red = Round(255 * Sin(kPi * c2 * x / (k + x + c1)) + c1 / 3);
  c.Green = Round((255 * Sin(kPi * c3 * y / (k + x + c2)) + c2 / 3 + c.Red) / c1);
  c.Blue = Round((255 * Sin(kPi * c1 * z / (k + x + c3)) + c3 / 3 + c.Green) / c2);
  c.Red = Round((c.Red + c.Blue) / c3);
  return c;
}

PreviewRenderer::PreviewRenderer(RandomGenerator& random) : random_(random) {}

void PreviewRenderer::Start() {
  for (double& c : state_.Coef) c = random_.Random(12) / 10.0 + 0.7;
  for (double& d : state_.Drift) d = random_.Random(10) * 0.001 + 0.001;
  for (double& p : state_.Phase) p = random_.Random(200) / 200.0;
  state_.Started = true;
}

void PreviewRenderer::DriftCoefficients() {
  for (int i = 0; i < 3; ++i) {
    state_.Coef[i] += state_.Drift[i];
    // Two separate checks: the random draw happens only when a bound is crossed.
    if (AboveUpperBound(state_.Coef[i])) state_.Drift[i] = -0.001 - random_.Random(10) * 0.001;
    if (BelowLowerBound(state_.Coef[i])) state_.Drift[i] = random_.Random(10) * 0.001 + 0.001;
  }
}

void PreviewRenderer::PreviewStep(int32_t width, int32_t height) {
  if (!state_.Started) Start();
  DriftCoefficients();

  // The turning coefficients come from the angles before this step's
  // advance, as the generator's frame takes them (not quite a rotation).
  const TurnMatrix m = MakeTurnMatrix(state_.Phase[0], state_.Phase[1], state_.Phase[2]);

  for (int i = 0; i < 3; ++i) state_.Phase[i] += 3 * state_.Drift[i];
  for (int i = 2; i >= 0; --i) {
    if (ReachesFullTurn(state_.Phase[i])) state_.Phase[i] = 0;
  }

  pointsComputed_ = 0;
  // The product is a 32-bit value, as the window's size always was.
  const int32_t area = static_cast<int32_t>(static_cast<uint32_t>(width) * static_cast<uint32_t>(height));
  const double count = std::nearbyint(area * 3.2);
  if (count < 0 || width < 0 || height < 0) return;
  const int64_t lastPoint = static_cast<int64_t>(count);

  const double halfWidth = width / 2.0, halfHeight = height / 2.0;
  // Kept cells lie inside the window and inside the planes.
  const int32_t maxColumn = std::min(width, kPlaneColumns - 1);
  const int32_t maxRow = std::min(height, kPlaneRows - 1);
  // Rings wider than the farthest kept cell (plus rounding) reach nothing;
  // the step stops there instead of turning through discarded points.
  const double reach =
      std::hypot(std::max(halfWidth, std::fabs(maxColumn - halfWidth)),
                 std::max(halfHeight, std::fabs(maxRow - halfHeight))) +
      1;

  const double c1 = state_.Coef[0], c2 = state_.Coef[1], c3 = state_.Coef[2];
  double k = 1, t = 0, s = 0;
  int64_t point = 0;
  for (; point <= lastPoint && k <= reach; ++point) {
    const double p1 = k * std::cos(t), p2 = k * std::sin(t), p3 = k * std::cos(s);
    const int32_t column = Round(halfWidth + p1);
    const int32_t row = Round(halfHeight + p2);
    if (row >= 0 && row <= maxRow && column >= 0 && column <= maxColumn) {
      const double x = m.A1 * p1 + m.A2 * p2 + m.A3 * p3;
      const double y = m.B1 * p1 + m.B2 * p2 + m.B3 * p3;
      const double z = m.C1 * p1 + m.C2 * p2 + m.C3 * p3;
      const PreviewColour colour = PreviewPointColour(k, x, y, z, c1, c2, c3);
      const std::size_t cell = Cell(row, column);
      red_[cell] = PreviewClampChannel(colour.Red);
      green_[cell] = PreviewClampChannel(colour.Green);
      blue_[cell] = PreviewClampChannel(colour.Blue);
    }
    t += kPi / (6 * k);
    if (t > kTwoPi) {
      s += kPi / k;
      k += 1;
      t = 0;
    }
    if (s > kTwoPi) s = 0;
  }
  pointsComputed_ = point;
}

void PreviewRenderer::PreviewPaint(int32_t width, int32_t height, TDIB& bitmap) {
  PreviewStep(width, height);
  if (width <= 0 || height <= 0) {
    bitmap = TDIB();
    return;
  }
  if (bitmap.BitCount() != 24 || bitmap.Width() != width || bitmap.Height() != height) {
    bitmap = TDIB();
    bitmap.SetBitCount(24);
    bitmap.SetSize(width, height);
  }
  const int lastRow = std::min(height - 2, kPlaneRows - 1);
  const int lastColumn = std::min(width - 2, kPlaneColumns - 1);
  for (int y = 0; y < height; ++y) {
    uint8_t* line = bitmap.ScanLine(y);
    std::fill(line, line + static_cast<std::size_t>(width) * 3, uint8_t{255});
    if (y < 1 || y > lastRow) continue;
    for (int x = 1; x <= lastColumn; ++x) {
      const std::size_t cell = Cell(y, x);
      uint8_t* px = line + static_cast<std::size_t>(x) * 3;
      px[0] = static_cast<uint8_t>(blue_[cell]);
      px[1] = static_cast<uint8_t>(green_[cell]);
      px[2] = static_cast<uint8_t>(red_[cell]);
    }
  }
}

}  // namespace tav
