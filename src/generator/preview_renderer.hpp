#pragma once
// The preview's own compact renderer: a spiral of points around the window
// centre, coloured from a slowly turning, not quite orthogonal rotation and
// three drifting wave coefficients, kept in three small colour planes.
// One object holds all of its state; it knows nothing of windows.
#include <array>
#include <cstdint>

#include "display/dib.hpp"
#include "generator/random.hpp"

namespace tav {

struct PreviewColour {
  int32_t Red = 0, Green = 0, Blue = 0;
};

// The colour of one spiral point on ring k whose turned coordinates are
// (x, y, z), before the channels are clamped.
PreviewColour PreviewPointColour(double k, double x, double y, double z, double c1, double c2,
                                  double c3);

// Below 0 becomes 0, and then above 255 also becomes 0 (not 255).
constexpr int32_t PreviewClampChannel(int32_t v) {
  if (v < 0) v = 0;
  if (v > 255) v = 0;
  return v;
}

class PreviewRenderer {
 public:
  // The planes cover windows of up to 320 x 240 pixels, both ends included.
  static constexpr int kPlaneRows = 241;
  static constexpr int kPlaneColumns = 321;

  // The drifting state: wave coefficients, their signed drift rates and the
  // three rotation angles (radians).
  struct State {
    std::array<double, 3> Coef{};
    std::array<double, 3> Drift{};
    std::array<double, 3> Phase{};
    bool Started = false;
  };

  // Draws from random only on the first step after a restart and when a
  // coefficient crosses a bound.
  explicit PreviewRenderer(RandomGenerator& random);

  // The next step draws its state afresh.
  void Restart() { state_.Started = false; }

  // Advances the animation one step and rewrites the plane cells that the
  // spiral reaches in a window of width x height.
  void PreviewStep(int32_t width, int32_t height);

  // One step, then the planes as a white width x height 24-bit bitmap whose
  // outermost rows and columns stay white; pixels outside the planes stay
  // white too. A size below 1 leaves the bitmap empty.
  void PreviewPaint(int32_t width, int32_t height, TDIB& bitmap);

  int32_t Red(int row, int column) const { return red_[Cell(row, column)]; }
  int32_t Green(int row, int column) const { return green_[Cell(row, column)]; }
  int32_t Blue(int row, int column) const { return blue_[Cell(row, column)]; }

  const State& GetState() const { return state_; }
  void SetState(const State& s) { state_ = s; }
  // Spiral points the last step went through (kept or discarded).
  int64_t PointsComputed() const { return pointsComputed_; }

 private:
  static constexpr std::size_t Cell(int row, int column) {
    return static_cast<std::size_t>(row) * kPlaneColumns + static_cast<std::size_t>(column);
  }
  void Start();
  void DriftCoefficients();

  RandomGenerator& random_;
  State state_;
  int64_t pointsComputed_ = 0;
  std::array<int32_t, kPlaneRows * kPlaneColumns> red_{};
  std::array<int32_t, kPlaneRows * kPlaneColumns> green_{};
  std::array<int32_t, kPlaneRows * kPlaneColumns> blue_{};
};

}  // namespace tav
