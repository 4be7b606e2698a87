#include "generator/generator.hpp"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <numbers>

#include "generator/fast_renderer.hpp"
#include "generator/reference_renderer.hpp"
#include "generator/round.hpp"

namespace tav {

GeneratorCapacity CapacityOf(GeneratorShape shape) {
  if (shape == GeneratorShape::FullScreen) {
    return {640, 480, 481, 641, 700001, 100001, 110001, false};
  }
  return {1600, 1200, 1201, 1601, 4300001, 390001, 390001, true};
}

TurnMatrix MakeTurnMatrix(double phase1, double phase2, double phase3) {
  const double a = phase1 - std::numbers::pi / 2;
  const double b = phase2 + std::numbers::pi / 2;
  const double c = phase3;
  const double sa = Sin(a), ca = Cos(a), sb = Sin(b), cb = Cos(b), sc = Sin(c), cc = Cos(c);
  TurnMatrix m;
  m.A1 = ca * cc - sa * cb * sc;
  m.A2 = sa * cc + ca * cb * cc;
  m.A3 = sb * sc;
  m.B1 = -ca * sc - sa * cb * cc;
  m.B2 = -sa * sc + ca * cb * cc;
  m.B3 = sb * cc;
  m.C1 = sa * sb;
  m.C2 = -ca * sb;
  m.C3 = cb;
  return m;
}

PatternGenerator::PatternGenerator(GeneratorShape shape, Settings& settings, RandomGenerator& random)
    : stepX_(CapacityOf(shape).JitterCapacity),
      stepY_(CapacityOf(shape).JitterCapacity),
      coarse_(static_cast<std::size_t>(CapacityOf(shape).CoarseCapacity)),
      fine_(static_cast<std::size_t>(CapacityOf(shape).FineCapacity)),
      redPlane_(static_cast<std::size_t>(CapacityOf(shape).PlaneRows) *
               static_cast<std::size_t>(CapacityOf(shape).PlaneColumns)),
      greenPlane_(redPlane_.size()),
      bluePlane_(redPlane_.size()),
      shape_(shape),
      cap_(CapacityOf(shape)),
      settings_(settings),
      random_(random) {
  // An inner ring's radius is at most half the field's height, and rings
  // are at least 0.8 apart.
  innerRings_.reserve(static_cast<std::size_t>(cap_.MaxFieldHeight / 2 / 0.8) + 2);
  ringChunks_.reserve(innerRings_.capacity() + 1);
}

PatternGenerator::~PatternGenerator() = default;

// ---- What the modes call ----

void PatternGenerator::SetupFullScreen() { Setup(640, 480); }

void PatternGenerator::FrameTick() {
  Tavorensia();
  CopyPlanesToBitmap();
  BoxBlurIfNeeded();
}

void PatternGenerator::SetupSettingsWindow(int32_t targetWidth, int32_t targetHeight) {
  Setup(targetWidth, targetHeight);
}

void PatternGenerator::PreviewTick() {
  FollowSettings();
  ClearPlanes();
  FrameTick();
}

void PatternGenerator::RestorePreview(int32_t targetWidth, int32_t targetHeight) {
  SetTarget(targetWidth, targetHeight);
  RunSetup();
}

int32_t PatternGenerator::RenderWallpaper(int32_t width, int32_t height, TDIB& wallpaper) {
  SetTarget(width, height);
  const WallpaperSize field = FieldOfTarget();
  if (field.Width > cap_.MaxFieldWidth || field.Height > cap_.MaxFieldHeight) {
    return RenderWallpaperInChunks(width, height, wallpaper);
  }
  SizeWallpaper(targetWidth_, targetHeight_, wallpaper);
  RunSetup();
  FrameTick();
  wallpaper.DrawScaled(Rect{0, 0, targetWidth_, targetHeight_}, fieldBitmap_);
  return PointsPerFrame();
}

// ---- Set-up ----

// The full screen never reads LastZoom and LastPicture; keeping them costs
// nothing and leaves one set-up for both windows.
void PatternGenerator::Setup(int32_t targetWidth, int32_t targetHeight) {
  FillJitter();
  SetTarget(targetWidth, targetHeight);
  zoom_ = ZoomFor(settings_.Satiation);
  lastPicture_ = settings_.Picture;
  RunSetup();
  lastZoom_ = zoom_;
  Figure();
  DrawWaveParameters();
  PrepareRenderer();
}

void PatternGenerator::FollowSettings() {
  zoom_ = ZoomFor(settings_.Satiation);
  if (zoom_ != lastZoom_) {
    RunSetup();
    lastZoom_ = zoom_;
  }
  if (settings_.Picture != lastPicture_) {
    RunSetup();
    lastPicture_ = settings_.Picture;
  }
}

double PatternGenerator::ZoomFor(int32_t satiation) {
  const int32_t s = std::clamp<int32_t>(satiation, 0, 100);
  return 11 - static_cast<double>(s) / 10;
}

void PatternGenerator::SetTarget(int32_t width, int32_t height) {
  targetWidth_ = std::clamp<int32_t>(width, 0, kLargestWallpaper.Width);
  targetHeight_ = std::clamp<int32_t>(height, 0, kLargestWallpaper.Height);
}

void PatternGenerator::FillJitter() {
  for (std::size_t i = 0; i < stepX_.size(); ++i) {
    const int32_t a = random_.Random(2);
    const int32_t b = random_.Random(2);
    stepX_[i] = a - b;
    const int32_t c = random_.Random(2);
    const int32_t d = random_.Random(2);
    stepY_[i] = c - d;
  }
}

void PatternGenerator::Ra_x_y_0() { BuildLayout(kCoarseLayout); }

void PatternGenerator::Ra_x_y_1() { BuildLayout(kFineLayout); }

void PatternGenerator::RunSetup() {
  if (zoom_ > 5) {
    Ra_x_y_0();
  } else {
    Ra_x_y_1();
  }
}

WallpaperSize PatternGenerator::FieldOfTarget() const {
  const double q = zoom_ > 5 ? std::sqrt(zoom_ - 4) : std::sqrt(zoom_);
  return {Round(targetWidth_ / q), Round(targetHeight_ / q)};
}

// Where a layout is written, and the values every point of it needs.
struct PatternGenerator::LayoutTables {
  double* ringRadius;
  double* pointX;
  double* pointY;
  double* pointZ;
  int32_t* pixelX;
  int32_t* pixelY;
  PixelPlacement place;  // the field, and half its width and height
  double p;              // FoldedPicture
};

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Fields of at least this many pixels are copied to the bitmap on both cores.
constexpr int64_t kSplitCopyPixels = 100000;
// Points a layout thread works on at a time.
constexpr int32_t kLayoutBlock = 64;

}  // namespace

int32_t LastPointOf(int32_t area, bool coarse) { return coarse ? Round(area / 5.0) : Round(area * 2.2); }

// The layout of layout_walk.hpp. A ring whose radius is at most half the
// field's width and height never leaves the field (|cos a| r <= r), so
// nothing is skipped on it and its angles are the plain sums 0, s, 2s, ...:
// its point count, and so where every later ring starts, follow from those
// sums alone. The set-up first counts these inner rings, then fills them in
// chunks on both cores while the outer rings, whose skips depend on each
// stored point, are walked one point after the other from where the inner
// rings end.
void PatternGenerator::BuildLayout(const LayoutConstants& k) {
  // The clamp only matters for a Zoom that no Satiation in 0..100 gives; it
  // keeps the point count within the tables. (RunSetup picks the coarse
  // layout when Zoom > 5, as FieldOfTarget does.)
  const WallpaperSize field = FieldOfTarget();
  fieldWidth_ = std::clamp<int32_t>(field.Width, 0, cap_.MaxFieldWidth);
  fieldHeight_ = std::clamp<int32_t>(field.Height, 0, cap_.MaxFieldHeight);

  const int32_t area = fieldWidth_ * fieldHeight_;
  lastPoint_ = LastPointOf(area, k.coarse);

  const int32_t picture = settings_.Picture;
  PointTables& tables = k.coarse ? coarse_ : fine_;
  const LayoutTables t{tables.ringRadius.data(),
                       tables.pointX.data(),
                       tables.pointY.data(),
                       tables.pointZ.data(),
                       tables.pixelX.data(),
                       tables.pixelY.data(),
                       PixelPlacement(fieldWidth_, fieldHeight_),
                       FoldedPicture(picture)};

  // The inner rings' radii and phases: the same sums as the walk makes when
  // a ring ends. The loop ends with the first outer ring's.
  innerRings_.clear();
  double r = 1, b = 0;
  while (r <= t.place.w && r <= t.place.h) {
    innerRings_.push_back({0, 0, r, Cos(b)});
    NextRing(k, t.p, zoom_, r, b);
  }
  // Their point counts: a ring has a point at 0 and one at each sum of
  // steps below 2 pi. The sums of eight rings are made side by side (the
  // angles only grow, so a ring that is done stays done).
  constexpr std::size_t kLanes = 8;
  for (std::size_t n = 0; n < innerRings_.size(); n += kLanes) {
    const std::size_t lanes = std::min(kLanes, innerRings_.size() - n);
    double step[kLanes], a[kLanes];
    int32_t below[kLanes];
    for (std::size_t j = 0; j < kLanes; ++j) {
      // Lanes past the last ring repeat it.
      const double radius = innerRings_[n + std::min(j, lanes - 1)].radius;
      step[j] = RingStep(k, radius);
      a[j] = 0;
      below[j] = 0;
    }
    for (bool open = true; open;) {
      open = false;
      for (std::size_t j = 0; j < kLanes; ++j) {
        a[j] = a[j] + step[j];
        const bool in = a[j] < kTwoPi;
        below[j] += in;
        open |= in;
      }
    }
    for (std::size_t j = 0; j < lanes; ++j) innerRings_[n + j].count = 1 + below[j];
  }
  // Where each starts; the layout may end inside them.
  int32_t i = 0;
  for (std::size_t n = 0; n < innerRings_.size(); ++n) {
    InnerRing& ring = innerRings_[n];
    ring.first = i;
    if (ring.count > lastPoint_ + 1 - i) {
      ring.count = lastPoint_ + 1 - i;
      innerRings_.resize(n + 1);
    }
    i += ring.count;
  }
  if (!innerRings_.empty() && innerRings_.back().count == 0) innerRings_.pop_back();

  // Chunk 0 walks the outer rings; the others fill inner rings, about
  // 32,768 points each.
  ringChunks_.clear();
  int32_t points = 0;
  for (std::size_t n = 0; n < innerRings_.size(); ++n) {
    if (points == 0) ringChunks_.push_back(n);
    points += innerRings_[n].count;
    if (points >= 32768) points = 0;
  }
  ringChunks_.push_back(innerRings_.size());
  // Each chunk first makes its part of the tables resident: the largest
  // layout writes 170 MB, and taking its pages in one call per table costs
  // less than a fault per page.
  auto prefault = [&](int32_t first, int32_t count) {
    if (count <= 0) return;
    const auto f = static_cast<std::size_t>(first), n = static_cast<std::size_t>(count);
    for (auto* table : {&tables.ringRadius, &tables.pointX, &tables.pointY, &tables.pointZ}) {
      table->Prefault(f, n);
    }
    for (auto* table : {&tables.pixelX, &tables.pixelY}) {
      table->Prefault(f, n);
    }
  };
  // The last chunk makes the new field bitmap (up to 5.7 MB of zeros), so
  // that this too is done while the other thread fills rings. A new bitmap
  // rather than a resized one: a display surface may still share the old
  // pixel store.
  // A failure to get its memory is raised here, after the job.
  const std::size_t bitmapChunk = ringChunks_.size();
  std::exception_ptr bitmapFailure;
  auto chunk = [&](std::size_t c) {
    if (c == bitmapChunk) {
      try {
        TDIB bitmap;
        if (fieldWidth_ > 0 && fieldHeight_ > 0) {
          bitmap.SetBitCount(24);
          bitmap.SetSize(fieldWidth_, fieldHeight_);
        }
        fieldBitmap_ = std::move(bitmap);
      } catch (...) {
        bitmapFailure = std::current_exception();
      }
      return;
    }
    if (c == 0) {
      prefault(i, lastPoint_ + 1 - i);
      WalkOuterRings(k, t, i, r, b);
      return;
    }
    const InnerRing& front = innerRings_[ringChunks_[c - 1]];
    const InnerRing& back = innerRings_[ringChunks_[c] - 1];
    prefault(front.first, back.first + back.count - front.first);
    for (std::size_t n = ringChunks_[c - 1]; n < ringChunks_[c]; ++n) {
      FillInnerRing(k, t, innerRings_[n]);
    }
  };
  workers_.Run(ringChunks_.size() + 1, chunk);
  ++layoutSerial_;
  if (bitmapFailure) std::rethrow_exception(bitmapFailure);
}

void PatternGenerator::PlacePixels(const LayoutConstants& k, const LayoutTables& t, int32_t first,
                                   int32_t count) const {
  const int32_t* jitterX = k.coarse ? stepX_.data() + first : nullptr;
  const int32_t* jitterY = k.coarse ? stepY_.data() + first : nullptr;
  t.place.Place(t.pointX + first, t.pointY + first, jitterX, jitterY, count, t.pixelX + first,
                t.pixelY + first);
}

// A block of angles' sines and cosines first, then the block's points two
// at a time.
void PatternGenerator::FillInnerRing(const LayoutConstants& k, const LayoutTables& t,
                               const InnerRing& ring) const {
  const double r = ring.radius;
  const double step = RingStep(k, r);
  const __m128d rr = _mm_set1_pd(r), zz = _mm_set1_pd(ring.cosPhase * r);
  alignas(16) double sines[kLayoutBlock], cosines[kLayoutBlock];
  double a = 0;
  const int32_t end = ring.first + ring.count;
  for (int32_t first = ring.first; first < end; first += kLayoutBlock) {
    const int32_t n = std::min(kLayoutBlock, end - first);
    for (int32_t j = 0; j < n; ++j) {
      SinCos(a, sines[j], cosines[j]);
      a = a + step;
    }
    int32_t j = 0;
    for (; j + 2 <= n; j += 2) {
      const int32_t i = first + j;
      _mm_storeu_pd(t.ringRadius + i, rr);
      _mm_storeu_pd(t.pointX + i, _mm_mul_pd(_mm_load_pd(cosines + j), rr));
      _mm_storeu_pd(t.pointY + i, _mm_mul_pd(_mm_load_pd(sines + j), rr));
      _mm_storeu_pd(t.pointZ + i, zz);
    }
    if (j < n) {
      const int32_t i = first + j;
      t.ringRadius[i] = r;
      t.pointX[i] = cosines[j] * r;
      t.pointY[i] = sines[j] * r;
      t.pointZ[i] = ring.cosPhase * r;
    }
    PlacePixels(k, t, first, n);
  }
}

// A block of points at a time, then the block's pixels.
void PatternGenerator::WalkOuterRings(const LayoutConstants& k, const LayoutTables& t,
                                      int32_t first, double r, double b) const {
  LayoutWalk walk(k, t.p, zoom_, t.place.w, t.place.h, r, b);
  for (int32_t i = first; i <= lastPoint_; i += kLayoutBlock) {
    const int32_t n = std::min(kLayoutBlock, lastPoint_ + 1 - i);
    walk.Next(n, t.ringRadius + i, t.pointX + i, t.pointY + i, t.pointZ + i);
    PlacePixels(k, t, i, n);
  }
}

void PatternGenerator::Figure() {
  double m = 0.01, a = 0;
  for (int k = 0; k < kFigureEntries; ++k) {
    figureDX_[k] = Round(Cos(a) * m);
    figureDY_[k] = Round(Sin(a) * m);
    figureWeight_[k] = Sin(std::numbers::pi / (5 * m + 2));
    a = a + 1 / (kTwoPi * m);
    if (!(a < kTwoPi - 1 / (kTwoPi * m))) {
      m = m + 1;
      a = 0;
    }
  }
  ++layoutSerial_;
}

void PatternGenerator::DrawWaveParameters() {
  wave_.Coef1 = random_.Random(12) / 10.0 + 0.7;
  wave_.Coef2 = random_.Random(12) / 10.0 + 0.7;
  wave_.Coef3 = random_.Random(12) / 10.0 + 0.7;
  wave_.Drift1 = random_.Random(10) * 0.001 + 0.001;
  wave_.Drift2 = random_.Random(10) * 0.001 + 0.001;
  wave_.Drift3 = random_.Random(10) * 0.001 + 0.001;
  wave_.Phase1 = random_.Random(200) / 200.0;
  wave_.Phase2 = random_.Random(200) / 200.0;
  wave_.Phase3 = random_.Random(200) / 200.0;
}

// ---- Frame ----

void PatternGenerator::Tavorensia() {
  if (useReference_) {
    RenderReference(NextFrame());
    return;
  }
  if (!fast_) fast_ = std::make_unique<fastgen::FastRenderer>(cap_, workers_);
  fast_->Render(NextFrame());
}

void PatternGenerator::PrepareRenderer() {
  if (useReference_) return;
  if (!fast_) fast_ = std::make_unique<fastgen::FastRenderer>(cap_, workers_);
  fast_->Prepare(Layout(), settings_.Blur > 0);
}

LayoutView PatternGenerator::Layout() const {
  const bool fine = FineLayout();
  LayoutView v;
  v.capacity = cap_;
  v.fine = fine;
  v.fieldWidth = fieldWidth_;
  v.fieldHeight = fieldHeight_;
  v.lastPoint = lastPoint_;
  v.points = PointsPerFrame();
  v.tableSize = fine ? cap_.FineCapacity : cap_.CoarseCapacity;
  const PointTables& tables = fine ? fine_ : coarse_;
  v.ringRadius = tables.ringRadius.data();
  v.pointX = tables.pointX.data();
  v.pointY = tables.pointY.data();
  v.pointZ = tables.pointZ.data();
  v.pixelX = tables.pixelX.data();
  v.pixelY = tables.pixelY.data();
  v.stepX = stepX_.data();
  v.stepY = stepY_.data();
  v.figureDX = figureDX_;
  v.figureDY = figureDY_;
  v.figureWeight = figureWeight_;
  v.serial = layoutSerial_;
  return v;
}

FrameInputs PatternGenerator::NextFrame() {
  double* const drift[3] = {&wave_.Drift1, &wave_.Drift2, &wave_.Drift3};
  double* const coef[3] = {&wave_.Coef1, &wave_.Coef2, &wave_.Coef3};
  double* const phase[3] = {&wave_.Phase1, &wave_.Phase2, &wave_.Phase3};
  const double fast = settings_.Fast;

  for (double* d : drift) {
    if (*d == 0) {
      const int32_t first = random_.Random(10);
      const int32_t second = random_.Random(10);
      *d = 0.001 * first - 0.001 * second;
    }
  }
  for (int i = 0; i < 3; ++i) {
    *coef[i] = *coef[i] + fast * *drift[i] / 100;
    if (*coef[i] > 1.9) {
      *drift[i] = -0.001 - 0.001 * random_.Random(10);
    } else if (*coef[i] <= 0.7) {
      *drift[i] = 0.001 + 0.001 * random_.Random(10);
    }
  }
  const TurnMatrix m = MakeTurnMatrix(wave_.Phase1, wave_.Phase2, wave_.Phase3);
  for (int i = 0; i < 3; ++i) {
    *phase[i] = *phase[i] + fast * *drift[i] / 50;
    if (*phase[i] >= 6.28) *phase[i] = 0;
  }
  FrameInputs in;
  in.layout = Layout();
  in.turn = m;
  in.wave = wave_;
  in.picture = settings_.Picture;
  in.blur = settings_.Blur;
  in.color = settings_.Color;
  in.red = redPlane_.data();
  in.green = greenPlane_.data();
  in.blue = bluePlane_.data();
  return in;
}

int32_t PatternGenerator::PointsPerFrame() const {
  const int32_t area = fieldWidth_ * fieldHeight_;
  const int32_t last = LastPointOf(area, !FineLayout());
  const int32_t capacity = FineLayout() ? cap_.FineCapacity : cap_.CoarseCapacity;
  return std::clamp<int32_t>(last + 1, 0, capacity);
}

void PatternGenerator::ClearPlanes() {
  const int32_t rows = std::clamp<int32_t>(fieldHeight_, 0, cap_.PlaneRows);
  const int32_t cols = std::clamp<int32_t>(fieldWidth_, 0, cap_.PlaneColumns);
  for (int32_t y = 0; y < rows; ++y) {
    const std::size_t bytes = static_cast<std::size_t>(cols) * sizeof(int32_t);
    std::memset(&redPlane_[Cell(y, 0)], 0, bytes);
    std::memset(&greenPlane_[Cell(y, 0)], 0, bytes);
    std::memset(&bluePlane_[Cell(y, 0)], 0, bytes);
  }
}

namespace {

// The planes as CopyPlanesToBitmap takes them.
struct PlaneCells {
  const int32_t *red, *green, *blue;
  std::size_t rowStride, cellStride;
};

void CopyRows(const PlaneCells& planes, TDIB& bitmap, int32_t top, int32_t bottom, int32_t cols) {
  const std::size_t step = planes.cellStride;
  for (int32_t y = top; y < bottom; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    const int32_t* red = planes.red + static_cast<std::size_t>(y) * planes.rowStride;
    const int32_t* green = planes.green + static_cast<std::size_t>(y) * planes.rowStride;
    const int32_t* blue = planes.blue + static_cast<std::size_t>(y) * planes.rowStride;
    int32_t x = 0;
    // Planes of their own, four pixels a step: each as blue | green << 8 |
    // red << 16 in a 32-bit lane, two lanes joined into six bytes in each
    // 64-bit half, and the halves stored eight bytes wide, six apart. The
    // two bytes each store writes beyond its pixels are the next step's, so
    // the loop stops while they are still inside the row.
    const __m128i keepLow = _mm_set_epi32(0, -1, 0, -1);
    const __m128i keepHigh = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                           static_cast<int>(0xFF000000u));
    for (; step == 1 && x + 5 <= cols; x += 4) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
      const __m128i gr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
      const __m128i rd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
      const __m128i pixels =
          _mm_or_si128(_mm_or_si128(_mm_srli_epi32(_mm_slli_epi32(b, 24), 24),
                                    _mm_srli_epi32(_mm_slli_epi32(gr, 24), 16)),
                       _mm_srli_epi32(_mm_slli_epi32(rd, 24), 8));
      const __m128i pairs = _mm_or_si128(_mm_and_si128(pixels, keepLow),
                                         _mm_and_si128(_mm_srli_epi64(pixels, 8), keepHigh));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(row + 3 * x), pairs);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(row + 3 * x + 6),
                       _mm_unpackhi_epi64(pairs, pairs));
    }
    for (; x < cols; ++x) {
      // Low 8 bits, no clamping: 256 shows as 0, -1 as 255.
      const std::size_t at = static_cast<std::size_t>(x) * step;
      row[3 * x] = static_cast<uint8_t>(blue[at]);
      row[3 * x + 1] = static_cast<uint8_t>(green[at]);
      row[3 * x + 2] = static_cast<uint8_t>(red[at]);
    }
  }
}

}  // namespace

void CopyPlanesToBitmap(const int32_t* red, const int32_t* green, const int32_t* blue,
                        int32_t planeRows, int32_t planeColumns, TDIB& bitmap,
                        fastgen::FrameWorkers& workers, int32_t cellStride) {
  if (bitmap.BitCount() != 24) return;
  const int32_t rows = std::min<int32_t>(bitmap.Height(), planeRows);
  const int32_t cols = std::min<int32_t>(bitmap.Width(), planeColumns);
  const auto step = static_cast<std::size_t>(cellStride);
  const PlaneCells planes{red, green, blue, static_cast<std::size_t>(planeColumns) * step, step};
  if (static_cast<int64_t>(rows) * cols < kSplitCopyPixels) {
    CopyRows(planes, bitmap, 0, rows, cols);
    return;
  }
  // The bitmap is made private once here, so that both threads below only
  // read the store's owner count.
  bitmap.ScanLine(0);
  const int32_t half = rows / 2;
  auto part = [&](std::size_t c) {
    if (c == 0) {
      CopyRows(planes, bitmap, 0, half, cols);
    } else {
      CopyRows(planes, bitmap, half, rows, cols);
    }
  };
  workers.Run(2, part);
}

void SizeWallpaper(int32_t width, int32_t height, TDIB& wallpaper) {
  if (wallpaper.BitCount() != 24) {
    wallpaper = TDIB();
    wallpaper.SetBitCount(24);
  }
  wallpaper.SetSize(width, height);
}

void PatternGenerator::CopyPlanesToBitmap() {
  tav::CopyPlanesToBitmap(redPlane_.data(), greenPlane_.data(), bluePlane_.data(), cap_.PlaneRows,
                          cap_.PlaneColumns, fieldBitmap_, workers_);
}
void PatternGenerator::BoxBlurIfNeeded() {
  if (NeedsBoxBlur()) fieldBitmap_.BoxBlur(24, 1);
}

}  // namespace tav
