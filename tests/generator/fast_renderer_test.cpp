// The fast renderer against the reference renderer, and its parts against
// the straightforward formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <thread>
#include <utility>
#include <vector>

#include "generator/color_lut.hpp"
#include "generator/color_modes.hpp"
#include "generator/fast_kernels.hpp"
#include "generator/fast_renderer.hpp"
#include "generator/frame_workers.hpp"
#include "generator/generator.hpp"
#include "generator/round.hpp"
#include "renderer_bound.hpp"

namespace {

using tav::GeneratorShape;
using tav::Settings;
using tav::PatternGenerator;
using tav::RandomGenerator;
using tav::fastgen::KernelSet;

// The kernel sets this processor can run, in both arithmetics.
std::vector<const KernelSet*> RunnableKernels() {
  std::vector<const KernelSet*> sets{&tav::fastgen::Sse2Kernels(),
                                     &tav::fastgen::Sse2QuickKernels()};
  if (tav::fastgen::CpuHasAvx2Fma()) {
    sets.push_back(&tav::fastgen::Avx2Kernels());
    sets.push_back(&tav::fastgen::Avx2QuickKernels());
  }
  if (tav::fastgen::CpuHasAvx512()) {
    sets.push_back(&tav::fastgen::Avx512Kernels());
    sets.push_back(&tav::fastgen::Avx512QuickKernels());
  }
  return sets;
}

// How close a set's results come to the library's: a few ulp for the exact
// sets, for the quick ones the polynomial's error (below 4e-14 in a sine or
// cosine), as the formula built on them scales it.
double Tolerance(const KernelSet& k, double exact, double quick) {
  return k.exact ? exact : quick;
}

// ---- Vector sine ----

TEST(FastSine, ZeroFromTwoToTheSixtyThreeAndForNonFiniteValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double below = std::nextafter(0x1p63, 0.0);
  // An odd count, so that the tail past the last whole vector is covered.
  const std::vector<double> in{0.0,   -0.0,  0.5,    -1.25,  std::numbers::pi / 2, 1e6,
                               -3e9,  below, -below, 0x1p63, -0x1p63,             1e300,
                               -1e300, inf,  -inf,   nan,    1e-300};
  for (const KernelSet* k : RunnableKernels()) {
    SCOPED_TRACE(k->name);
    std::vector<double> out(in.size(), 99.0);
    k->sinArray(in.data(), out.data(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "x = " << in[i]);
      const double expected = tav::Sin(in[i]);
      if (!(std::fabs(in[i]) < 0x1p63)) {
        EXPECT_EQ(out[i], 0.0);
      } else {
        // The vector sine is within a few ulp of the C library's.
        EXPECT_NEAR(out[i], expected,
                    Tolerance(*k, 4e-16, 1e-13) * std::max(1.0, std::fabs(expected)));
      }
    }
  }
}

TEST(FastSine, AgreesWithTheLibrarySineOverTheRendererRange) {
  std::vector<double> in;
  for (int i = -20000; i <= 20000; ++i) in.push_back(i * 0.01731);
  for (const KernelSet* k : RunnableKernels()) {
    std::vector<double> out(in.size());
    k->sinArray(in.data(), out.data(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
      ASSERT_NEAR(out[i], std::sin(in[i]), Tolerance(*k, 1e-15, 1e-13))
          << k->name << " x = " << in[i];
    }
  }
}

TEST(KernelChoice, TavorensiaExactAsksForTheExactArithmetic) {
  const struct {
    const char* value;
    bool exact;
  } cases[] = {{nullptr, false}, {"", false},  {"0", false},
               {"1", true},      {"yes", true}, {"00", true}};
  for (const auto& c : cases) {
    EXPECT_EQ(tav::fastgen::ExactAsked(c.value), c.exact) << (c.value ? c.value : "(unset)");
  }
  EXPECT_TRUE(tav::fastgen::WidestKernels(true).exact);
  EXPECT_FALSE(tav::fastgen::WidestKernels(false).exact);
}

// ---- Colour modes ----

TEST(PixelModeTable, EqualsTheDirectFormOverAndBeyondItsRange) {
  std::vector<int32_t> values;
  for (int32_t v = -tav::fastgen::PixelModeTable::kHalf - 300;
       v <= tav::fastgen::PixelModeTable::kHalf + 300; ++v) {
    values.push_back(v);
  }
  for (int32_t v : {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                    -62500, 62500, 1000000}) {
    values.push_back(v);
  }
  tav::fastgen::PixelModeTable table;
  for (int32_t mode = -1; mode <= 11; ++mode) {
    table.Prepare(mode, tav::ColorModePixelValue);
    EXPECT_EQ(table.Data() != nullptr, mode >= 0 && mode <= 10) << mode;
    for (int32_t v : values) {
      ASSERT_EQ(table.Apply(v), tav::ColorModePixelValue(v, mode)) << "mode " << mode << " v " << v;
    }
  }
}

TEST(TileModes, VectorFormsMatchTheDirectForm) {
  std::vector<double> in;
  for (int i = -3000; i <= 3000; ++i) in.push_back(i * 0.001);
  for (double v : {0.9, 1.8, 0.5, 0.01, 0.0099, 2.0 / 3.0, 17.0, -17.0}) in.push_back(v);
  for (const KernelSet* k : RunnableKernels()) {
    for (int32_t mode = -1; mode <= 11; ++mode) {
      std::vector<double> out = in;
      k->tileMode(out.data(), out.size(), mode);
      for (std::size_t i = 0; i < in.size(); ++i) {
        const double expected = tav::ColorModeTileValue(in[i], mode);
        ASSERT_NEAR(out[i], expected,
                    Tolerance(*k, 1e-14, 5e-13) * std::max(1.0, std::fabs(expected)))
            << k->name << " mode " << mode << " v " << in[i];
      }
    }
  }
}

// ---- Frame worker ----

TEST(FrameWorkers, EveryChunkRunsExactlyOnceJobAfterJob) {
  for (int helpers : {0, 1}) {
    tav::fastgen::FrameWorkers workers(helpers);
    std::vector<std::atomic<int>> runs(257);
    for (int job = 0; job < 300; ++job) {
      const std::size_t chunks = 1 + static_cast<std::size_t>(job) % runs.size();
      auto chunk = [&](std::size_t i) { runs[i].fetch_add(1, std::memory_order_relaxed); };
      workers.Run(chunks, chunk);
      for (std::size_t i = 0; i < runs.size(); ++i) {
        ASSERT_EQ(runs[i].exchange(0), i < chunks ? 1 : 0)
            << "helpers " << helpers << " job " << job << " chunk " << i;
      }
    }
  }
}

// The caller works from the front and the helper from the back, so each
// one's chunks are a contiguous run: they never draw neighbouring rings at
// the same time except where they meet.
TEST(FrameWorkers, CallerTakesAPrefixAndTheHelperASuffix) {
  tav::fastgen::FrameWorkers workers(1);
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<int> byCaller(64);
  for (int job = 0; job < 50; ++job) {
    auto chunk = [&](std::size_t i) {
      byCaller[i] = std::this_thread::get_id() == caller ? 1 : 0;
      // Long enough that the helper usually wakes before the caller is done.
      volatile double sink = 0;
      for (int k = 0; k < 20000; ++k) sink = sink + k;
    };
    workers.Run(byCaller.size(), chunk);
    const auto firstHelper = std::find(byCaller.begin(), byCaller.end(), 0);
    EXPECT_TRUE(std::all_of(firstHelper, byCaller.end(), [](int c) { return c == 0; }))
        << "job " << job << ": the caller ran a chunk after one of the helper's";
  }
}

// ---- The fine pass read by index ----

// A layout of rings (ring radius and third coordinate the same along each),
// its live points (every index not divisible by 3), and the same frame
// computed from copied coordinates and by index through the runs.
TEST(FineByIndex, SameValuesAsFromCopiedCoordinates) {
  constexpr int32_t kEntries = 3000;
  std::vector<double> radius, tx, ty, tz;
  std::vector<int32_t> runEnd;
  std::vector<double> runRadius, runZ;
  for (int32_t ring = 0; static_cast<int32_t>(radius.size()) < kEntries; ++ring) {
    const double r = 1 + 0.8 * ring, z = std::cos(0.3 * ring) * r;
    // Runs shorter than a vector and longer than a block.
    const int32_t count = 5 + ring * 37 % 240;
    for (int32_t j = 0; j < count && static_cast<int32_t>(radius.size()) < kEntries; ++j) {
      radius.push_back(r);
      tx.push_back(std::cos(0.7 * j) * r);
      ty.push_back(std::sin(0.7 * j) * r);
      tz.push_back(z);
    }
    runEnd.push_back(static_cast<int32_t>(radius.size()));
    runRadius.push_back(r);
    runZ.push_back(z);
  }
  runEnd.push_back(std::numeric_limits<int32_t>::max());
  runRadius.push_back(0);
  runZ.push_back(0);
  // Live points and their copies, with room for a block past the last.
  std::vector<int32_t> index;
  for (int32_t k = 0; k < kEntries; ++k) {
    if (k % 3 != 0) index.push_back(k);
  }
  const std::size_t live = index.size(), room = live + 64;
  std::vector<double> x(room), y(room), z(room), r(room);
  for (std::size_t j = 0; j < live; ++j) {
    const auto k = static_cast<std::size_t>(index[j]);
    x[j] = tx[k], y[j] = ty[k], z[j] = tz[k], r[j] = radius[k];
  }
  index.resize(room);
  std::vector<int32_t> pixel(room);
  for (std::size_t j = 0; j < live; ++j) pixel[j] = static_cast<int32_t>(j);
  // No bounded value rounds to this.
  constexpr int32_t kUnwritten = std::numeric_limits<int32_t>::min();

  const struct {
    int64_t lookX, lookY, lookZ;
    bool chained;
  } cases[] = {
      {49, 200, 361, true},
      {361, 1, 77, false},
      {2500, 10, 4000, true},  // past the end: clamped to the last entry
  };
  for (const auto& c : cases) {
    tav::fastgen::FineFrame f;
    tav::fastgen::TurnParams& t = f.turn;
    t.A1 = 0.8, t.A2 = -0.6, t.A3 = 0.1, t.B1 = 0.6, t.B2 = 0.8, t.B3 = -0.2;
    t.C1 = -0.1, t.C2 = 0.2, t.C3 = 0.97;
    t.modulate = true, t.blur = 100;
    t.lookX = c.lookX, t.lookY = c.lookY, t.lookZ = c.lookZ;
    t.mulX = 1.3, t.mulY = 0.9, t.mulZ = 1.7;
    t.tableX = tx.data(), t.tableY = ty.data(), t.tableZ = tz.data();
    t.tableSize = kEntries;
    t.lookInside = index[live - 1] + std::max({c.lookX, c.lookY, c.lookZ}) < kEntries;
    tav::fastgen::ColourParams& k = f.colour;
    k.chained = c.chained, k.bounded = true;
    k.coef1 = 0.9, k.coef2 = 1.1, k.coef3 = 1.7;
    k.piCoef1 = std::numbers::pi * 0.9, k.piCoef2 = std::numbers::pi * 1.1;
    k.piCoef3 = std::numbers::pi * 1.7;
    k.chainAdd1 = 0.9, k.chainAdd2 = 1.1, k.chainAdd3 = 1.7;
    k.indepAdd1 = 0.81, k.indepAdd2 = 1.21, k.indepAdd3 = 2.89;
    k.third1 = 0.3, k.third2 = 1.1 / 3, k.third3 = 1.7 / 3;
    f.index = index.data(), f.pixel = pixel.data();
    for (const KernelSet* kernels : RunnableKernels()) {
      SCOPED_TRACE(testing::Message() << kernels->name << " look " << c.lookX);
      std::vector<int32_t> planes[2][3];
      for (int byIndex = 0; byIndex < 2; ++byIndex) {
        for (auto& plane : planes[byIndex]) plane.assign(live, kUnwritten);
        t.byIndex = byIndex != 0;
        t.runEnd = runEnd.data(), t.runRadius = runRadius.data(), t.runZ = runZ.data();
        t.runCount = static_cast<int32_t>(runEnd.size());
        f.x = byIndex ? nullptr : x.data(), f.y = byIndex ? nullptr : y.data();
        f.z = byIndex ? nullptr : z.data(), f.r = byIndex ? nullptr : r.data();
        f.red = planes[byIndex][0].data();
        f.green = planes[byIndex][1].data();
        f.blue = planes[byIndex][2].data();
        // In pieces that start inside runs and inside vectors.
        for (std::size_t begin = 0; begin < live; begin += 101) {
          kernels->fine(f, begin, std::min(live, begin + 101));
        }
      }
      for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(planes[0][p], planes[1][p]) << "plane " << p;
        EXPECT_EQ(std::count(planes[1][p].begin(), planes[1][p].end(), kUnwritten), 0)
            << "plane " << p;
      }
    }
  }
}

// ---- Whole frames ----

struct Config {
  GeneratorShape shape;
  int32_t satiation, picture, blur, color, fast;
  uint32_t seed;
  int frames;
};

// Two generators with the same seed, one on each renderer.
struct Pair {
  Settings settingsRef, settingsFast;
  RandomGenerator randomRef, randomFast;
  std::unique_ptr<PatternGenerator> ref, fast;

  explicit Pair(const Config& c) : randomRef(c.seed), randomFast(c.seed) {
    for (Settings* s : {&settingsRef, &settingsFast}) {
      s->Fast = c.fast;
      s->Satiation = c.satiation;
      s->Picture = c.picture;
      s->Blur = c.blur;
      s->Color = c.color;
    }
    ref = std::make_unique<PatternGenerator>(c.shape, settingsRef, randomRef);
    fast = std::make_unique<PatternGenerator>(c.shape, settingsFast, randomFast);
    ref->UseReferenceRenderer(true);
    for (PatternGenerator* g : {ref.get(), fast.get()}) {
      if (c.shape == GeneratorShape::FullScreen) {
        g->SetupFullScreen();
      } else {
        g->SetupSettingsWindow(400, 300);
      }
    }
  }
};

// Counts the plane bytes that the bitmap shows, those that differ and those
// that differ by more than 1, over the field plus the parking cell.
struct Tally {
  int64_t bytes = 0, differing = 0, beyondOne = 0;
  void Add(const PatternGenerator& a, const PatternGenerator& b) {
    auto count = [&](int32_t u, int32_t v) {
      const int d = tavtest::ByteDistance(static_cast<uint8_t>(u), static_cast<uint8_t>(v));
      ++bytes;
      differing += d != 0;
      beyondOne += d > 1;
    };
    for (int32_t y = 0; y <= a.FieldHeight(); ++y) {
      for (int32_t x = 0; x <= a.FieldWidth(); ++x) {
        count(a.Red(y, x), b.Red(y, x));
        count(a.Green(y, x), b.Green(y, x));
        count(a.Blue(y, x), b.Blue(y, x));
      }
    }
  }
};

void ExpectSameFrames(const Config& c, const KernelSet* kernels = nullptr) {
  SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(c.shape) << " satiation "
                                  << c.satiation << " picture " << c.picture << " blur "
                                  << c.blur << " color " << c.color << " seed " << c.seed
                                  << (kernels ? kernels->name : ""));
  Pair p(c);
  std::unique_ptr<tav::fastgen::FastRenderer> own;
  if (kernels) own = std::make_unique<tav::fastgen::FastRenderer>(p.fast->Capacity());
  Tally t;
  for (int f = 0; f < c.frames; ++f) {
    p.ref->FrameTick();
    if (own) {
      own->Render(p.fast->NextFrame(), *kernels);
    } else {
      p.fast->FrameTick();
    }
    // The wave parameters advance identically (both draw the same randoms).
    ASSERT_EQ(p.ref->Wave().Coef1, p.fast->Wave().Coef1);
    ASSERT_EQ(p.ref->Wave().Phase3, p.fast->Wave().Phase3);
    t.Add(*p.ref, *p.fast);
  }
  EXPECT_TRUE(tavtest::WithinRendererBound(t.bytes, t.differing, t.beyondOne));
}

TEST(FastRenderer, SameFramesAsTheReferenceInTheFinePass) {
  const Config configs[] = {
      {GeneratorShape::FullScreen, 100, 75, 100, 3, 20, 1, 3},
      {GeneratorShape::FullScreen, 100, 25, 100, 3, 100, 2, 3},
      {GeneratorShape::FullScreen, 80, 25, 0, 5, 20, 3, 6},
      {GeneratorShape::FullScreen, 80, 51, 1, 10, 100, 4, 6},
      {GeneratorShape::FullScreen, 60, 50, 37, 2, 0, 5, 6},
      {GeneratorShape::FullScreen, 60, 100, 100, 7, 100, 6, 6},
      {GeneratorShape::FullScreen, 70, 90, 64, 4, 55, 16, 6},
      {GeneratorShape::SettingsWindow, 100, 75, 100, 9, 20, 7, 6},
      {GeneratorShape::SettingsWindow, 90, 25, 50, 8, 20, 8, 6},
      {GeneratorShape::SettingsWindow, 60, 0, 0, 6, 100, 9, 6},
      // Blur far outside its range: look-ups past the end of the tables.
      {GeneratorShape::FullScreen, 100, 75, 200000, 3, 20, 10, 2},
      {GeneratorShape::SettingsWindow, 100, 25, 200000, 5, 20, 18, 2},
  };
  for (const Config& c : configs) ExpectSameFrames(c);
}

TEST(FastRenderer, SameFramesAsTheReferenceInTheCoarsePass) {
  const Config configs[] = {
      {GeneratorShape::FullScreen, 59, 25, 100, 3, 20, 11, 10},
      {GeneratorShape::FullScreen, 59, 75, 100, 9, 100, 12, 10},
      {GeneratorShape::FullScreen, 30, 60, 0, 10, 20, 13, 10},
      {GeneratorShape::FullScreen, 0, 100, 1, 4, 0, 14, 10},
      {GeneratorShape::SettingsWindow, 40, 80, 70, 2, 20, 15, 10},
      {GeneratorShape::SettingsWindow, 10, 5, 100, 0, 50, 17, 10},
  };
  for (const Config& c : configs) ExpectSameFrames(c);
}

TEST(FastRenderer, EveryColourModeAndKernelSetMatches) {
  for (int32_t color = -1; color <= 11; ++color) {
    ExpectSameFrames({GeneratorShape::FullScreen, 70, 75, 100, color, 20, 100u + color, 2});
    ExpectSameFrames({GeneratorShape::FullScreen, 50, 75, 100, color, 20, 200u + color, 2});
  }
  for (const KernelSet* k : RunnableKernels()) {
    ExpectSameFrames({GeneratorShape::FullScreen, 80, 75, 100, 3, 20, 300, 3}, k);
    ExpectSameFrames({GeneratorShape::FullScreen, 55, 25, 100, 9, 20, 301, 3}, k);
  }
}

TEST(FastRenderer, WallpaperAndPreviewFollowTheReference) {
  // The settings window switches layouts under the renderer: a preview, a
  // wallpaper at another size, the preview again.
  Config c{GeneratorShape::SettingsWindow, 80, 75, 60, 4, 20, 21, 1};
  Pair p(c);
  tav::TDIB wallRef, wallFast;
  p.ref->PreviewTick();
  p.fast->PreviewTick();
  p.ref->RenderWallpaper(640, 480, wallRef);
  p.fast->RenderWallpaper(640, 480, wallFast);
  Tally t;
  t.Add(*p.ref, *p.fast);
  p.ref->RestorePreview(400, 300);
  p.fast->RestorePreview(400, 300);
  // Blur turned off and on under one fine layout: the live points change
  // their order for frames without the modulation, and back.
  const std::pair<int32_t, int32_t> steps[] = {{55, 60}, {95, 0}, {95, 30}, {95, 0}, {95, 0}};
  for (const auto& [satiation, blur] : steps) {
    p.settingsRef.Satiation = p.settingsFast.Satiation = satiation;
    p.settingsRef.Blur = p.settingsFast.Blur = blur;
    p.ref->PreviewTick();
    p.fast->PreviewTick();
    t.Add(*p.ref, *p.fast);
  }
  EXPECT_TRUE(tavtest::WithinRendererBound(t.bytes, t.differing, t.beyondOne));
}

TEST(FastRenderer, LivePointsAreTheLastWriterOfEachCell) {
  for (int32_t satiation : {100, 75, 59, 20}) {
    SCOPED_TRACE(satiation);
    Settings s;
    s.Satiation = satiation;
    s.Picture = 25;
    RandomGenerator random(satiation);
    PatternGenerator g(GeneratorShape::FullScreen, s, random);
    g.SetupFullScreen();
    tav::fastgen::FastRenderer fast(g.Capacity(), 0);
    const tav::LayoutView v = g.Layout();
    fast.Prepare(v);
    // Cells the layout writes, and the last point writing each.
    std::vector<int32_t> last(static_cast<std::size_t>(g.Capacity().PlaneRows) *
                                  static_cast<std::size_t>(g.Capacity().PlaneColumns),
                              -1);
    std::size_t cells = 0;
    for (int32_t k = 0; k < v.points; ++k) {
      for (int j = 0; j < (v.fine ? 1 : tav::kFigureEntries); ++j) {
        int32_t px = v.fine ? v.pixelX[k] : v.pixelX[k] + v.figureDX[j];
        int32_t py = v.fine ? v.pixelY[k] : v.pixelY[k] + v.figureDY[j];
        if (!v.fine && !(py > 0 && py < v.fieldHeight && px > 0 && px < v.fieldWidth)) {
          px = py = 0;
        }
        int32_t& l = last[g.Cell(py, px)];
        cells += l < 0;
        l = k;
      }
    }
    std::vector<bool> isLast(static_cast<std::size_t>(g.PointsPerFrame()), false);
    for (int32_t k : last) {
      if (k >= 0) isLast[static_cast<std::size_t>(k)] = true;
    }
    std::size_t lastWriters = 0;
    for (bool b : isLast) lastWriters += b;
    EXPECT_EQ(fast.LivePoints(), lastWriters);
    if (g.FineLayout()) {
      EXPECT_EQ(fast.LivePoints(), cells);
    } else {
      EXPECT_EQ(fast.LiveEntries(), cells);
    }
  }
}

}  // namespace
