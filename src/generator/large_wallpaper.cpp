#include "generator/large_wallpaper.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "generator/color_lut.hpp"
#include "generator/color_modes.hpp"
#include "generator/fast_kernels.hpp"
#include "generator/fast_renderer.hpp"
#include "generator/generator.hpp"
#include "generator/layout_walk.hpp"
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
  SizeWallpaper(width, height, wallpaper);
  wallpaper.DrawScaled(Rect{0, 0, width, height}, rendered);
  return points;
}

namespace {

// Points of one batch: a few megabytes for all batches in flight, and few
// enough hand-overs between the two threads that they cost nothing.
constexpr int32_t kBatch = 32768;
// Batches made and not yet drawn, at most: room for the walk to run ahead.
constexpr std::size_t kBatchesInFlight = 6;
// Room past the arrays' ends: the loops read whole vectors.
constexpr std::size_t kPad = 64;

// Planes of the field's own size, with the parking row and column. The
// three values of a cell sit side by side: the points write cells all over
// the field, and one cache line a point rather than three halves the time
// of a frame.
class FieldPlanes {
 public:
  FieldPlanes(int32_t fieldWidth, int32_t fieldHeight)
      : rows_(fieldHeight + 1),
        columns_(fieldWidth + 1),
        values_(3 * static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_)) {}

  // Where the red value of cell (row, column) is; green and blue follow it.
  int32_t Offset(int32_t row, int32_t column) const { return 3 * (row * columns_ + column); }
  int32_t* Values() { return values_.data(); }

  // The cells these planes share with planes of planeRows x planeColumns
  // (the generator's), copied into these (intoField) or back into those.
  void Exchange(int32_t* red, int32_t* green, int32_t* blue, int32_t planeRows,
                int32_t planeColumns, bool intoField) {
    const int32_t rows = std::min(rows_, planeRows), columns = std::min(columns_, planeColumns);
    for (int32_t y = 0; y < rows; ++y) {
      int32_t* cell = values_.data() + static_cast<std::size_t>(Offset(y, 0));
      const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(planeColumns);
      for (int32_t x = 0; x < columns; ++x, cell += 3) {
        const std::size_t at = row + static_cast<std::size_t>(x);
        if (intoField) {
          cell[0] = red[at], cell[1] = green[at], cell[2] = blue[at];
        } else {
          red[at] = cell[0], green[at] = cell[1], blue[at] = cell[2];
        }
      }
    }
  }

  // The field bitmap of these planes, copied as a frame's planes are.
  TDIB ToBitmap(fastgen::FrameWorkers& workers) const {
    TDIB bitmap;
    if (columns_ > 1 && rows_ > 1) {
      bitmap.SetBitCount(24);
      bitmap.SetSize(columns_ - 1, rows_ - 1);
    }
    const int32_t* v = values_.data();
    CopyPlanesToBitmap(v, v + 1, v + 2, rows_, columns_, bitmap, workers, 3);
    return bitmap;
  }

  // Gives their memory back.
  void Release() { values_ = ZeroBuffer<int32_t>(); }

 private:
  int32_t rows_, columns_;
  ZeroBuffer<int32_t> values_;
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

// What every batch shares: the points' own indices within their batch (the
// modulation adds the look-ahead to them) and, for tiles, where each
// point's entries start and which distinct figure weight each entry takes.
struct BatchShared {
  BatchShared(std::size_t batchPoints, bool coarse, const double* figureWeight)
      : index(batchPoints + kPad),
        entryBegin(coarse ? batchPoints + 1 : 0),
        entryWeight(coarse ? batchPoints * kFigureEntries : 0) {
    for (std::size_t i = 0; i < batchPoints; ++i) index[i] = static_cast<int32_t>(i);
    if (!coarse) return;
    uint8_t weightOf[kFigureEntries];
    weightCount = fastgen::DistinctWeights(figureWeight, weights, weightOf);
    for (std::size_t p = 0; p <= batchPoints; ++p) {
      entryBegin[p] = static_cast<int32_t>(p * kFigureEntries);
    }
    for (std::size_t e = 0; e < entryWeight.size(); ++e) {
      entryWeight[e] = weightOf[e % kFigureEntries];
    }
  }
  ZeroBuffer<int32_t> index, entryBegin;
  ZeroBuffer<uint8_t> entryWeight;
  double weights[fastgen::kMaxWeights] = {};
  int32_t weightCount = 0;
};

// The layout of a wallpaper's field.
struct ChunkedField {
  LayoutConstants k;
  double zoom;
  int32_t picture;
  int32_t width, height;
  int64_t points;  // LastPoint + 1
};

// This frame's turn, with a look-ahead that reaches no further than the
// layout: past every point it reads only zeros however far it goes.
fastgen::TurnParams ClampedTurn(const FrameInputs& in, int64_t points) {
  fastgen::TurnParams turn = fastgen::FrameTurn(in);
  if (turn.modulate) {
    for (int64_t* look : {&turn.lookX, &turn.lookY, &turn.lookZ}) {
      *look = std::clamp<int64_t>(*look, 0, points);
    }
  }
  return turn;
}

// One frame over a field's layout, made and drawn a batch of points at a
// time, in point order: a pixel ends up with its last point's colour, as in
// the set-up's layout with the renderer's owner pass, and the tile entries
// that leave the field land on pixel (0, 0) in the same order. The walk
// takes the inner rings too, which gives the set-up's points: on a ring
// that never leaves the field no edge test fires, and its angles are the
// same sums. The generator's jitter and figure tables come in in.layout.
class ChunkedFrame {
 public:
  ChunkedFrame(const FrameInputs& in, const ChunkedField& field, FieldPlanes& planes,
               bool settingsFormulas)
      : in_(in),
        field_(field),
        planes_(planes),
        turn_(ClampedTurn(in, field.points)),
        colour_(fastgen::FrameColour(in, !field.k.coarse, settingsFormulas)),
        look_(static_cast<std::size_t>(std::max({turn_.lookX, turn_.lookY, turn_.lookZ}))),
        // The look-ahead reaches into the next batch at most.
        batchPoints_(std::max<std::size_t>(kBatch, look_)),
        batchCount_((field.points + static_cast<int64_t>(batchPoints_) - 1) /
                    static_cast<int64_t>(batchPoints_)),
        shared_(batchPoints_, field.k.coarse, in.layout.figureWeight),
        walk_(field.k, FoldedPicture(field.picture), field.zoom, field.width / 2.0,
              field.height / 2.0),
        place_(field.width, field.height) {
    batches_.reserve(kBatchesInFlight);
    const std::size_t cellsPerPoint = field.k.coarse ? kFigureEntries : 1;
    for (std::size_t i = 0; i < kBatchesInFlight; ++i) {
      batches_.emplace_back(batchPoints_, look_, cellsPerPoint);
    }
    if (!field.k.coarse) pixelModes_.Prepare(in.color, ColorModePixelValue);
  }

  // Batches of the layout, not counting the empty one after the last.
  int64_t Batches() const { return batchCount_; }

  // Batch t: its points, their pixels and plane cells, and the look-ahead
  // it lends batch t - 1. Batch t - kBatchesInFlight, whose place it
  // takes, must be drawn.
  void Make(int64_t t) {
    Batch& b = At(t);
    const int64_t first = t * static_cast<int64_t>(batchPoints_);
    b.count = static_cast<int32_t>(
        std::clamp<int64_t>(field_.points - first, 0, static_cast<int64_t>(batchPoints_)));
    walk_.Next(b.count, b.ringRadius.data(), b.pointX.data(), b.pointY.data(), b.pointZ.data());
    PlacePixels(b, first);
    FindCells(b);
    // Past the last point the look-ahead reads zeros.
    const auto end = static_cast<std::size_t>(b.count);
    if (end < batchPoints_) {
      for (ZeroBuffer<double>* table : {&b.pointX, &b.pointY, &b.pointZ}) {
        std::fill(table->data() + end, table->data() + end + look_, 0.0);
      }
    }
    if (t > 0) LendLookAhead(b, At(t - 1));
  }

  // Batch t into the planes; batch t + 1 must be made.
  void Draw(int64_t t) {
    const Batch& b = At(t);
    fastgen::TurnParams bt = turn_;
    bt.tableX = b.pointX.data();
    bt.tableY = b.pointY.data();
    bt.tableZ = b.pointZ.data();
    bt.tableSize = static_cast<int64_t>(batchPoints_ + look_);
    bt.lookInside = true;
    const fastgen::FramePoints points{bt, colour_, b.pointX.data(), b.pointY.data(),
                                      b.pointZ.data(), b.ringRadius.data(), shared_.index.data()};
    int32_t* values = planes_.Values();
    const auto n = static_cast<std::size_t>(b.count);
    if (!field_.k.coarse) {
      fastgen::FineFrame f{points};
      f.pixel = b.cell.data();
      f.red = values, f.green = values + 1, f.blue = values + 2;
      f.lut = pixelModes_.Data();
      f.lutHalf = fastgen::PixelModeTable::kHalf;
      f.direct = ColorModePixelValue;
      f.mode = in_.color;
      kernels_.fine(f, 0, n);
    } else {
      fastgen::CoarseFrame f{points};
      f.entryBegin = shared_.entryBegin.data();
      f.entryPixel = b.cell.data();
      f.entryWeight = shared_.entryWeight.data();
      f.weights = shared_.weights;
      f.weightCount = shared_.weightCount;
      f.mode = in_.color;
      f.red = values, f.green = values + 1, f.blue = values + 2;
      kernels_.coarse(f, 0, n);
    }
  }

 private:
  Batch& At(int64_t t) { return batches_[static_cast<std::size_t>(t) % kBatchesInFlight]; }

  // The pixels of batch b, whose first point is point first of the layout.
  // A layout longer than the jitter table takes it again from its start.
  void PlacePixels(Batch& b, int64_t first) const {
    if (!field_.k.coarse) {
      place_.Place(b.pointX.data(), b.pointY.data(), nullptr, nullptr, b.count, b.pixelX.data(),
                   b.pixelY.data());
      return;
    }
    const auto jitterSize = static_cast<std::size_t>(in_.layout.capacity.JitterCapacity);
    for (int32_t j = 0; j < b.count;) {
      const std::size_t at = static_cast<std::size_t>(first + j) % jitterSize;
      const auto n = static_cast<int32_t>(
          std::min<std::size_t>(static_cast<std::size_t>(b.count - j), jitterSize - at));
      place_.Place(b.pointX.data() + j, b.pointY.data() + j, in_.layout.stepX + at,
                   in_.layout.stepY + at, n, b.pixelX.data() + j, b.pixelY.data() + j);
      j += n;
    }
  }

  // The plane cells batch b's points write: a point's own cell, or its tile
  // entries' cells.
  void FindCells(Batch& b) const {
    const LayoutView& l = in_.layout;
    for (int32_t i = 0; i < b.count; ++i) {
      const int32_t x0 = b.pixelX[i], y0 = b.pixelY[i];
      if (!field_.k.coarse) {
        b.cell[i] = planes_.Offset(y0, x0);
        continue;
      }
      int32_t* entry = &b.cell[static_cast<std::size_t>(i) * kFigureEntries];
      for (int j = 0; j < kFigureEntries; ++j) {
        const TilePixel p =
            TileEntryPixel(x0, y0, l.figureDX[j], l.figureDY[j], field_.width, field_.height);
        entry[j] = planes_.Offset(p.y, p.x);
      }
    }
  }

  // The batch before b reads b's first points as its look-ahead.
  void LendLookAhead(const Batch& b, Batch& before) const {
    if (look_ == 0) return;
    std::memcpy(before.pointX.data() + batchPoints_, b.pointX.data(), look_ * sizeof(double));
    std::memcpy(before.pointY.data() + batchPoints_, b.pointY.data(), look_ * sizeof(double));
    std::memcpy(before.pointZ.data() + batchPoints_, b.pointZ.data(), look_ * sizeof(double));
  }

  const FrameInputs in_;
  const ChunkedField field_;
  FieldPlanes& planes_;
  const fastgen::TurnParams turn_;
  const fastgen::ColourParams colour_;
  const std::size_t look_;
  const std::size_t batchPoints_;
  const int64_t batchCount_;
  const BatchShared shared_;
  std::vector<Batch> batches_;
  LayoutWalk walk_;
  const PixelPlacement place_;
  fastgen::PixelModeTable pixelModes_;
  const fastgen::KernelSet& kernels_ = fastgen::Kernels();
};

// Makes and draws every batch of the frame. Batch t is drawn once batch
// t + 1 is made (it lends t its look-ahead); the batch after the last one
// is empty and only gives the last its zeros. Batch t is made once the
// batch that had its place is drawn. With a helper the walk runs on a
// thread of its own, ahead of the drawing as far as the batches in flight
// allow: handing over one batch per job of the shared workers waited for
// the helper to wake every time.
void MakeAndDraw(ChunkedFrame& frame, bool walkOnItsOwnThread) {
  const int64_t batches = frame.Batches();
  if (!walkOnItsOwnThread) {
    frame.Make(0);
    for (int64_t t = 0; t < batches; ++t) {
      frame.Make(t + 1);
      frame.Draw(t);
    }
    return;
  }
  std::atomic<int64_t> made{0}, drawn{0};
  std::thread walker([&] {
    for (int64_t t = 0; t <= batches; ++t) {
      const int64_t free = t - static_cast<int64_t>(kBatchesInFlight) + 1;
      for (int64_t d = drawn.load(std::memory_order_acquire); d < free;
           d = drawn.load(std::memory_order_acquire)) {
        drawn.wait(d, std::memory_order_acquire);
      }
      frame.Make(t);
      made.store(t + 1, std::memory_order_release);
      made.notify_one();
    }
  });
  for (int64_t t = 0; t < batches; ++t) {
    for (int64_t m = made.load(std::memory_order_acquire); m < t + 2;
         m = made.load(std::memory_order_acquire)) {
      made.wait(m, std::memory_order_acquire);
    }
    frame.Draw(t);
    drawn.store(t + 1, std::memory_order_release);
    drawn.notify_one();
  }
  walker.join();
}

}  // namespace

int32_t PatternGenerator::RenderWallpaperInChunks(int32_t width, int32_t height,
                                                  TDIB& wallpaper) {
  SetTarget(width, height);
  const bool coarse = zoom_ > 5;
  const WallpaperSize size = FieldOfTarget();
  const int32_t fw = std::max<int32_t>(size.Width, 0), fh = std::max<int32_t>(size.Height, 0);
  const int64_t points = std::max<int64_t>(int64_t{LastPointOf(fw * fh, coarse)} + 1, 0);
  const ChunkedField field{coarse ? kCoarseLayout : kFineLayout, zoom_, settings_.Picture, fw, fh,
                           points};

  // The field's planes start as the generator's where the two overlap.
  FieldPlanes planes(fw, fh);
  planes.Exchange(redPlane_.data(), greenPlane_.data(), bluePlane_.data(), cap_.PlaneRows,
                  cap_.PlaneColumns, true);
  {
    ChunkedFrame frame(NextFrame(), field, planes, cap_.SettingsFormulas);
    MakeAndDraw(frame, workers_.Helpers() > 0);
  }
  TDIB fieldBitmap = planes.ToBitmap(workers_);
  // What this frame left is what the next render finds, as in the tables' path.
  planes.Exchange(redPlane_.data(), greenPlane_.data(), bluePlane_.data(), cap_.PlaneRows,
                  cap_.PlaneColumns, false);
  planes.Release();
  if (NeedsBoxBlur()) fieldBitmap.BoxBlur(24, 1);

  if (fw == targetWidth_ && fh == targetHeight_ && !fieldBitmap.Empty()) {
    // One to one: the field is the wallpaper.
    wallpaper = fieldBitmap;
  } else {
    SizeWallpaper(targetWidth_, targetHeight_, wallpaper);
    wallpaper.DrawScaled(Rect{0, 0, targetWidth_, targetHeight_}, fieldBitmap);
  }
  return static_cast<int32_t>(points);
}

}  // namespace tav
