#include "generator/fast_renderer.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <utility>

#include "generator/color_modes.hpp"
#include "generator/generator.hpp"
#include "generator/layout_walk.hpp"
#include "generator/round.hpp"

namespace tav::fastgen {

namespace {

// Points per chunk handed to a thread: big enough that claiming a chunk
// costs nothing, small enough that a late helper still gets its share.
constexpr std::size_t kFineChunk = 4096;
constexpr std::size_t kCoarseChunk = 512;

std::size_t Cells(const GeneratorCapacity& c) {
  return static_cast<std::size_t>(c.PlaneRows) * static_cast<std::size_t>(c.PlaneColumns);
}
// Room left past the live points: the loops read whole blocks.
constexpr std::size_t kPad = 64;

std::size_t LiveCapacity(const GeneratorCapacity& c) {
  const std::size_t fine = std::min<std::size_t>(static_cast<std::size_t>(c.FineCapacity), Cells(c));
  return std::max<std::size_t>(fine, static_cast<std::size_t>(c.CoarseCapacity)) + kPad;
}
std::size_t EntryCapacity(const GeneratorCapacity& c) {
  return std::min<std::size_t>(Cells(c), static_cast<std::size_t>(c.CoarseCapacity) * kFigureEntries);
}

// The modulation's look-ahead Round(coef^2 x Blur), as the reference takes it.
int64_t LookAhead(double coef, double blur) { return Round(coef * coef * blur); }

// True when no value the fine pass rounds can come near the 32-bit limits.
bool Bounded(bool chained, double c1, double c2, double c3) {
  constexpr double kLimit = 0x1p30;
  if (!chained) return 511 / std::fabs(c3) + 1 < kLimit;
  const double red = 256 + std::fabs(c1) / 3;
  const double green = (256 + std::fabs(c2) / 3 + red) / std::fabs(c1) + 1;
  const double blue = (256 + std::fabs(c3) / 3 + green) / std::fabs(c2) + 1;
  const double sum = (red + blue) / std::fabs(c3) + 1;
  return green < kLimit && blue < kLimit && sum < kLimit;
}

}  // namespace

int32_t DistinctWeights(const double* figureWeight, double* weights, uint8_t* weightOf) {
  int32_t count = 0;
  for (int j = 0; j < kFigureEntries; ++j) {
    int w = 0;
    while (w < count && std::memcmp(&weights[w], &figureWeight[j], sizeof(double)) != 0) ++w;
    if (w == count) weights[count++] = figureWeight[j];
    weightOf[j] = static_cast<uint8_t>(w);
  }
  return count;
}

FastRenderer::FastRenderer(const GeneratorCapacity& capacity, int helpers)
    : FastRenderer(capacity, std::make_unique<FrameWorkers>(helpers), nullptr) {}

FastRenderer::FastRenderer(const GeneratorCapacity& capacity, FrameWorkers& workers)
    : FastRenderer(capacity, nullptr, &workers) {}

FastRenderer::FastRenderer(const GeneratorCapacity& capacity, std::unique_ptr<FrameWorkers> own,
                           FrameWorkers* shared)
    : cap_(capacity),
      ownWorkers_(std::move(own)),
      workers_(shared ? *shared : *ownWorkers_),
      x_(LiveCapacity(capacity)),
      y_(LiveCapacity(capacity)),
      z_(LiveCapacity(capacity)),
      r_(LiveCapacity(capacity)),
      index_(LiveCapacity(capacity)),
      pixel_(LiveCapacity(capacity)),
      entryBegin_(static_cast<std::size_t>(capacity.CoarseCapacity) + 1),
      entryPixel_(EntryCapacity(capacity)),
      entryWeight_(EntryCapacity(capacity)),
      claimed_(Cells(capacity)) {}

void FastRenderer::Prepare(const LayoutView& layout, bool modulated) {
  if (layout.fine) {
    BuildFine(layout, !modulated);
  } else {
    BuildCoarse(layout);
  }
  builtSerial_ = layout.serial;
  builtModulated_ = modulated;
}

void FastRenderer::BuildFine(const LayoutView& l, bool cellOrder) {
  const GeneratorCapacity& cap = cap_;
  const std::size_t cells = Cells(cap);
  const int32_t count = l.points;
  const std::size_t top = LiveCapacity(cap) - kPad;
  const std::size_t most = std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), top);
  // Fresh buffers are made resident one call per buffer, not a fault per
  // page (a wallpaper's live set is some 75 MB).
  claimed_.Prefault(0, cells);
  index_.Prefault(top - most, most);
  pixel_.Prefault(top - most, most);
  std::memset(claimed_.data(), 0, cells);
  // From the last point back: a point is live when no later one took its
  // cell. The live arrays fill from their top down, so they end up in
  // increasing point order without a second pass.
  std::size_t at = top;
  for (int32_t k = count - 1; k >= 0; --k) {
    const std::size_t i = static_cast<std::size_t>(k);
    const std::size_t cell = l.Cell(l.pixelY[i], l.pixelX[i]);
    if (cell < cells) {
      if (claimed_[cell]) continue;
      claimed_[cell] = 1;
    }
    --at;
    index_[at] = k;
    pixel_[at] = static_cast<int32_t>(cell);
  }
  base_ = at;
  live_ = top - at;
  entries_ = 0;
  if (!cellOrder) {
    // Frames read the coordinates by index; the runs grow as they need.
    runEnd_.clear(), runRadius_.clear(), runZ_.clear();
    runsCover_ = 0;
    return;
  }
  SortByCell(cells);

  // The live points' coordinates, on both cores.
  const double* px = l.pointX;
  const double* py = l.pointY;
  const double* pz = l.pointZ;
  const double* pr = l.ringRadius;
  auto chunk = [&](std::size_t c) {
    const std::size_t first = base_ + c * kFineChunk;
    const std::size_t last = std::min(base_ + live_, first + kFineChunk);
    for (ZeroBuffer<double>* b : {&x_, &y_, &z_, &r_}) b->Prefault(first, last - first);
    for (std::size_t j = first; j < last; ++j) {
      const std::size_t k = static_cast<std::size_t>(index_[j]);
      x_[j] = px[k];
      y_[j] = py[k];
      z_[j] = pz[k];
      r_[j] = pr[k];
    }
  };
  workers_.Run((live_ + kFineChunk - 1) / kFineChunk, chunk);
}

void FastRenderer::ExtendRuns(const LayoutView& l, std::size_t entries) {
  if (!runEnd_.empty()) runEnd_.pop_back(), runRadius_.pop_back(), runZ_.pop_back();
  // Equal means the same bits, so a run's values are the table's own.
  auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (std::size_t i = runsCover_; i < entries;) {
    const double r = l.ringRadius[i], z = l.pointZ[i];
    std::size_t j = i + 1;
    while (j < entries && same(l.ringRadius[j], r) && same(l.pointZ[j], z)) ++j;
    runEnd_.push_back(static_cast<int32_t>(j));
    runRadius_.push_back(r);
    runZ_.push_back(z);
    i = j;
  }
  runsCover_ = std::max(runsCover_, entries);
  // Past the entries covered, which no look-up of the frame reaches.
  runEnd_.push_back(std::numeric_limits<int32_t>::max());
  runRadius_.push_back(0);
  runZ_.push_back(0);
}

// Puts the live points in the order of their cells, row by row: a frame
// then writes the planes front to back instead of ring by ring across them.
// Points outside the planes keep their order after the others.
void FastRenderer::SortByCell(std::size_t cells) {
  const std::size_t first = base_, last = base_ + live_;
  if (live_ == 0) return;
  // Mapped for this sort alone and given back whole afterwards; of the
  // owners only the live cells' pages are ever touched.
  ZeroBuffer<int32_t> owner(cells);
  ZeroBuffer<int32_t> sorted(2 * live_);
  int32_t* index = sorted.data();
  int32_t* pixel = index + live_;
  for (std::size_t j = first; j < last; ++j) {
    const auto cell = static_cast<std::size_t>(pixel_[j]);
    if (cell < cells) owner[cell] = static_cast<int32_t>(j);
  }
  std::size_t at = 0;
  for (std::size_t cell = 0; cell < cells; ++cell) {
    if (!claimed_[cell]) continue;
    const auto j = static_cast<std::size_t>(owner[cell]);
    index[at] = index_[j];
    pixel[at] = pixel_[j];
    ++at;
  }
  for (std::size_t j = first; j < last; ++j) {
    if (static_cast<std::size_t>(pixel_[j]) < cells) continue;
    index[at] = index_[j];
    pixel[at] = pixel_[j];
    ++at;
  }
  std::copy(index, index + live_, index_.data() + first);
  std::copy(pixel, pixel + live_, pixel_.data() + first);
}

void FastRenderer::CopyLive(const double* x, const double* y, const double* z, const double* r) {
  for (std::size_t i = 0; i < live_; ++i) {
    const std::size_t k = static_cast<std::size_t>(index_[i]);
    x_[i] = x[k];
    y_[i] = y[k];
    z_[i] = z[k];
    r_[i] = r[k];
  }
}

void FastRenderer::BuildCoarse(const LayoutView& l) {
  const GeneratorCapacity& cap = cap_;
  const std::size_t cells = Cells(cap);
  const int32_t count = l.points;
  const int32_t fw = l.fieldWidth, fh = l.fieldHeight;

  uint8_t weightOf[kFigureEntries];
  weightCount_ = DistinctWeights(l.figureWeight, weights_, weightOf);

  std::memset(claimed_.data(), 0, cells);
  // Walk the entries backwards (last point first, last entry first); an
  // entry is live when no later entry took its cell. Live entries are
  // gathered back to front at the end of the entry arrays.
  const std::size_t capacity = entryPixel_.size();
  std::size_t e = capacity;
  std::size_t points = 0;
  for (int32_t k = count - 1; k >= 0; --k) {
    const std::size_t i = static_cast<std::size_t>(k);
    const int32_t x0 = l.pixelX[i], y0 = l.pixelY[i];
    const std::size_t before = e;
    for (int j = kFigureEntries - 1; j >= 0; --j) {
      const TilePixel p = TileEntryPixel(x0, y0, l.figureDX[j], l.figureDY[j], fw, fh);
      const std::size_t cell = l.Cell(p.y, p.x);
      if (claimed_[cell]) continue;
      claimed_[cell] = 1;
      --e;
      entryPixel_[e] = static_cast<int32_t>(cell);
      entryWeight_[e] = weightOf[j];
    }
    if (e != before) {
      // Live point, recorded back to front too; entryBegin_ holds, for now,
      // the number of entries the point owns.
      index_[points] = k;
      entryBegin_[points] = static_cast<int32_t>(before - e);
      ++points;
    }
  }
  entries_ = capacity - e;
  // Move the entries to the front, in increasing point order; a point's own
  // entries keep their relative order, which no longer matters (distinct cells).
  std::memmove(entryPixel_.data(), entryPixel_.data() + e, entries_ * sizeof(int32_t));
  std::memmove(entryWeight_.data(), entryWeight_.data() + e, entries_);
  base_ = 0;
  std::reverse(index_.data(), index_.data() + points);
  std::reverse(entryBegin_.data(), entryBegin_.data() + points);
  int32_t start = 0;
  for (std::size_t p = 0; p < points; ++p) {
    const int32_t own = entryBegin_[p];
    entryBegin_[p] = start;
    start += own;
  }
  entryBegin_[points] = start;
  live_ = points;
  CopyLive(l.pointX, l.pointY, l.pointZ, l.ringRadius);
}

void FastRenderer::Render(const FrameInputs& in) { Render(in, Kernels()); }

TurnParams FrameTurn(const FrameInputs& in) {
  const TurnMatrix& m = in.turn;
  const int32_t blur = in.blur;
  const double c1 = in.wave.Coef1, c2 = in.wave.Coef2, c3 = in.wave.Coef3;
  const double b = blur;
  TurnParams t;
  t.A1 = m.A1, t.A2 = m.A2, t.A3 = m.A3;
  t.B1 = m.B1, t.B2 = m.B2, t.B3 = m.B3;
  t.C1 = m.C1, t.C2 = m.C2, t.C3 = m.C3;
  t.modulate = blur > 0;
  t.blur = b;
  if (t.modulate) {
    t.lookX = LookAhead(c1, b);
    t.lookY = LookAhead(c2, b);
    t.lookZ = LookAhead(c3, b);
  }
  t.mulX = c3, t.mulY = c1, t.mulZ = c2;
  return t;
}

ColourParams FrameColour(const FrameInputs& in, bool fine, bool settingsFormulas) {
  const double c1 = in.wave.Coef1, c2 = in.wave.Coef2, c3 = in.wave.Coef3;
  const double b = in.blur;
  constexpr double kPi = std::numbers::pi;
  ColourParams c;
  c.chained = in.picture > 50;
  c.piCoef1 = kPi * c1, c.piCoef2 = kPi * c2, c.piCoef3 = kPi * c3;
  c.chainAdd1 = c1, c.chainAdd2 = c2, c.chainAdd3 = c3;
  c.third1 = c1 / 3, c.third2 = c2 / 3, c.third3 = c3 / 3;
  c.coef1 = c1, c.coef2 = c2, c.coef3 = c3;
  c.bounded = Bounded(c.chained, c1, c2, c3);
  if (fine) {
    // The settings window adds Blur to the chained denominators and uses
    // products of squared coefficients in the independent ones.
    c.chainExtra = settingsFormulas ? b : 0.0;
    c.indepAdd1 = settingsFormulas ? c1 * c1 * c3 * c3 : c1 * c1;
    c.indepAdd2 = settingsFormulas ? c1 * c1 * c2 * c2 : c2 * c2;
    c.indepAdd3 = settingsFormulas ? c2 * c2 * c3 * c3 : c3 * c3;
  } else {
    c.indepAdd1 = c1 * c1, c.indepAdd2 = c2 * c2, c.indepAdd3 = c3 * c3;
  }
  return c;
}

void FastRenderer::Render(const FrameInputs& in, const KernelSet& kernels) {
  const bool modulated = in.blur > 0;
  if (builtSerial_ != in.layout.serial || (in.layout.fine && builtModulated_ != modulated))
    Prepare(in.layout, modulated);
  const bool fine = in.layout.fine;
  const GeneratorCapacity& cap = cap_;

  TurnParams t = FrameTurn(in);
  t.tableX = in.layout.pointX;
  t.tableY = in.layout.pointY;
  t.tableZ = in.layout.pointZ;
  t.tableSize = in.layout.tableSize;
  // Look-ups start at a point's own index, which the layout keeps inside;
  // whether the last live point's look-ahead stays inside decides for all.
  const int64_t lastIndex = live_ > 0 ? index_[base_ + live_ - 1] : 0;
  const int64_t lookMax = std::max({t.lookX, t.lookY, t.lookZ});
  const int64_t lookMin = std::min({t.lookX, t.lookY, t.lookZ});
  t.lookInside = !t.modulate || (lookMin >= 0 && lastIndex + lookMax < t.tableSize);

  const ColourParams c = FrameColour(in, fine, cap.SettingsFormulas);

  // The fine pass with the modulation reads by index (see BuildFine), up to
  // the last live point's farthest look-up.
  t.byIndex = fine && t.modulate;
  if (t.byIndex) {
    const int64_t farthest = std::max<int64_t>(lastIndex, lastIndex + lookMax);
    const auto reach = static_cast<std::size_t>(std::clamp<int64_t>(farthest + 1, 0, t.tableSize));
    if (reach > runsCover_ || runEnd_.empty()) ExtendRuns(in.layout, reach);
    t.runEnd = runEnd_.data();
    t.runRadius = runRadius_.data();
    t.runZ = runZ_.data();
    t.runCount = static_cast<int32_t>(runEnd_.size());
  }
  const FramePoints live{t, c, x_.data() + base_, y_.data() + base_, z_.data() + base_,
                        r_.data() + base_, index_.data() + base_};
  if (fine) {
    pixelModes_.Prepare(in.color, ColorModePixelValue);

    FineFrame f{live};
    f.pixel = pixel_.data() + base_;
    f.red = in.red, f.green = in.green, f.blue = in.blue;
    f.lut = pixelModes_.Data();
    f.lutHalf = PixelModeTable::kHalf;
    f.direct = ColorModePixelValue;
    f.mode = in.color;
    const std::size_t n = live_;
    auto chunk = [&](std::size_t i) {
      const std::size_t begin = i * kFineChunk;
      kernels.fine(f, begin, std::min(n, begin + kFineChunk));
    };
    workers_.Run((n + kFineChunk - 1) / kFineChunk, chunk);
  } else {
    CoarseFrame f{live};
    f.entryBegin = entryBegin_.data();
    f.entryPixel = entryPixel_.data();
    f.entryWeight = entryWeight_.data();
    f.weights = weights_;
    f.weightCount = weightCount_;
    f.mode = in.color;
    f.red = in.red, f.green = in.green, f.blue = in.blue;
    const std::size_t n = live_;
    auto chunk = [&](std::size_t i) {
      const std::size_t begin = i * kCoarseChunk;
      kernels.coarse(f, begin, std::min(n, begin + kCoarseChunk));
    };
    workers_.Run((n + kCoarseChunk - 1) / kCoarseChunk, chunk);
  }
}

}  // namespace tav::fastgen
