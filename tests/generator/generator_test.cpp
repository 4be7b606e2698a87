#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "generator/fast_renderer.hpp"
#include "generator/frame_workers.hpp"
#include "generator/generator.hpp"
#include "generator/round.hpp"

namespace {

using tav::GeneratorShape;
using tav::Settings;
using tav::TDIB;
using tav::PatternGenerator;
using tav::RandomGenerator;

constexpr GeneratorShape kShapes[] = {GeneratorShape::FullScreen, GeneratorShape::SettingsWindow};

// A generator with its own settings record and random generator.
struct Rig {
  Settings settings;
  RandomGenerator random;
  std::unique_ptr<PatternGenerator> gen;

  explicit Rig(GeneratorShape shape, int32_t satiation = 80, int32_t picture = 25,
               uint32_t seed = 1)
      : random(seed) {
    settings.Fast = 20;
    settings.Satiation = satiation;
    settings.Picture = picture;
    settings.Blur = 0;
    settings.Color = 5;
    gen = std::make_unique<PatternGenerator>(shape, settings, random);
  }
  // The set-up each window runs at creation (400 x 300 for the settings window).
  PatternGenerator& SetUp() {
    if (gen->Shape() == GeneratorShape::FullScreen) {
      gen->SetupFullScreen();
    } else {
      gen->SetupSettingsWindow(400, 300);
    }
    return *gen;
  }
};

std::vector<uint8_t> Pixels(const TDIB& d) {
  std::vector<uint8_t> out;
  for (int y = 0; y < d.Height(); ++y) {
    const uint8_t* row = d.ScanLineRead(y);
    out.insert(out.end(), row, row + 3 * d.Width());
  }
  return out;
}

// ---- Set-up ----

TEST(GeneratorSetup, FieldSizeAndPointCountFollowSatiation) {
  const struct {
    GeneratorShape shape;
    int32_t satiation;
    bool fine;
    int32_t width, height, lastPoint;  // lastPoint -1: not given by the tables
  } cases[] = {
      {GeneratorShape::FullScreen, 0, false, 242, 181, 8760},
      {GeneratorShape::FullScreen, 30, false, 320, 240, 15360},
      {GeneratorShape::FullScreen, 50, false, 453, 339, 30713},
      {GeneratorShape::FullScreen, 59, false, 610, 458, 55876},
      {GeneratorShape::FullScreen, 60, true, 286, 215, 135278},
      {GeneratorShape::FullScreen, 80, true, 370, 277, 225478},
      {GeneratorShape::FullScreen, 90, true, 453, 339, 337847},
      {GeneratorShape::FullScreen, 100, true, 640, 480, 675840},
      {GeneratorShape::SettingsWindow, 0, false, 151, 113, -1},
      {GeneratorShape::SettingsWindow, 30, false, 200, 150, -1},
      {GeneratorShape::SettingsWindow, 50, false, 283, 212, -1},
      {GeneratorShape::SettingsWindow, 59, false, 381, 286, -1},
      {GeneratorShape::SettingsWindow, 60, true, 179, 134, -1},
      {GeneratorShape::SettingsWindow, 80, true, 231, 173, -1},
      {GeneratorShape::SettingsWindow, 90, true, 283, 212, -1},
      {GeneratorShape::SettingsWindow, 100, true, 400, 300, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(c.shape) << " satiation "
                                    << c.satiation);
    Rig rig(c.shape, c.satiation);
    PatternGenerator& g = rig.SetUp();
    EXPECT_EQ(g.FineLayout(), c.fine);
    EXPECT_EQ(g.FieldWidth(), c.width);
    EXPECT_EQ(g.FieldHeight(), c.height);
    EXPECT_EQ(g.FieldBitmap().Width(), c.width);
    EXPECT_EQ(g.FieldBitmap().Height(), c.height);
    EXPECT_EQ(g.FieldBitmap().BitCount(), 24);
    if (c.lastPoint >= 0) { EXPECT_EQ(g.LastPoint(), c.lastPoint); }
    EXPECT_EQ(g.PointsPerFrame(), g.LastPoint() + 1);
  }
}

TEST(GeneratorSetup, WallpaperFieldAndBitmapSizes) {
  const struct {
    int32_t satiation, width, height, fieldWidth, fieldHeight, lastPoint;
  } cases[] = {
      {50, 1024, 768, 724, 543, -1},        // coarse, scaled up
      {100, 640, 480, 640, 480, -1},        // fine, one to one
      {59, 1600, 1200, 1526, 1144, 349149}, // the largest coarse layout
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.satiation);
    Rig rig(GeneratorShape::SettingsWindow, c.satiation);
    PatternGenerator& g = rig.SetUp();
    TDIB wallpaper;
    g.RenderWallpaper(c.width, c.height, wallpaper);
    EXPECT_EQ(g.FieldWidth(), c.fieldWidth);
    EXPECT_EQ(g.FieldHeight(), c.fieldHeight);
    EXPECT_EQ(wallpaper.Width(), c.width);
    EXPECT_EQ(wallpaper.Height(), c.height);
    EXPECT_EQ(wallpaper.BitCount(), 24);
    if (c.lastPoint >= 0) { EXPECT_EQ(g.LastPoint(), c.lastPoint); }
    if (c.fieldWidth == c.width) { EXPECT_EQ(Pixels(wallpaper), Pixels(g.FieldBitmap())); }
  }
}

// The batched path of fields larger than the tables makes the same bytes as
// the tables' path where both apply, and leaves the same planes behind: fine
// and coarse, chained and independent, with and without the modulation
// (whose look-ahead crosses batches and, at the end, the last point), with
// the box blur, and with preview frames left in the cells no point writes.
TEST(GeneratorWallpaper, BatchedPathGivesTheTablesBytes) {
  const struct {
    int32_t satiation, picture, blur, color, frames, width, height;
  } cases[] = {
      {100, 25, 100, 3, 1, 1600, 1200},  // the largest fine layout
      {59, 60, 100, 10, 2, 1600, 1200},  // the largest coarse layout, tiles
      {80, 75, 50, 5, 3, 1024, 768},     // fine, chained, blurred
      {0, 0, 0, 0, 2, 640, 480},         // coarse, the preview in its gaps
      {95, 100, 7, 9, 1, 1366, 768},     // another aspect
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.satiation << " " << c.width << "x" << c.height);
    TDIB wallpaper[2];
    std::unique_ptr<Rig> rigs[2];
    int32_t points[2] = {};
    for (int i = 0; i < 2; ++i) {
      rigs[i] = std::make_unique<Rig>(GeneratorShape::SettingsWindow, c.satiation, c.picture, 7);
      Rig& rig = *rigs[i];
      rig.settings.Blur = c.blur;
      rig.settings.Color = c.color;
      PatternGenerator& g = rig.SetUp();
      for (int32_t f = 0; f < c.frames; ++f) g.PreviewTick();
      points[i] = i == 0 ? g.RenderWallpaper(c.width, c.height, wallpaper[i])
                         : g.RenderWallpaperInChunks(c.width, c.height, wallpaper[i]);
    }
    EXPECT_EQ(points[1], points[0]);
    ASSERT_EQ(wallpaper[1].Width(), c.width);
    ASSERT_EQ(wallpaper[1].Height(), c.height);
    const std::vector<uint8_t> tables = Pixels(wallpaper[0]), batches = Pixels(wallpaper[1]);
    EXPECT_GT(std::count_if(tables.begin(), tables.end(), [](uint8_t b) { return b != 0; }),
              static_cast<std::ptrdiff_t>(tables.size() / 8));
    EXPECT_TRUE(tables == batches);
    const PatternGenerator& a = *rigs[0]->gen;
    const PatternGenerator& b = *rigs[1]->gen;
    int64_t differing = 0;
    for (int32_t y = 0; y < a.Capacity().PlaneRows; ++y) {
      for (int32_t x = 0; x < a.Capacity().PlaneColumns; ++x) {
        differing += a.Red(y, x) != b.Red(y, x) || a.Green(y, x) != b.Green(y, x) ||
                     a.Blue(y, x) != b.Blue(y, x);
      }
    }
    EXPECT_EQ(differing, 0);
  }
}

TEST(GeneratorSetup, FigureTableIsTheFixedTwoByTwoTile) {
  const double centre = std::sin(std::numbers::pi / 2.05);
  const double rim = std::sin(std::numbers::pi / 7.05);
  const struct {
    int dx, dy;
    double weight;
  } expected[11] = {{0, 0, centre}, {1, 0, rim}, {1, 0, rim}, {1, 0, rim},
                    {1, 0, rim},    {1, 1, rim}, {1, 1, rim}, {1, 1, rim},
                    {0, 1, rim},    {0, 1, rim}, {0, 1, rim}};
  Rig rig(GeneratorShape::FullScreen);
  const tav::LayoutView v = rig.SetUp().Layout();
  for (int k = 0; k < 11; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(v.figureDX[k], expected[k].dx);
    EXPECT_EQ(v.figureDY[k], expected[k].dy);
    EXPECT_NEAR(v.figureWeight[k], expected[k].weight, 1e-12);
  }
  EXPECT_NEAR(centre, 0.999266, 1e-6);
  EXPECT_NEAR(rim, 0.431014, 1e-6);
}

TEST(GeneratorSetup, EveryPixelIsParkedOrInsideTheBorder) {
  for (GeneratorShape shape : kShapes) {
    for (int32_t satiation : {0, 59, 60, 100}) {
      for (int32_t picture : {0, 25, 99}) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(shape) << " satiation " << satiation
                                        << " picture " << picture);
        Rig rig(shape, satiation, picture);
        PatternGenerator& g = rig.SetUp();
        const int32_t* px = g.Layout().pixelX;
        const int32_t* py = g.Layout().pixelY;
        int32_t bad = 0, parked = 0;
        for (int32_t i = 0; i <= g.LastPoint(); ++i) {
          if (px[i] == g.FieldWidth() && py[i] == g.FieldHeight()) {
            ++parked;
          } else if (px[i] < 1 || px[i] > g.FieldWidth() - 2 || py[i] < 1 ||
                     py[i] > g.FieldHeight() - 2) {
            ++bad;
          }
        }
        EXPECT_EQ(bad, 0);
        EXPECT_LT(parked, g.LastPoint() / 2);  // the edge skips keep most points in the field
      }
    }
  }
}

// Compares the six tables of the layout that is in use, up to LastPoint.
bool SameLayout(const PatternGenerator& a, const PatternGenerator& b) {
  const tav::LayoutView x = a.Layout(), y = b.Layout();
  if (x.lastPoint != y.lastPoint || x.fine != y.fine) return false;
  const std::size_t n = static_cast<std::size_t>(x.lastPoint) + 1;
  auto same = [n](const auto* p, const auto* q) {
    return std::memcmp(p, q, n * sizeof(p[0])) == 0;
  };
  return same(x.ringRadius, y.ringRadius) && same(x.pointX, y.pointX) &&
         same(x.pointY, y.pointY) && same(x.pointZ, y.pointZ) && same(x.pixelX, y.pixelX) &&
         same(x.pixelY, y.pixelY);
}

TEST(GeneratorSetup, PictureValuesFiftyApartShareTheirLayout) {
  const struct {
    int32_t satiation, picture1, picture2;
    bool same;
  } cases[] = {
      {80, 25, 75, true}, {80, 50, 100, true}, {80, 25, 26, false},
      {30, 25, 75, true}, {30, 50, 100, true}, {30, 25, 26, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.satiation << ": " << c.picture1 << " vs " << c.picture2);
    Rig a(GeneratorShape::FullScreen, c.satiation, c.picture1, 7);
    Rig b(GeneratorShape::FullScreen, c.satiation, c.picture2, 7);
    EXPECT_EQ(SameLayout(a.SetUp(), b.SetUp()), c.same);
  }
}

TEST(GeneratorSetup, PictureZeroKeepsTheRingPhaseAtZero) {
  for (int32_t satiation : {30, 80}) {
    for (int32_t picture : {0, 10}) {
      SCOPED_TRACE(testing::Message() << satiation << " picture " << picture);
      Rig rig(GeneratorShape::FullScreen, satiation, picture);
      PatternGenerator& g = rig.SetUp();
      const double* z = g.Layout().pointZ;
      const double* r = g.Layout().ringRadius;
      int32_t differing = 0;
      for (int32_t i = 0; i <= g.LastPoint(); ++i) differing += z[i] != r[i];
      if (picture == 0) {
        EXPECT_EQ(differing, 0);
      } else {
        EXPECT_GT(differing, g.LastPoint() / 2);
      }
    }
  }
}

TEST(GeneratorSetup, SetUpLeavesTheSettingsAsLoaded) {
  // The loader has already made the Rands draws; the set-up must not draw again.
  for (GeneratorShape shape : kShapes) {
    Rig rig(shape, 0, 100);
    rig.settings.Blur = 100;
    rig.settings.Color = 10;
    rig.settings.Rands = 1;
    rig.SetUp();
    EXPECT_EQ(rig.settings.Picture, 100);
    EXPECT_EQ(rig.settings.Blur, 100);
    EXPECT_EQ(rig.settings.Color, 10);
  }
}

// ---- Frame state ----

TEST(GeneratorFrame, TheWorkedMatrixAddsYToX) {
  const tav::TurnMatrix m = tav::MakeTurnMatrix(std::numbers::pi / 2, -std::numbers::pi / 2, 0);
  const double expected[9] = {1, 1, 0, 0, 1, 0, 0, 0, 1};
  const double got[9] = {m.A1, m.A2, m.A3, m.B1, m.B2, m.B3, m.C1, m.C2, m.C3};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(got[i], expected[i], 1e-15) << i;
}

TEST(GeneratorFrame, CoefficientsTurnAtTheirBounds) {
  const struct {
    int32_t fast;
    double coef, drift;
    int expect;  // 0 keeps the drift, -1 turns downward, +1 turns upward
  } cases[] = {
      {0, 1.9, 0.005, 0},          {0, std::nextafter(1.9, 2.0), 0.005, -1},
      {0, 0.7, -0.005, +1},        {0, std::nextafter(0.7, 1.0), -0.005, 0},
      {100, 1.895, 0.01, -1},      {100, 0.705, -0.01, +1},
      {100, 1.2, 0.003, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "fast " << c.fast << " coef " << c.coef);
    Rig rig(GeneratorShape::FullScreen);
    PatternGenerator& g = *rig.gen;
    rig.settings.Fast = c.fast;
    tav::WaveState w;
    w.Coef1 = c.coef;
    w.Drift1 = c.drift;
    w.Drift2 = w.Drift3 = 0.001;
    w.Coef2 = w.Coef3 = 1;
    g.SetWaveState(w);
    g.NextFrame();
    const tav::WaveState& after = g.Wave();
    EXPECT_NEAR(after.Coef1, c.coef + c.fast * c.drift / 100, 1e-15);
    if (c.expect == 0) {
      EXPECT_EQ(after.Drift1, c.drift);
    } else {
      const double magnitude = std::fabs(after.Drift1);
      EXPECT_EQ(after.Drift1 > 0 ? +1 : -1, c.expect);
      EXPECT_GE(magnitude, 0.001 - 1e-12);
      EXPECT_LE(magnitude, 0.010 + 1e-12);
    }
  }
}

TEST(GeneratorFrame, AnglesWrapAtSixPointTwoEightOnly) {
  const struct {
    double phase, after;
  } cases[] = {{6.28, 0}, {6.279, 6.279}, {-1, -1}, {7.5, 0}, {-100, -100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.phase);
    Rig rig(GeneratorShape::FullScreen);
    PatternGenerator& g = *rig.gen;
    rig.settings.Fast = 0;
    tav::WaveState w;
    w.Coef1 = w.Coef2 = w.Coef3 = 1;
    w.Drift1 = w.Drift2 = w.Drift3 = 0.001;
    w.Phase1 = w.Phase2 = w.Phase3 = c.phase;
    g.SetWaveState(w);
    g.NextFrame();
    EXPECT_EQ(g.Wave().Phase1, c.after);
    EXPECT_EQ(g.Wave().Phase3, c.after);
  }
}

TEST(GeneratorFrame, FastZeroFreezesThePicture) {
  for (int32_t satiation : {30, 80}) {
    SCOPED_TRACE(satiation);
    Rig rig(GeneratorShape::FullScreen, satiation, 75);
    rig.settings.Fast = 0;
    rig.settings.Blur = 40;
    PatternGenerator& g = rig.SetUp();
    // Drift rates may still turn (a coefficient sitting at 0.7 draws a new one
    // every frame); coefficients and angles may not move.
    const tav::WaveState& w = g.Wave();
    const double before[6] = {w.Coef1, w.Coef2, w.Coef3, w.Phase1, w.Phase2, w.Phase3};
    g.FrameTick();
    const std::vector<uint8_t> first = Pixels(g.FieldBitmap());
    g.FrameTick();
    g.FrameTick();
    EXPECT_EQ(Pixels(g.FieldBitmap()), first);
    const double after[6] = {w.Coef1, w.Coef2, w.Coef3, w.Phase1, w.Phase2, w.Phase3};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(after[i], before[i]) << i;

    rig.settings.Fast = 100;  // and the same rig does move once it has speed
    g.FrameTick();
    EXPECT_NE(Pixels(g.FieldBitmap()), first);
  }
}

// ---- The worked example of one point ----

struct Rgb {
  int32_t r, g, b;
  bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
Rgb At(const PatternGenerator& g, int32_t row, int32_t col) {
  return {g.Red(row, col), g.Green(row, col), g.Blue(row, col)};
}

// The point (10, 0, 10) of ring radius 10 in every slot of a layout that a
// frame walks (and in the entries the modulation looks ahead to), all at one
// pixel of a square field, drawn by the renderer the generator uses with the
// matrix of the worked example and all coefficients 1. The tables and planes
// are the test's own; the generator's set-up lends its figure table.
struct WorkedFrame {
  Rig rig;
  int32_t points;
  std::vector<double> ring, x, y, z;
  std::vector<int32_t> pixelX, pixelY;
  std::vector<int32_t> red, green, blue;
  tav::FrameInputs in;

  WorkedFrame(GeneratorShape shape, bool fine, int32_t px, int32_t py, int32_t field,
              int32_t picture)
      : rig(shape),
        // LastPoint + 1 for the field: Round(area * 2.2) + 1 fine, Round(area / 5) + 1 coarse.
        points(fine ? tav::Round(field * field * 2.2) + 1 : tav::Round(field * field / 5.0) + 1),
        ring(points + 400, 10), x(points + 400, 10), y(points + 400, 0), z(points + 400, 10),
        pixelX(points + 400, px), pixelY(points + 400, py) {
    const tav::LayoutView figure = rig.SetUp().Layout();
    const tav::GeneratorCapacity& cap = rig.gen->Capacity();
    const std::size_t cells =
        static_cast<std::size_t>(cap.PlaneRows) * static_cast<std::size_t>(cap.PlaneColumns);
    red.assign(cells, 0);
    green.assign(cells, 0);
    blue.assign(cells, 0);
    tav::LayoutView& l = in.layout;
    l.capacity = cap;
    l.fine = fine;
    l.fieldWidth = l.fieldHeight = field;
    l.lastPoint = points - 1;
    l.points = points;
    l.tableSize = points + 400;
    l.ringRadius = ring.data(), l.pointX = x.data(), l.pointY = y.data(), l.pointZ = z.data();
    l.pixelX = pixelX.data(), l.pixelY = pixelY.data();
    l.figureDX = figure.figureDX, l.figureDY = figure.figureDY;
    l.figureWeight = figure.figureWeight;
    l.serial = 1;
    in.turn = tav::MakeTurnMatrix(std::numbers::pi / 2, -std::numbers::pi / 2, 0);
    in.wave.Coef1 = in.wave.Coef2 = in.wave.Coef3 = 1;
    in.picture = picture;
    in.blur = 0;
    in.color = 0;
    in.red = red.data(), in.green = green.data(), in.blue = blue.data();
  }
  void Render() { tav::fastgen::FastRenderer(rig.gen->Capacity()).Render(in); }
  Rgb At(int32_t row, int32_t col) const {
    const std::size_t c = in.layout.Cell(row, col);
    return {red[c], green[c], blue[c]};
  }
};

TEST(GeneratorFrame, WorkedPointInTheFinePass) {
  for (GeneratorShape shape : kShapes) {
    for (const auto& [picture, expected] :
         {std::pair{25, Rgb{144, 0, 72}}, std::pair{75, Rgb{0, 255, 0}}}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(shape) << " picture " << picture);
      WorkedFrame f(shape, true, 3, 2, 1, picture);
      f.Render();
      EXPECT_EQ(f.At(2, 3), expected);
      EXPECT_EQ(f.At(3, 2), (Rgb{0, 0, 0}));
    }
  }
}

TEST(GeneratorFrame, SettingsWindowHasItsOwnFineDenominators) {
  // The worked point with raw values (colour mode 11 changes nothing). With
  // Coef3 = 2 the independent denominators differ between the instances
  // (Coef1² + r against Coef1² Coef3² + r); with Blur 1 the turned X' becomes
  // 10 (1 + sin(0.01)) and the settings window adds Blur to the chained
  // denominators. Red of the full screen's first row is the tie 271 / 2.
  const struct {
    GeneratorShape shape;
    int32_t picture, blur;
    double coef3;
    Rgb expected;
  } cases[] = {
      {GeneratorShape::FullScreen, 25, 0, 2, {136, 0, 199}},
      {GeneratorShape::SettingsWindow, 25, 0, 2, {199, 0, 199}},
      {GeneratorShape::FullScreen, 75, 1, 1, {764, 255, 509}},
      {GeneratorShape::SettingsWindow, 75, 1, 1, {758, 253, 505}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.shape) << " picture " << c.picture);
    WorkedFrame f(c.shape, true, 3, 2, 1, c.picture);
    f.in.blur = c.blur;
    f.in.color = 11;
    f.in.wave.Coef3 = c.coef3;
    f.Render();
    EXPECT_EQ(f.At(2, 3), c.expected);
  }
}

TEST(GeneratorFrame, WorkedPointAsACoarseTile) {
  // Anchor (4, 4) in a 10 x 10 field: the whole 2 x 2 tile is drawn.
  for (GeneratorShape shape : kShapes) {
    SCOPED_TRACE(static_cast<int>(shape));
    WorkedFrame f(shape, false, 4, 4, 10, 25);
    f.Render();
    EXPECT_EQ(f.At(4, 4), (Rgb{144, 0, 72}));
    EXPECT_EQ(f.At(4, 5), (Rgb{62, 0, 31}));
    EXPECT_EQ(f.At(5, 5), (Rgb{62, 0, 31}));
    EXPECT_EQ(f.At(5, 4), (Rgb{62, 0, 31}));
    EXPECT_EQ(f.At(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(f.At(3, 4), (Rgb{0, 0, 0}));
  }
}

TEST(GeneratorFrame, CoarseEntriesOffTheFieldLandOnPixelZeroZero) {
  const Rgb rim{62, 0, 31}, centre{144, 0, 72}, none{0, 0, 0};
  const struct {
    int32_t x, y;
    Rgb zeroZero, anchor;
  } cases[] = {
      {9, 9, rim, centre},    // last column and row: the other three entries fall off
      {10, 10, rim, none},    // parked: every entry, also the anchor, lands on (0, 0)
      {8, 8, none, centre},   // fully inside
      {0, 4, rim, none},      // column 0 is outside the drawable part
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "anchor " << c.x << ", " << c.y);
    WorkedFrame f(GeneratorShape::FullScreen, false, c.x, c.y, 10, 25);
    f.Render();
    EXPECT_EQ(f.At(0, 0), c.zeroZero);
    if (c.x != 0) { EXPECT_EQ(f.At(c.y, c.x), c.anchor); }
    for (int32_t i = 1; i <= 11; ++i) {  // the rest of row 0 and column 0 stays untouched
      EXPECT_EQ(f.At(0, i), none) << i;
      if (c.x != 0) { EXPECT_EQ(f.At(i, 0), none) << i; }
    }
  }
}

TEST(GeneratorFrame, ZeroDenominatorsStillCompleteTheFrame) {
  // r + X' + Coef1 = 1 - 2 + 1 = 0 for the point (-2, 0, 0) of radius 1, and
  // 0/0 for Y' and Z': the sines count as 0, leaving the thirds of the
  // coefficients, which round to 0.
  for (GeneratorShape shape : kShapes) {
    WorkedFrame f(shape, true, 3, 2, 1, 75);
    f.in.color = -1;
    for (int32_t k = 0; k < f.points; ++k) {
      const std::size_t i = static_cast<std::size_t>(k);
      f.x[i] = -2;
      f.z[i] = 0;
      f.ring[i] = 1;
    }
    const std::size_t cell = f.in.layout.Cell(2, 3);
    f.red[cell] = f.green[cell] = f.blue[cell] = 99;
    f.Render();
    EXPECT_EQ(f.At(2, 3), (Rgb{0, 0, 0}));
  }
}

TEST(GeneratorFrame, OutOfRangeSettingsStayInsideTheirTables) {
  const struct {
    int32_t fast, satiation, picture, blur;
  } cases[] = {
      {2147483647, 100, 100, 2147483647},
      {-2147483647, 0, -5, -2147483647},
      {100, 150, 75, 1000},
      {100, -20, 25, -50},
  };
  for (GeneratorShape shape : kShapes) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(shape) << " fast " << c.fast
                                      << " satiation " << c.satiation << " blur " << c.blur);
      Rig rig(shape, c.satiation, c.picture);
      rig.settings.Fast = c.fast;
      rig.settings.Blur = c.blur;
      PatternGenerator& g = rig.SetUp();
      for (int i = 0; i < 2; ++i) g.FrameTick();
      EXPECT_LE(g.FieldWidth(), g.Capacity().MaxFieldWidth);
      EXPECT_LE(g.FieldHeight(), g.Capacity().MaxFieldHeight);
      // Nothing was written beyond the parking row.
      for (int32_t x = 0; x < g.Capacity().PlaneColumns; x += 7) {
        if (g.FieldHeight() + 1 < g.Capacity().PlaneRows) {
          EXPECT_EQ(g.Red(g.FieldHeight() + 1, x), 0) << x;
        }
      }
    }
  }
}

TEST(GeneratorFrame, FinePassLeavesTheFieldBorderUntouched) {
  Rig rig(GeneratorShape::FullScreen, 80, 75);
  rig.settings.Color = 4;  // a mode that leaves few zeros
  PatternGenerator& g = rig.SetUp();
  g.FrameTick();
  int32_t written = 0;
  for (int32_t x = 0; x < g.FieldWidth(); ++x) {
    for (int32_t y : {0, g.FieldHeight() - 1}) {
      EXPECT_EQ(At(g, y, x), (Rgb{0, 0, 0})) << x << "," << y;
    }
  }
  for (int32_t y = 0; y < g.FieldHeight(); ++y) {
    for (int32_t x : {0, g.FieldWidth() - 1}) {
      EXPECT_EQ(At(g, y, x), (Rgb{0, 0, 0})) << x << "," << y;
    }
    written += g.Red(y, g.FieldWidth() / 2) != 0;
  }
  EXPECT_GT(written, g.FieldHeight() / 2);
}

// ---- Copy, clearing and the window ticks ----

// Planes of the full-screen size, the test's own, and the copy into a bitmap.
struct Planes {
  tav::GeneratorCapacity cap = tav::CapacityOf(GeneratorShape::FullScreen);
  std::size_t cells = static_cast<std::size_t>(cap.PlaneRows) * static_cast<std::size_t>(cap.PlaneColumns);
  std::vector<int32_t> red = std::vector<int32_t>(cells), green = red, blue = red;
  tav::fastgen::FrameWorkers workers{1};

  std::size_t Cell(int32_t y, int32_t x) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(cap.PlaneColumns) +
           static_cast<std::size_t>(x);
  }
  void CopyTo(TDIB& bitmap) {
    tav::CopyPlanesToBitmap(red.data(), green.data(), blue.data(), cap.PlaneRows,
                            cap.PlaneColumns, bitmap, workers);
  }
};

TEST(GeneratorCopy, LowEightBitsInBlueGreenRedOrder) {
  const struct {
    int32_t value;
    uint8_t byte;
  } cases[] = {{-1, 255}, {256, 0}, {7774, 94}, {300, 44}, {255, 255}, {0, 0},
               {-2147483647 - 1, 0}, {-129, 127}};
  Planes planes;
  const int n = static_cast<int>(std::size(cases));
  TDIB bitmap;
  bitmap.SetBitCount(24);
  bitmap.SetSize(n, 2);
  for (int x = 0; x < n; ++x) {
    planes.red[planes.Cell(1, x)] = cases[x].value;
    planes.green[planes.Cell(1, x)] = cases[x].value + 1;
    planes.blue[planes.Cell(1, x)] = cases[x].value + 2;
  }
  planes.CopyTo(bitmap);
  const uint8_t* row = bitmap.ScanLineRead(1);
  for (int x = 0; x < n; ++x) {
    SCOPED_TRACE(cases[x].value);
    EXPECT_EQ(row[3 * x + 2], cases[x].byte);
    EXPECT_EQ(row[3 * x + 1], static_cast<uint8_t>(cases[x].byte + 1));
    EXPECT_EQ(row[3 * x], static_cast<uint8_t>(cases[x].byte + 2));
  }
  EXPECT_EQ(bitmap.ScanLineRead(0)[0], 0);
}

// Every byte of the bitmap for fields of many widths (so that each column
// meets the start, middle and end of the copy's four-pixel steps) and for
// fields large enough to be copied on both cores, with plane values over the
// whole 32-bit range; the row padding stays zero.
TEST(GeneratorCopy, EveryByteForManyWidths) {
  std::mt19937 gen(3);
  Planes planes;
  std::vector<std::pair<int32_t, int32_t>> sizes;
  for (int32_t w = 1; w <= 23; ++w) sizes.emplace_back(w, 3);
  sizes.emplace_back(640, 480);
  sizes.emplace_back(357, 301);
  for (const auto& [w, h] : sizes) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TDIB bitmap;
    bitmap.SetBitCount(24);
    bitmap.SetSize(w, h);
    std::vector<uint8_t> want(bitmap.WidthBytes() * h, 0);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < std::min(w + 3, planes.cap.PlaneColumns); ++x) {
        const std::size_t c = planes.Cell(y, x);
        planes.red[c] = static_cast<int32_t>(gen());
        planes.green[c] = static_cast<int32_t>(gen());
        planes.blue[c] = static_cast<int32_t>(gen());
        if (x >= w) continue;
        uint8_t* p = &want[(h - 1 - y) * bitmap.WidthBytes() + 3 * x];
        p[0] = static_cast<uint8_t>(planes.blue[c]);
        p[1] = static_cast<uint8_t>(planes.green[c]);
        p[2] = static_cast<uint8_t>(planes.red[c]);
      }
    planes.CopyTo(bitmap);
    EXPECT_EQ(std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + want.size()), want);
  }
}

TEST(GeneratorWindow, BoxBlurOnlyBetweenSixtyAndEightyNine) {
  const struct {
    int32_t satiation;
    bool blur;
  } cases[] = {{0, false}, {59, false}, {60, true}, {80, true}, {89, true}, {90, false},
               {100, false}};
  for (const auto& c : cases) {
    Rig rig(GeneratorShape::FullScreen, c.satiation);
    EXPECT_EQ(rig.SetUp().NeedsBoxBlur(), c.blur) << c.satiation;
  }
}

TEST(GeneratorWindow, PreviewClearsTheFieldAndWallpaperDoesNot) {
  // Detailed 100: fine layouts, the field as large as the target, no blur.
  // The fine pass never draws a field's border, so a border cell keeps what
  // the clearing, or the frame before, left there.
  Rig rig(GeneratorShape::SettingsWindow, 100);
  rig.settings.Color = 4;  // a mode that leaves few zeros
  PatternGenerator& g = rig.SetUp();
  auto nonZero = [&g](int32_t row, int32_t from, int32_t to) {
    int32_t n = 0;
    for (int32_t x = from; x < to; ++x) n += g.Red(row, x) != 0;
    return n;
  };
  g.PreviewTick();
  ASSERT_GT(nonZero(149, 1, 199), 100);
  TDIB wallpaper;
  g.RenderWallpaper(200, 150, wallpaper);  // row 149 is now the field's last
  EXPECT_EQ(g.FieldWidth(), 200);
  EXPECT_GT(nonZero(149, 1, 199), 100);  // not cleared: the preview's frame is still there

  g.RenderWallpaper(640, 480, wallpaper);
  g.RestorePreview(400, 300);
  EXPECT_EQ(g.FieldWidth(), 400);
  EXPECT_EQ(g.FieldHeight(), 300);
  ASSERT_GT(nonZero(299, 1, 399), 200);
  ASSERT_GT(nonZero(300, 1, 399), 200);
  g.PreviewTick();
  EXPECT_EQ(nonZero(299, 0, 400), 0);    // the field's last row: cleared and not drawn
  EXPECT_GT(nonZero(300, 1, 399), 200);  // the parking row is not cleared
}

TEST(GeneratorWindow, PreviewRebuildsTheLayoutWhenSatiationOrPictureChange) {
  Rig rig(GeneratorShape::SettingsWindow, 59, 0);
  PatternGenerator& g = rig.SetUp();
  g.PreviewTick();
  EXPECT_FALSE(g.FineLayout());
  EXPECT_EQ(g.FieldWidth(), 381);

  rig.settings.Satiation = 60;
  g.PreviewTick();
  EXPECT_TRUE(g.FineLayout());
  EXPECT_TRUE(g.NeedsBoxBlur());
  EXPECT_EQ(g.FieldWidth(), 179);
  EXPECT_EQ(g.FieldHeight(), 134);
  EXPECT_EQ(g.Layout().pointZ[1000], g.Layout().ringRadius[1000]);  // Picture 0

  rig.settings.Picture = 10;
  g.PreviewTick();
  const tav::LayoutView v = g.Layout();
  int32_t differing = 0;
  for (int32_t i = 0; i <= v.lastPoint; ++i) differing += v.pointZ[i] != v.ringRadius[i];
  EXPECT_GT(differing, g.LastPoint() / 2);

  // Picture was noted, and Speed, Vanguard and Color do not rebuild: the
  // next tick keeps the layout.
  rig.settings.Fast = 50;
  rig.settings.Blur = 30;
  rig.settings.Color = 3;
  g.PreviewTick();
  EXPECT_EQ(g.Layout().serial, v.serial);
}

}  // namespace
