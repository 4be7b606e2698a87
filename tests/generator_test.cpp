#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "generator/generator.hpp"

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
    EXPECT_EQ(g.FieldWidth, c.width);
    EXPECT_EQ(g.FieldHeight, c.height);
    EXPECT_EQ(g.FieldBitmap.Width(), c.width);
    EXPECT_EQ(g.FieldBitmap.Height(), c.height);
    EXPECT_EQ(g.FieldBitmap.BitCount(), 24);
    if (c.lastPoint >= 0) { EXPECT_EQ(g.LastPoint, c.lastPoint); }
    EXPECT_EQ(g.PointsPerFrame(), g.LastPoint + 1);
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
    EXPECT_EQ(g.FieldWidth, c.fieldWidth);
    EXPECT_EQ(g.FieldHeight, c.fieldHeight);
    EXPECT_EQ(wallpaper.Width(), c.width);
    EXPECT_EQ(wallpaper.Height(), c.height);
    EXPECT_EQ(wallpaper.BitCount(), 24);
    if (c.lastPoint >= 0) { EXPECT_EQ(g.LastPoint, c.lastPoint); }
    if (c.fieldWidth == c.width) { EXPECT_EQ(Pixels(wallpaper), Pixels(g.FieldBitmap)); }
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
  rig.gen->Figure();
  for (int k = 0; k < 11; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(rig.gen->FigureDX[k], expected[k].dx);
    EXPECT_EQ(rig.gen->FigureDY[k], expected[k].dy);
    EXPECT_NEAR(rig.gen->FigureWeight[k], expected[k].weight, 1e-12);
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
        const int32_t* px = g.FineLayout() ? g.PixelX1.data() : g.PixelX0.data();
        const int32_t* py = g.FineLayout() ? g.PixelY1.data() : g.PixelY0.data();
        int32_t bad = 0, parked = 0;
        for (int32_t i = 0; i <= g.LastPoint; ++i) {
          if (px[i] == g.FieldWidth && py[i] == g.FieldHeight) {
            ++parked;
          } else if (px[i] < 1 || px[i] > g.FieldWidth - 2 || py[i] < 1 ||
                     py[i] > g.FieldHeight - 2) {
            ++bad;
          }
        }
        EXPECT_EQ(bad, 0);
        EXPECT_LT(parked, g.LastPoint / 2);  // the edge skips keep most points in the field
      }
    }
  }
}

// Compares the six tables of the layout that is in use, up to LastPoint.
bool SameLayout(const PatternGenerator& a, const PatternGenerator& b) {
  if (a.LastPoint != b.LastPoint || a.FineLayout() != b.FineLayout()) return false;
  const std::size_t n = static_cast<std::size_t>(a.LastPoint) + 1;
  const bool fine = a.FineLayout();
  auto same = [n](const auto& x, const auto& y) {
    return std::memcmp(x.data(), y.data(), n * sizeof(x[0])) == 0;
  };
  return fine ? same(a.RingRadius1, b.RingRadius1) && same(a.PointX1, b.PointX1) &&
                    same(a.PointY1, b.PointY1) && same(a.PointZ1, b.PointZ1) &&
                    same(a.PixelX1, b.PixelX1) && same(a.PixelY1, b.PixelY1)
              : same(a.RingRadius0, b.RingRadius0) && same(a.PointX0, b.PointX0) &&
                    same(a.PointY0, b.PointY0) && same(a.PointZ0, b.PointZ0) &&
                    same(a.PixelX0, b.PixelX0) && same(a.PixelY0, b.PixelY0);
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
      const double* z = g.FineLayout() ? g.PointZ1.data() : g.PointZ0.data();
      const double* r = g.FineLayout() ? g.RingRadius1.data() : g.RingRadius0.data();
      int32_t differing = 0;
      for (int32_t i = 0; i <= g.LastPoint; ++i) differing += z[i] != r[i];
      if (picture == 0) {
        EXPECT_EQ(differing, 0);
      } else {
        EXPECT_GT(differing, g.LastPoint / 2);
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
    g.Coef1 = c.coef;
    g.Drift1 = c.drift;
    g.Drift2 = g.Drift3 = 0.001;
    g.Coef2 = g.Coef3 = 1;
    g.AdvanceFrameState();
    EXPECT_NEAR(g.Coef1, c.coef + c.fast * c.drift / 100, 1e-15);
    if (c.expect == 0) {
      EXPECT_EQ(g.Drift1, c.drift);
    } else {
      const double magnitude = std::fabs(g.Drift1);
      EXPECT_EQ(g.Drift1 > 0 ? +1 : -1, c.expect);
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
    g.Coef1 = g.Coef2 = g.Coef3 = 1;
    g.Drift1 = g.Drift2 = g.Drift3 = 0.001;
    g.Phase1 = g.Phase2 = g.Phase3 = c.phase;
    g.AdvanceFrameState();
    EXPECT_EQ(g.Phase1, c.after);
    EXPECT_EQ(g.Phase3, c.after);
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
    const double before[6] = {g.Coef1, g.Coef2, g.Coef3, g.Phase1, g.Phase2, g.Phase3};
    g.FrameTick();
    const std::vector<uint8_t> first = Pixels(g.FieldBitmap);
    g.FrameTick();
    g.FrameTick();
    EXPECT_EQ(Pixels(g.FieldBitmap), first);
    const double after[6] = {g.Coef1, g.Coef2, g.Coef3, g.Phase1, g.Phase2, g.Phase3};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(after[i], before[i]) << i;

    rig.settings.Fast = 100;  // and the same rig does move once it has speed
    g.FrameTick();
    EXPECT_NE(Pixels(g.FieldBitmap), first);
  }
}

// ---- The worked example of one point ----

// Puts the point (10, 0, 10) of ring radius 10 into every slot of the layout
// a frame walks, with the matrix of the worked example and all coefficients 1.
void PlaceWorkedPoint(Rig& rig, bool fine, int32_t pixelX, int32_t pixelY, int32_t field,
                      int32_t picture) {
  PatternGenerator& g = *rig.gen;
  rig.settings.Fast = 0;
  rig.settings.Blur = 0;
  rig.settings.Color = 0;
  rig.settings.Picture = picture;
  g.Zoom = fine ? 3 : 6;
  g.FieldWidth = g.FieldHeight = field;
  g.Coef1 = g.Coef2 = g.Coef3 = 1;
  g.Drift1 = g.Drift2 = g.Drift3 = 0.001;
  g.Phase1 = std::numbers::pi / 2;
  g.Phase2 = -std::numbers::pi / 2;
  g.Phase3 = 0;
  g.Figure();
  // Also the entries the modulation looks ahead to.
  for (int32_t k = 0; k < g.PointsPerFrame() + 400; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    (fine ? g.PointX1 : g.PointX0)[i] = 10;
    (fine ? g.PointY1 : g.PointY0)[i] = 0;
    (fine ? g.PointZ1 : g.PointZ0)[i] = 10;
    (fine ? g.RingRadius1 : g.RingRadius0)[i] = 10;
    (fine ? g.PixelX1 : g.PixelX0)[i] = pixelX;
    (fine ? g.PixelY1 : g.PixelY0)[i] = pixelY;
  }
}

struct Rgb {
  int32_t r, g, b;
  bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
Rgb At(PatternGenerator& g, int32_t row, int32_t col) {
  return {g.Red(row, col), g.Green(row, col), g.Blue(row, col)};
}

TEST(GeneratorFrame, WorkedPointInTheFinePass) {
  for (GeneratorShape shape : kShapes) {
    for (const auto& [picture, expected] :
         {std::pair{25, Rgb{144, 0, 72}}, std::pair{75, Rgb{0, 255, 0}}}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(shape) << " picture " << picture);
      Rig rig(shape);
      PlaceWorkedPoint(rig, true, 3, 2, 1, picture);
      rig.gen->Tavorensia();
      EXPECT_EQ(At(*rig.gen, 2, 3), expected);
      EXPECT_EQ(At(*rig.gen, 3, 2), (Rgb{0, 0, 0}));
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
    Rig rig(c.shape);
    PlaceWorkedPoint(rig, true, 3, 2, 1, c.picture);
    rig.settings.Blur = c.blur;
    rig.settings.Color = 11;
    rig.gen->Coef3 = c.coef3;
    rig.gen->Tavorensia();
    EXPECT_EQ(At(*rig.gen, 2, 3), c.expected);
  }
}

TEST(GeneratorFrame, WorkedPointAsACoarseTile) {
  // Anchor (4, 4) in a 10 x 10 field: the whole 2 x 2 tile is drawn.
  for (GeneratorShape shape : kShapes) {
    SCOPED_TRACE(static_cast<int>(shape));
    Rig rig(shape);
    PlaceWorkedPoint(rig, false, 4, 4, 10, 25);
    PatternGenerator& g = *rig.gen;
    g.Tavorensia();
    EXPECT_EQ(At(g, 4, 4), (Rgb{144, 0, 72}));
    EXPECT_EQ(At(g, 4, 5), (Rgb{62, 0, 31}));
    EXPECT_EQ(At(g, 5, 5), (Rgb{62, 0, 31}));
    EXPECT_EQ(At(g, 5, 4), (Rgb{62, 0, 31}));
    EXPECT_EQ(At(g, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(At(g, 3, 4), (Rgb{0, 0, 0}));
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
    Rig rig(GeneratorShape::FullScreen);
    PlaceWorkedPoint(rig, false, c.x, c.y, 10, 25);
    PatternGenerator& g = *rig.gen;
    g.Tavorensia();
    EXPECT_EQ(At(g, 0, 0), c.zeroZero);
    if (c.x != 0) { EXPECT_EQ(At(g, c.y, c.x), c.anchor); }
    for (int32_t i = 1; i <= 11; ++i) {  // the rest of row 0 and column 0 stays untouched
      EXPECT_EQ(At(g, 0, i), none) << i;
      if (c.x != 0) { EXPECT_EQ(At(g, i, 0), none) << i; }
    }
  }
}

TEST(GeneratorFrame, ZeroDenominatorsStillCompleteTheFrame) {
  // r + X' + Coef1 = 1 - 2 + 1 = 0 for the point (-2, 0, 0) of radius 1, and
  // 0/0 for Y' and Z': the sines count as 0, leaving the thirds of the
  // coefficients, which round to 0.
  for (GeneratorShape shape : kShapes) {
    Rig rig(shape);
    PlaceWorkedPoint(rig, true, 3, 2, 1, 75);
    PatternGenerator& g = *rig.gen;
    rig.settings.Color = -1;
    for (int32_t k = 0; k < g.PointsPerFrame(); ++k) {
      g.PointX1[static_cast<std::size_t>(k)] = -2;
      g.PointZ1[static_cast<std::size_t>(k)] = 0;
      g.RingRadius1[static_cast<std::size_t>(k)] = 1;
    }
    g.Red(2, 3) = g.Green(2, 3) = g.Blue(2, 3) = 99;
    g.Tavorensia();
    EXPECT_EQ(At(g, 2, 3), (Rgb{0, 0, 0}));
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
      EXPECT_LE(g.FieldWidth, g.Capacity().MaxFieldWidth);
      EXPECT_LE(g.FieldHeight, g.Capacity().MaxFieldHeight);
      // Nothing was written beyond the parking row.
      for (int32_t x = 0; x < g.Capacity().PlaneColumns; x += 7) {
        if (g.FieldHeight + 1 < g.Capacity().PlaneRows) {
          EXPECT_EQ(g.Red(g.FieldHeight + 1, x), 0) << x;
        }
      }
    }
  }
}

TEST(GeneratorFrame, FinePassLeavesTheFieldBorderUntouched) {
  Rig rig(GeneratorShape::FullScreen, 80, 75);
  rig.settings.Color = 4;  // a mode that leaves few zeros
  PatternGenerator& g = rig.SetUp();
  g.Tavorensia();
  int32_t written = 0;
  for (int32_t x = 0; x < g.FieldWidth; ++x) {
    for (int32_t y : {0, g.FieldHeight - 1}) {
      EXPECT_EQ(At(g, y, x), (Rgb{0, 0, 0})) << x << "," << y;
    }
  }
  for (int32_t y = 0; y < g.FieldHeight; ++y) {
    for (int32_t x : {0, g.FieldWidth - 1}) {
      EXPECT_EQ(At(g, y, x), (Rgb{0, 0, 0})) << x << "," << y;
    }
    written += g.Red(y, g.FieldWidth / 2) != 0;
  }
  EXPECT_GT(written, g.FieldHeight / 2);
}

// ---- Copy, clearing and the window ticks ----

TEST(GeneratorCopy, LowEightBitsInBlueGreenRedOrder) {
  const struct {
    int32_t value;
    uint8_t byte;
  } cases[] = {{-1, 255}, {256, 0}, {7774, 94}, {300, 44}, {255, 255}, {0, 0},
               {-2147483647 - 1, 0}, {-129, 127}};
  Rig rig(GeneratorShape::FullScreen);
  PatternGenerator& g = *rig.gen;
  const int n = static_cast<int>(std::size(cases));
  g.FieldBitmap.SetBitCount(24);
  g.FieldBitmap.SetSize(n, 2);
  for (int x = 0; x < n; ++x) {
    g.Red(1, x) = cases[x].value;
    g.Green(1, x) = cases[x].value + 1;
    g.Blue(1, x) = cases[x].value + 2;
  }
  g.CopyPlanesToBitmap();
  const uint8_t* row = g.FieldBitmap.ScanLineRead(1);
  for (int x = 0; x < n; ++x) {
    SCOPED_TRACE(cases[x].value);
    EXPECT_EQ(row[3 * x + 2], cases[x].byte);
    EXPECT_EQ(row[3 * x + 1], static_cast<uint8_t>(cases[x].byte + 1));
    EXPECT_EQ(row[3 * x], static_cast<uint8_t>(cases[x].byte + 2));
  }
  EXPECT_EQ(g.FieldBitmap.ScanLineRead(0)[0], 0);
}

// Every byte of the bitmap for fields of many widths (so that each column
// meets the start, middle and end of the copy's four-pixel steps) and for
// fields large enough to be copied on both cores, with plane values over the
// whole 32-bit range; the row padding stays zero.
TEST(GeneratorCopy, EveryByteForManyWidths) {
  std::mt19937 gen(3);
  Rig rig(GeneratorShape::FullScreen);
  PatternGenerator& g = *rig.gen;
  std::vector<std::pair<int32_t, int32_t>> sizes;
  for (int32_t w = 1; w <= 23; ++w) sizes.emplace_back(w, 3);
  sizes.emplace_back(640, 480);
  sizes.emplace_back(357, 301);
  for (const auto& [w, h] : sizes) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    g.FieldBitmap = TDIB();
    g.FieldBitmap.SetBitCount(24);
    g.FieldBitmap.SetSize(w, h);
    std::vector<uint8_t> want(g.FieldBitmap.WidthBytes() * h, 0);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < std::min(w + 3, g.Capacity().PlaneColumns); ++x) {
        g.Red(y, x) = static_cast<int32_t>(gen());
        g.Green(y, x) = static_cast<int32_t>(gen());
        g.Blue(y, x) = static_cast<int32_t>(gen());
        if (x >= w) continue;
        uint8_t* p = &want[(h - 1 - y) * g.FieldBitmap.WidthBytes() + 3 * x];
        p[0] = static_cast<uint8_t>(g.Blue(y, x));
        p[1] = static_cast<uint8_t>(g.Green(y, x));
        p[2] = static_cast<uint8_t>(g.Red(y, x));
      }
    g.CopyPlanesToBitmap();
    EXPECT_EQ(std::vector<uint8_t>(g.FieldBitmap.Bits(), g.FieldBitmap.Bits() + want.size()), want);
  }
}

TEST(GeneratorWindow, BoxBlurOnlyBetweenSixtyAndEightyNine) {
  const struct {
    int32_t satiation;
    bool blur;
  } cases[] = {{0, false}, {59, false}, {60, true}, {80, true}, {89, true}, {90, false},
               {100, false}};
  for (const auto& c : cases) {
    tav::Settings s;
    RandomGenerator r;
    PatternGenerator g(GeneratorShape::FullScreen, s, r);
    g.Zoom = PatternGenerator::ZoomFor(c.satiation);
    EXPECT_EQ(g.NeedsBoxBlur(), c.blur) << c.satiation;
  }
}

TEST(GeneratorWindow, PreviewClearsTheFieldAndWallpaperDoesNot) {
  Rig rig(GeneratorShape::SettingsWindow, 30);  // coarse: row 0 is never drawn but at (0, 0)
  PatternGenerator& g = rig.SetUp();
  g.Red(0, 5) = 77;
  g.Red(g.FieldHeight, 3) = 55;  // the parking row is not cleared
  g.PreviewTick();
  EXPECT_EQ(g.Red(0, 5), 0);
  EXPECT_EQ(g.Red(g.FieldHeight, 3), 55);

  g.Red(0, 5) = 77;
  TDIB wallpaper;
  g.RenderWallpaper(640, 480, wallpaper);
  EXPECT_EQ(g.Red(0, 5), 77);
  EXPECT_EQ(g.TargetWidth, 640);
  g.RestorePreview(400, 300);
  EXPECT_EQ(g.FieldWidth, 200);
  EXPECT_EQ(g.FieldHeight, 150);
}

TEST(GeneratorWindow, PreviewRebuildsTheLayoutWhenSatiationOrPictureChange) {
  Rig rig(GeneratorShape::SettingsWindow, 59, 0);
  PatternGenerator& g = rig.SetUp();
  g.PreviewTick();
  EXPECT_FALSE(g.FineLayout());
  EXPECT_EQ(g.FieldWidth, 381);

  rig.settings.Satiation = 60;
  g.PreviewTick();
  EXPECT_TRUE(g.FineLayout());
  EXPECT_TRUE(g.NeedsBoxBlur());
  EXPECT_EQ(g.FieldWidth, 179);
  EXPECT_EQ(g.FieldHeight, 134);
  EXPECT_EQ(g.PointZ1[1000], g.RingRadius1[1000]);  // Picture 0

  rig.settings.Picture = 10;
  g.PreviewTick();
  int32_t differing = 0;
  for (int32_t i = 0; i <= g.LastPoint; ++i) differing += g.PointZ1[i] != g.RingRadius1[i];
  EXPECT_GT(differing, g.LastPoint / 2);

  // Speed, Vanguard and Color do not rebuild: the bitmap stays the same object.
  const TDIB before = g.FieldBitmap;
  rig.settings.Fast = 50;
  rig.settings.Blur = 30;
  rig.settings.Color = 3;
  g.PreviewTick();
  EXPECT_EQ(g.FieldBitmap.Width(), before.Width());
  EXPECT_EQ(g.LastPicture, 10);
}

}  // namespace
