#include "generator/large_wallpaper.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>
#include <vector>

#include "generator/color_lut.hpp"
#include "generator/color_modes.hpp"
#include "generator/fast_kernels.hpp"
#include "generator/fast_renderer.hpp"
#include "generator/generator.hpp"
#include "generator/round.hpp"
#include "generator/zero_buffer.hpp"

namespace tav {

WallpaperSize FitWithin(int32_t width, int32_t height, int32_t maxWidth, int32_t maxHeight) {
  if (width <= maxWidth && height <= maxHeight) return {width, height};
  const double scale = std::min(static_cast<double>(maxWidth) / width,
                                static_cast<double>(maxHeight) / height);
  return {std::clamp(static_cast<int32_t>(std::lround(width * scale)), 1, maxWidth),
          std::clamp(static_cast<int32_t>(std::lround(height * scale)), 1, maxHeight)};
}

int32_t RenderWallpaperOfSize(PatternGenerator& gen, int32_t width, int32_t height,
                              TDIB& wallpaper) {
  const WallpaperSize fit =
      FitWithin(width, height, kLargestWallpaper.Width, kLargestWallpaper.Height);
  if (fit.Width == width && fit.Height == height) {
    return gen.RenderWallpaper(width, height, wallpaper);
  }
  TDIB rendered;
  rendered.SetBitCount(24);
  const int32_t points = gen.RenderWallpaper(fit.Width, fit.Height, rendered);
  if (wallpaper.BitCount() != 24) {
    wallpaper = TDIB();
    wallpaper.SetBitCount(24);
  }
  wallpaper.SetSize(width, height);
  wallpaper.DrawScaled(Rect{0, 0, width, height}, rendered);
  return points;
}

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Points of one batch: a few megabytes for all batches in flight, and few
// enough hand-overs between the two threads that they cost nothing.
constexpr int32_t kBatch = 32768;
// Batches made and not yet drawn, at most: room for the walk to run ahead.
constexpr std::size_t kBatchesInFlight = 6;
// Room past the arrays' ends: the loops read whole vectors.
constexpr std::size_t kPad = 64;

// The set-up's walk over the layout (generator.cpp), from point 0 on and
// resumable, so that a layout is made a batch at a time and never kept
// whole. The set-up fills the inner rings apart from the walk; here the walk
// takes them too, which gives the same points: on a ring that never leaves
// the field no edge test fires, and its angles are the same sums.
class PointWalk {
 public:
  PointWalk(const LayoutConstants& k, double zoom, int32_t picture, int32_t fieldWidth,
            int32_t fieldHeight, const int32_t* stepX, const int32_t* stepY,
            std::size_t jitterSize)
      : k_(k),
        zoom_(zoom),
        p_(picture <= 50 ? static_cast<double>(picture) : picture - 50.0),
        w_(fieldWidth / 2.0),
        h_(fieldHeight / 2.0),
        fieldWidth_(fieldWidth),
        fieldHeight_(fieldHeight),
        stepX_(stepX),
        stepY_(stepY),
        jitterSize_(jitterSize) {
    StartRing();
  }

  // The next n points: ring radius, coordinates and pixel.
  void Next(int32_t n, double* ringRadius, double* pointX, double* pointY, double* pointZ,
            int32_t* pixelX, int32_t* pixelY) {
    for (int32_t j = 0; j < n; ++j, ++i_) {
      double s, c;
      SinCos(a_, s, c);
      const double x = c * r_;
      const double y = s * r_;
      ringRadius[j] = r_;
      pointX[j] = x;
      pointY[j] = y;
      pointZ[j] = cosB_ * r_;

      if (x > w_) a_ = std::acos(w_ / r_) + a_ - backOff_;
      if (x < -w_) a_ = std::acos(w_ / r_) + a_ - backOff_;
      if (y > h_) a_ = std::acos(h_ / r_) + a_ - backOff_;
      if (y < -h_) a_ = std::acos(h_ / r_) + a_ - backOff_;

      int32_t px = Round(w_ + x);
      int32_t py = Round(h_ + y);
      if (k_.coarse) {
        // A layout longer than the jitter table takes it again from its start.
        const std::size_t at = static_cast<std::size_t>(i_) % jitterSize_;
        px += stepX_[at];
        py += stepY_[at];
      }
      if (py < 1 || py > fieldHeight_ - 2 || px < 1 || px > fieldWidth_ - 2) {
        px = fieldWidth_;
        py = fieldHeight_;
      }
      pixelX[j] = px;
      pixelY[j] = py;

      a_ = a_ + step_;
      if (!(a_ < kTwoPi)) {
        r_ = r_ + k_.ringSpacing;
        b_ = b_ + p_ * zoom_ / (r_ * k_.phaseDivisor);
        a_ = 0;
        if (!(b_ < kTwoPi)) b_ = 0;
        StartRing();
      }
    }
  }

 private:
  // What stays the same along a ring (the set-up computes it per point,
  // with the same operands).
  void StartRing() {
    cosB_ = Cos(b_);
    step_ = k_.stepNumerator / (k_.stepDivisor * r_);
    backOff_ = k_.skipNumerator / (k_.stepDivisor * r_);
  }

  LayoutConstants k_;
  double zoom_, p_, w_, h_;
  int32_t fieldWidth_, fieldHeight_;
  const int32_t* stepX_;
  const int32_t* stepY_;
  std::size_t jitterSize_;
  int64_t i_ = 0;
  double r_ = 1, a_ = 0, b_ = 0;
  double cosB_ = 1, step_ = 0, backOff_ = 0;
};

// One batch of points in flight. Its coordinate arrays are also the tables
// the modulation reads, so past the batch's own points they hold the first
// points of the next batch (zeros past the layout's last point), as far as
// the look-ahead reaches.
struct Batch {
  Batch(std::size_t points, std::size_t look, std::size_t cellsPerPoint)
      : ringRadius(points + kPad),
        pointX(points + look + kPad),
        pointY(points + look + kPad),
        pointZ(points + look + kPad),
        pixelX(points),
        pixelY(points),
        cell(points * cellsPerPoint + kPad) {}
  ZeroBuffer<double> ringRadius, pointX, pointY, pointZ;
  ZeroBuffer<int32_t> pixelX, pixelY;
  // Fine: the plane cell of each point. Coarse: the cells of each point's
  // tile entries, kFigureEntries per point, in the figure's order.
  ZeroBuffer<int32_t> cell;
  int32_t count = 0;
};

}  // namespace

// The frame is drawn in point order, so a pixel ends up with its last
// point's colour, as in the set-up's layout with the renderer's owner pass;
// and the tile entries that leave the field land on pixel (0, 0) in the
// same order. The batches are made on one thread and drawn on another.
int32_t PatternGenerator::RenderWallpaperInChunks(int32_t width, int32_t height,
                                                  TDIB& wallpaper) {
  SetTarget(width, height);
  const bool coarse = zoom_ > 5;
  const LayoutConstants& k = coarse ? kCoarseLayout : kFineLayout;
  const WallpaperSize field = FieldOfTarget();
  const int32_t fw = std::max<int32_t>(field.Width, 0), fh = std::max<int32_t>(field.Height, 0);
  const int32_t area = fw * fh;
  const int32_t lastPoint = LastPointOf(area, coarse);
  const int64_t total = std::max<int64_t>(int64_t{lastPoint} + 1, 0);

  // Planes of the field's own size (with the parking row and column),
  // holding what the generator's planes hold where the two overlap. The
  // three values of a cell sit side by side: the points write cells all
  // over the field, and one cache line a point rather than three halves
  // the time of a frame.
  const int32_t rows = fh + 1, cols = fw + 1;
  const auto cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  ZeroBuffer<int32_t> planes(3 * cells);
  const int32_t sharedRows = std::min(rows, cap_.PlaneRows);
  const int32_t sharedCols = std::min(cols, cap_.PlaneColumns);
  auto overlap = [&](bool intoField) {
    for (int32_t y = 0; y < sharedRows; ++y) {
      int32_t* big = planes.data() + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(cols);
      int32_t* red = &redPlane_[Cell(y, 0)];
      int32_t* green = &greenPlane_[Cell(y, 0)];
      int32_t* blue = &bluePlane_[Cell(y, 0)];
      for (int32_t x = 0; x < sharedCols; ++x, big += 3) {
        if (intoField) {
          big[0] = red[x], big[1] = green[x], big[2] = blue[x];
        } else {
          red[x] = big[0], green[x] = big[1], blue[x] = big[2];
        }
      }
    }
  };
  overlap(true);

  const FrameInputs in = NextFrame();
  fastgen::TurnParams turn = fastgen::FrameTurn(in);
  const fastgen::ColourParams colour = fastgen::FrameColour(in, !coarse, cap_.SettingsFormulas);
  // A look-ahead past every point reads only zeros however far it goes.
  if (turn.modulate) {
    for (int64_t* look : {&turn.lookX, &turn.lookY, &turn.lookZ}) {
      *look = std::clamp<int64_t>(*look, 0, total);
    }
  }
  const auto look = static_cast<std::size_t>(std::max({turn.lookX, turn.lookY, turn.lookZ}));
  // The look-ahead reaches into the next batch at most.
  const std::size_t batchPoints = std::max<std::size_t>(kBatch, look);
  const std::size_t cellsPerPoint = coarse ? kFigureEntries : 1;
  std::vector<Batch> batches;
  batches.reserve(kBatchesInFlight);
  for (std::size_t i = 0; i < kBatchesInFlight; ++i) batches.emplace_back(batchPoints, look, cellsPerPoint);
  const int64_t batchCount = (total + static_cast<int64_t>(batchPoints) - 1) /
                             static_cast<int64_t>(batchPoints);

  // What every batch shares: the points' own indices within their batch (the
  // modulation adds the look-ahead to them) and, for tiles, where each
  // point's entries start and which distinct figure weight each entry takes.
  ZeroBuffer<int32_t> index(batchPoints + kPad);
  for (std::size_t i = 0; i < batchPoints; ++i) index[i] = static_cast<int32_t>(i);
  ZeroBuffer<int32_t> entryBegin(coarse ? batchPoints + 1 : 0);
  ZeroBuffer<uint8_t> entryWeight(coarse ? batchPoints * kFigureEntries : 0);
  double weights[fastgen::kMaxWeights] = {};
  int32_t weightCount = 0;
  if (coarse) {
    uint8_t weightOf[kFigureEntries];
    for (int j = 0; j < kFigureEntries; ++j) {
      int w = 0;
      while (w < weightCount && std::memcmp(&weights[w], &figureWeight_[j], sizeof(double)) != 0) ++w;
      if (w == weightCount) weights[weightCount++] = figureWeight_[j];
      weightOf[j] = static_cast<uint8_t>(w);
    }
    for (std::size_t p = 0; p <= batchPoints; ++p) {
      entryBegin[p] = static_cast<int32_t>(p * kFigureEntries);
    }
    for (std::size_t e = 0; e < entryWeight.size(); ++e) {
      entryWeight[e] = weightOf[e % kFigureEntries];
    }
  }

  PointWalk walk(k, zoom_, settings_.Picture, fw, fh, stepX_.data(), stepY_.data(), stepX_.size());
  auto make = [&](int64_t t) {
    Batch& b = batches[static_cast<std::size_t>(t) % kBatchesInFlight];
    const int64_t left = total - t * static_cast<int64_t>(batchPoints);
    const auto n = static_cast<int32_t>(std::clamp<int64_t>(left, 0, batchPoints));
    b.count = n;
    walk.Next(n, b.ringRadius.data(), b.pointX.data(), b.pointY.data(), b.pointZ.data(),
              b.pixelX.data(), b.pixelY.data());
    for (int32_t i = 0; i < n; ++i) {
      const int32_t x0 = b.pixelX[i], y0 = b.pixelY[i];
      if (!coarse) {
        b.cell[i] = 3 * (y0 * cols + x0);
        continue;
      }
      int32_t* entry = &b.cell[static_cast<std::size_t>(i) * kFigureEntries];
      for (int j = 0; j < kFigureEntries; ++j) {
        int32_t px = x0 + figureDX_[j];
        int32_t py = y0 + figureDY_[j];
        if (!(py > 0 && py < fh && px > 0 && px < fw)) px = py = 0;
        entry[j] = 3 * (py * cols + px);
      }
    }
    // Past the last point the look-ahead reads zeros.
    const auto end = static_cast<std::size_t>(n);
    if (end < batchPoints) {
      for (ZeroBuffer<double>* table : {&b.pointX, &b.pointY, &b.pointZ}) {
        std::fill(table->data() + end, table->data() + end + look, 0.0);
      }
    }
    // The previous batch's look-ahead reaches into this one.
    if (t > 0 && look > 0) {
      Batch& before = batches[static_cast<std::size_t>(t - 1) % kBatchesInFlight];
      std::memcpy(before.pointX.data() + batchPoints, b.pointX.data(), look * sizeof(double));
      std::memcpy(before.pointY.data() + batchPoints, b.pointY.data(), look * sizeof(double));
      std::memcpy(before.pointZ.data() + batchPoints, b.pointZ.data(), look * sizeof(double));
    }
  };

  fastgen::PixelModeTable pixelModes;
  if (!coarse) pixelModes.Prepare(in.color, ColorModePixelValue);
  const fastgen::KernelSet& kernels = fastgen::Kernels();
  auto draw = [&](int64_t t) {
    const Batch& b = batches[static_cast<std::size_t>(t) % kBatchesInFlight];
    fastgen::TurnParams bt = turn;
    bt.tableX = b.pointX.data();
    bt.tableY = b.pointY.data();
    bt.tableZ = b.pointZ.data();
    bt.tableSize = static_cast<int64_t>(batchPoints + look);
    bt.lookInside = true;
    const fastgen::FramePoints live{bt, colour, b.pointX.data(), b.pointY.data(), b.pointZ.data(),
                                   b.ringRadius.data(), index.data()};
    if (!coarse) {
      fastgen::FineFrame f{live};
      f.pixel = b.cell.data();
      f.red = planes.data(), f.green = planes.data() + 1, f.blue = planes.data() + 2;
      f.lut = pixelModes.Data();
      f.lutHalf = fastgen::PixelModeTable::kHalf;
      f.direct = ColorModePixelValue;
      f.mode = in.color;
      kernels.fine(f, 0, static_cast<std::size_t>(b.count));
    } else {
      fastgen::CoarseFrame f{live};
      f.entryBegin = entryBegin.data();
      f.entryPixel = b.cell.data();
      f.entryWeight = entryWeight.data();
      f.weights = weights;
      f.weightCount = weightCount;
      f.mode = in.color;
      f.red = planes.data(), f.green = planes.data() + 1, f.blue = planes.data() + 2;
      kernels.coarse(f, 0, static_cast<std::size_t>(b.count));
    }
  };

  // Batch t is drawn once batch t + 1 is made (it lends t its look-ahead);
  // the batch after the last one is empty and only gives the last its
  // zeros. Batch t is made once the batch that had its place is drawn.
  if (workers_.Helpers() == 0) {
    make(0);
    for (int64_t t = 0; t < batchCount; ++t) {
      make(t + 1);
      draw(t);
    }
  } else {
    // The walk on a thread of its own, running ahead of the drawing as far
    // as the batches in flight allow: handing over one batch per job of the
    // shared workers waited for the helper to wake every time.
    std::atomic<int64_t> made{0}, drawn{0};
    std::thread walker([&] {
      for (int64_t t = 0; t <= batchCount; ++t) {
        const int64_t free = t - static_cast<int64_t>(kBatchesInFlight) + 1;
        for (int64_t d = drawn.load(std::memory_order_acquire); d < free;
             d = drawn.load(std::memory_order_acquire)) {
          drawn.wait(d, std::memory_order_acquire);
        }
        make(t);
        made.store(t + 1, std::memory_order_release);
        made.notify_one();
      }
    });
    for (int64_t t = 0; t < batchCount; ++t) {
      for (int64_t m = made.load(std::memory_order_acquire); m < t + 2;
           m = made.load(std::memory_order_acquire)) {
        made.wait(m, std::memory_order_acquire);
      }
      draw(t);
      drawn.store(t + 1, std::memory_order_release);
      drawn.notify_one();
    }
    walker.join();
  }

  TDIB fieldBitmap;
  if (fw > 0 && fh > 0) {
    fieldBitmap.SetBitCount(24);
    fieldBitmap.SetSize(fw, fh);
  }
  // Low 8 bits, blue, green and red, as CopyPlanesToBitmap takes them.
  if (!fieldBitmap.Empty()) fieldBitmap.ScanLine(0);  // private before the threads write
  auto copy = [&](std::size_t half) {
    const int32_t top = half == 0 ? 0 : fh / 2, bottom = half == 0 ? fh / 2 : fh;
    for (int32_t y = top; y < bottom; ++y) {
      uint8_t* row = fieldBitmap.ScanLine(y);
      const int32_t* cell = planes.data() + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(cols);
      for (int32_t x = 0; x < fw; ++x, cell += 3, row += 3) {
        row[0] = static_cast<uint8_t>(cell[2]);
        row[1] = static_cast<uint8_t>(cell[1]);
        row[2] = static_cast<uint8_t>(cell[0]);
      }
    }
  };
  if (!fieldBitmap.Empty()) workers_.Run(2, copy);
  // What this frame left is what the next render finds, as in the tables' path.
  overlap(false);
  planes = ZeroBuffer<int32_t>();
  if (NeedsBoxBlur()) fieldBitmap.BoxBlur(24, 1);

  if (fw == targetWidth_ && fh == targetHeight_ && !fieldBitmap.Empty()) {
    // One to one: the field is the wallpaper.
    wallpaper = fieldBitmap;
  } else {
    if (wallpaper.BitCount() != 24) {
      wallpaper = TDIB();
      wallpaper.SetBitCount(24);
    }
    wallpaper.SetSize(targetWidth_, targetHeight_);
    wallpaper.DrawScaled(Rect{0, 0, targetWidth_, targetHeight_}, fieldBitmap);
  }
  return static_cast<int32_t>(total);
}

}  // namespace tav
