#pragma once
// The walk over a point layout and where its points land, for the set-up's
// tables (generator.cpp) and for the wallpaper made a batch of points at a
// time (large_wallpaper.cpp).
//
// The layout: points on rings of growing radius r, each ring walked from
// angle 0 in steps that shrink as 1 / r, with the ring phase b giving the
// third coordinate. Where a ring leaves the field, the walk jumps over the
// arc outside it.
#include <cmath>
#include <cstdint>
#include <numbers>

#include "generator/round.hpp"

namespace tav {

// The constants in which the coarse and the fine layout differ.
struct LayoutConstants {
  bool coarse;
  double ringSpacing;     // g: radius added per ring
  double phaseDivisor;    // D: ring-phase divisor
  double stepNumerator;   // s = stepNumerator / (stepDivisor * r)
  double skipNumerator;   // e = skipNumerator / (stepDivisor * r)
  double stepDivisor;
};
inline constexpr LayoutConstants kCoarseLayout{true, 3, 10, 3, 2, 1};  // Zoom > 5
inline constexpr LayoutConstants kFineLayout{false, 0.8, 30, 1, 1, 1.7};

// Picture folded to 0..50: what turns the ring phase.
inline double FoldedPicture(int32_t picture) {
  return picture <= 50 ? static_cast<double>(picture) : picture - 50.0;
}

// The angle between two points of a ring of radius r.
inline double RingStep(const LayoutConstants& k, double r) {
  return k.stepNumerator / (k.stepDivisor * r);
}

// From the ring of radius r and phase b to the next one; p is the folded
// Picture.
inline void NextRing(const LayoutConstants& k, double p, double zoom, double& r, double& b) {
  constexpr double kTwoPi = 2 * std::numbers::pi;
  r = r + k.ringSpacing;
  b = b + p * zoom / (r * k.phaseDivisor);
  if (!(b < kTwoPi)) b = 0;
}

// The walk, one point after the other from angle 0 of a ring, and
// resumable: its state is where the next point lies.
class LayoutWalk {
 public:
  // On a field whose half width and height are w and h, from angle 0 of
  // the ring of radius r and phase b (the layout's first ring: 1 and 0).
  LayoutWalk(const LayoutConstants& k, double p, double zoom, double w, double h, double r = 1,
             double b = 0)
      : k_(k), p_(p), zoom_(zoom), w_(w), h_(h), r_(r), b_(b) {
    StartRing();
  }

  // The next n points: ring radius and coordinates.
  void Next(int32_t n, double* ringRadius, double* pointX, double* pointY, double* pointZ) {
    for (int32_t j = 0; j < n; ++j) {
      double s, c;
      SinCos(a_, s, c);
      const double x = c * r_;
      const double y = s * r_;
      ringRadius[j] = r_;
      pointX[j] = x;
      pointY[j] = y;
      pointZ[j] = cosB_ * r_;

      // Skip the arcs that lie outside the field. Each test is made on the
      // stored point; the back-off lets the next point land just inside.
      if (x > w_) a_ = std::acos(w_ / r_) + a_ - backOff_;
      if (x < -w_) a_ = std::acos(w_ / r_) + a_ - backOff_;
      if (y > h_) a_ = std::acos(h_ / r_) + a_ - backOff_;
      if (y < -h_) a_ = std::acos(h_ / r_) + a_ - backOff_;

      a_ = a_ + step_;
      if (!(a_ < kTwoPi)) {
        NextRing(k_, p_, zoom_, r_, b_);
        a_ = 0;
        StartRing();
      }
    }
  }

 private:
  static constexpr double kTwoPi = 2 * std::numbers::pi;

  // What stays the same along a ring. The ring phase's cosine is taken once
  // per ring. (The edge skips compare cos(acos(w / r)) x r with w, so a
  // last-bit difference in a cosine would move whole arcs: every angle's
  // cosine and sine is the C library's.)
  void StartRing() {
    cosB_ = Cos(b_);
    step_ = RingStep(k_, r_);
    backOff_ = k_.skipNumerator / (k_.stepDivisor * r_);
  }

  LayoutConstants k_;
  double p_, zoom_, w_, h_;
  double r_, b_, a_ = 0;
  double cosB_ = 1, step_ = 0, backOff_ = 0;
};

// Where the points of a field of width x height land: pixel
// (Round(w + x), Round(h + y)), w and h half the field's width and height,
// plus the point's jitter in the coarse layout. A pixel outside the usable
// field (its outermost rows and columns) goes to the parking cell
// (width, height), one column right of and one row below the field, which
// is never shown.
struct PixelPlacement {
  PixelPlacement(int32_t fieldWidth, int32_t fieldHeight)
      : width(fieldWidth), height(fieldHeight), w(fieldWidth / 2.0), h(fieldHeight / 2.0) {}

  // The pixels of count points from their coordinates x and y and their
  // jitter (jitterX and jitterY, -1, 0 or +1 each; null for none).
  void Place(const double* x, const double* y, const int32_t* jitterX, const int32_t* jitterY,
             int32_t count, int32_t* pixelX, int32_t* pixelY) const;

  int32_t width, height;
  double w, h;
};

// The pixel of a point's tile entry at (dx, dy) from the point's pixel
// (x, y) in a field of width x height: entries off the field's inner part
// all land on pixel (0, 0).
struct TilePixel {
  int32_t x, y;
};
inline TilePixel TileEntryPixel(int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t width,
                                int32_t height) {
  int32_t px = x + dx;
  int32_t py = y + dy;
  if (!(py > 0 && py < height && px > 0 && px < width)) px = py = 0;
  return {px, py};
}

}  // namespace tav
