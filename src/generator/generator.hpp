#pragma once
// The pattern generator: point layouts, figure table and wave parameters
// built once, then one frame per call rendered into three colour planes and
// copied into the field bitmap.
//
// One PatternGenerator per window: the full-screen window owns one built for
// GeneratorShape::FullScreen, the settings window one built for
// GeneratorShape::SettingsWindow. The instance keeps a reference to the
// mode's Settings record and reads it at every call (so a slider takes effect
// on the next frame), and draws from the mode's RandomGenerator.
//
// What a mode calls
// -----------------
// Full-screen window (TForm1):
//   FormCreate:
//       random.Randomize();            // the mode seeds its generator
//       LoadFullScreenSettings(settings, random);  // also the Rands draws
//       gen.SetupFullScreen();         // jitter, Zoom, layout, figure table,
//                                      // wave parameters
//   DXTimerTimer:
//       gen.FrameTick();               // Tavorensia, plane copy, and BoxBlur
//                                      // when 2 < Zoom <= 5
//       if (surface ready) { Fill(0); LoadFromBitmap(gen.FieldBitmap); Flip(); }
//   (Blurring also while the surface is not ready changes nothing visible:
//   the next tick's copy rewrites every pixel of FieldBitmap.)
//
// Settings window (TForm2):
//   FormCreate, after its own steps up to the slider positions
//   (random.Randomize(); LoadSettingsWindowSettings, which makes the Rands
//   draws; sliders positioned):
//       gen.SetupSettingsWindow(400, 300);  // jitter, Zoom, LastZoom,
//                                           // LastPicture, layout, figure
//                                           // table, wave parameters
//   DXTimerTimer:
//       if (PreviewRestore == 1) { gen.RestorePreview(400, 300); PreviewRestore = 0;
//                                  resize WallpaperBitmap to 400 x 300; }
//       gen.PreviewTick();             // Zoom from Satiation, set-up again when
//                                      // Zoom or Picture changed, clear the
//                                      // field area of the planes, Tavorensia,
//                                      // plane copy, BoxBlur when 2 < Zoom <= 5
//       if (surface ready) { Fill(0); LoadFromBitmap(gen.FieldBitmap); Flip(); }
//   Button2Click ("Render Wallpaper"):
//       gen.RenderWallpaper(WallpaperWidth, WallpaperHeight, WallpaperBitmap);
//                                      // set-up at the wallpaper size with the
//                                      // current Zoom, Tavorensia without
//                                      // clearing, copy, blur, DrawScaled into
//                                      // WallpaperBitmap (resized to the size)
//       then disable the timer and open the save dialog.
//
// Everything is allocated at construction, at the shape's full capacity;
// pages of the tables and planes cost memory only once a layout writes them.
// Apart from a new FieldBitmap whenever a set-up runs, nothing is allocated
// after construction.
//
// Out-of-range settings: Zoom is computed from Satiation clamped to 0..100 and
// the target size is clamped to the shape's largest field, so the tables can
// never be outgrown; the modulation's look-ups are clamped to the table.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "generator/settings.hpp"
#include "display/dib.hpp"
#include "generator/frame_workers.hpp"
#include "generator/random.hpp"
#include "generator/zero_buffer.hpp"

namespace tav {

namespace fastgen {
class FastRenderer;
}

enum class GeneratorShape { FullScreen, SettingsWindow };

// Fixed sizes of one shape.
struct GeneratorCapacity {
  int32_t MaxFieldWidth;   // largest field: 640 / 1600
  int32_t MaxFieldHeight;  // 480 / 1200
  int32_t PlaneRows;       // 481 / 1201 (the largest field plus the parking row)
  int32_t PlaneColumns;    // 641 / 1601 (row stride of the planes)
  int32_t FineCapacity;    // 700,001 / 4,300,001 points
  int32_t CoarseCapacity;  // 100,001 / 390,001 points
  int32_t JitterCapacity;  // 110,001 / 390,001 entries
  bool SettingsFormulas;   // the settings window's fine-pass denominators
};
GeneratorCapacity CapacityOf(GeneratorShape shape);

// The nine coefficients that turn a point (x, y, z) into (X', Y', Z').
struct TurnMatrix {
  double A1, A2, A3;  // X' = A1 x + A2 y + A3 z
  double B1, B2, B3;  // Y'
  double C1, C2, C3;  // Z'
};
// Built from the three angles (a = phase1 - pi/2, b = phase2 + pi/2,
// c = phase3). A2 ends in cos c, so the matrix is not a pure rotation.
TurnMatrix MakeTurnMatrix(double phase1, double phase2, double phase3);

// Number of entries of the figure table.
inline constexpr int kFigureEntries = 11;

class PatternGenerator {
 public:
  PatternGenerator(GeneratorShape shape, Settings& settings, RandomGenerator& random);
  ~PatternGenerator();
  PatternGenerator(const PatternGenerator&) = delete;
  PatternGenerator& operator=(const PatternGenerator&) = delete;

  // ---- What the modes call (see the top of this file) ----

  // Full-screen FormCreate, after the caller has seeded the random generator
  // and loaded the settings (the loader makes the Rands draws of Picture,
  // Blur and Color; they are not repeated here): jitter tables; Zoom; the
  // layout for Zoom at a 640 x 480 target; Figure; wave parameters.
  void SetupFullScreen();
  // One full-screen frame: Tavorensia, CopyPlanesToBitmap, BoxBlurIfNeeded.
  void FrameTick();

  // Settings-window FormCreate from the jitter tables on: FillJitter; target
  // = width x height; Zoom; LastPicture = Picture; RunSetup; LastZoom = Zoom;
  // Figure; DrawWaveParameters.
  void SetupSettingsWindow(int32_t targetWidth, int32_t targetHeight);
  // One live-preview frame: Zoom from Satiation; RunSetup when Zoom differs
  // from LastZoom or Picture from LastPicture; ClearPlanes; Tavorensia;
  // CopyPlanesToBitmap; BoxBlurIfNeeded.
  void PreviewTick();
  // Back to the preview after a wallpaper render: target = width x height and
  // RunSetup with the current Zoom.
  void RestorePreview(int32_t targetWidth, int32_t targetHeight);
  // "Render Wallpaper": target = width x height; wallpaper resized to it (24
  // bits); RunSetup with the current Zoom (not recomputed); Tavorensia
  // without clearing the planes; CopyPlanesToBitmap; BoxBlurIfNeeded;
  // FieldBitmap drawn scaled over the whole wallpaper. The target stays at
  // the wallpaper size until RestorePreview.
  void RenderWallpaper(int32_t width, int32_t height, TDIB& wallpaper);

  // ---- Building blocks ----

  // 11 - Satiation / 10, with Satiation clamped to 0..100.
  static double ZoomFor(int32_t satiation);
  // Sets TargetWidth and TargetHeight, clamped to 0 .. the largest field.
  void SetTarget(int32_t width, int32_t height);
  // StepX[i] = Random(2) - Random(2), then StepY[i] likewise, for every entry.
  void FillJitter();
  // Coarse layout (Zoom > 5): field size, FieldBitmap, LastPoint, points.
  void Ra_x_y_0();
  // Fine layout (Zoom <= 5).
  void Ra_x_y_1();
  // Ra_x_y_0 when Zoom > 5, otherwise Ra_x_y_1.
  void RunSetup();
  // The 11-entry figure table; always the same.
  void Figure();
  // Coef1..3 = Random(12)/10 + 0.7, Drift1..3 = Random(10)*0.001 + 0.001,
  // Phase1..3 = Random(200)/200, in this order.
  void DrawWaveParameters();

  // The frame renderer: advances the wave parameters by one frame and
  // colours every point of the current layout into the planes.
  void Tavorensia();
  // The renderer's first steps, shared by every renderer: redraws zero
  // drifts, moves and turns the coefficients, builds the matrix from the
  // angles as they stand, then moves and wraps the angles.
  TurnMatrix AdvanceFrameState();

  // Zeroes rows 0..FieldHeight-1, columns 0..FieldWidth-1 of all planes.
  void ClearPlanes();
  // Low 8 bits of the planes into FieldBitmap's rows (blue, green, red).
  void CopyPlanesToBitmap();
  // 2 < Zoom <= 5: the frame is blurred before it is shown.
  bool NeedsBoxBlur() const { return Zoom > 2 && Zoom <= 5; }
  void BoxBlurIfNeeded();

  // True when Zoom selects the fine layout.
  bool FineLayout() const { return Zoom <= 5; }
  // Points one call of Tavorensia processes with the current field size.
  int32_t PointsPerFrame() const;

  GeneratorShape Shape() const { return shape_; }
  const GeneratorCapacity& Capacity() const { return cap_; }
  Settings& settings() { return settings_; }
  const Settings& settings() const { return settings_; }
  RandomGenerator& random() { return random_; }

  // Plane cell at (row, column); row stride is Capacity().PlaneColumns.
  int32_t& Red(int32_t row, int32_t col) { return RedPlane[Cell(row, col)]; }
  int32_t& Green(int32_t row, int32_t col) { return GreenPlane[Cell(row, col)]; }
  int32_t& Blue(int32_t row, int32_t col) { return BluePlane[Cell(row, col)]; }
  std::size_t Cell(int32_t row, int32_t col) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(cap_.PlaneColumns) +
           static_cast<std::size_t>(col);
  }

  // ---- State (public so that renderers can walk the flat arrays) ----

  double Zoom = 0;
  int32_t TargetWidth = 0, TargetHeight = 0;
  int32_t FieldWidth = 0, FieldHeight = 0;
  int32_t LastPoint = -1;
  TDIB FieldBitmap;

  // Settings window: the Zoom and Picture the set-up last ran with.
  double LastZoom = 0;
  int32_t LastPicture = 0;

  // Forces the reference renderer (tavorensia-render --scalar, tests).
  bool UseReferenceRenderer = false;
  // Bumped by every layout or figure build, so that a renderer keeping data
  // per layout knows when to rebuild it.
  uint64_t LayoutSerial = 0;
  // Builds the fast renderer's per-layout data now rather than in the next
  // frame; the set-ups call it last.
  void PrepareRenderer();

  // Jitter of the coarse layout: -1, 0 or +1.
  ZeroBuffer<int32_t> StepX, StepY;
  // Coarse layout.
  ZeroBuffer<double> RingRadius0, PointX0, PointY0, PointZ0;
  ZeroBuffer<int32_t> PixelX0, PixelY0;
  // Fine layout.
  ZeroBuffer<double> RingRadius1, PointX1, PointY1, PointZ1;
  ZeroBuffer<int32_t> PixelX1, PixelY1;
  // Figure table: offsets and weights of a tile's entries.
  int32_t FigureDX[kFigureEntries] = {};
  int32_t FigureDY[kFigureEntries] = {};
  double FigureWeight[kFigureEntries] = {};

  // Wave parameters.
  double Coef1 = 0, Coef2 = 0, Coef3 = 0;
  double Drift1 = 0, Drift2 = 0, Drift3 = 0;
  double Phase1 = 0, Phase2 = 0, Phase3 = 0;

  // Colour planes, PlaneRows x PlaneColumns each, [row][column] row-major.
  ZeroBuffer<int32_t> RedPlane, GreenPlane, BluePlane;

 private:
  struct LayoutConstants;
  struct LayoutTables;
  // A ring of the layout that lies wholly inside the field: its points are
  // known without walking the ring (see BuildLayout).
  struct InnerRing {
    int32_t first, count;
    double radius, cosPhase;
  };
  void BuildLayout(const LayoutConstants& k);
  void CopyRows(int32_t top, int32_t bottom, int32_t cols);
  void PlacePixel(const LayoutConstants& k, const LayoutTables& t, int32_t i, double x,
                  double y) const;
  void PlacePixels(const LayoutConstants& k, const LayoutTables& t, int32_t first,
                   int32_t count) const;
  void FillInnerRing(const LayoutConstants& k, const LayoutTables& t, const InnerRing& ring) const;
  void WalkOuterRings(const LayoutConstants& k, const LayoutTables& t, int32_t first, double r,
                      double b) const;

  GeneratorShape shape_;
  GeneratorCapacity cap_;
  // Shares set-up and frame work with a second core; its one thread lives
  // as long as the generator and serves the renderer too.
  fastgen::FrameWorkers workers_;
  std::vector<InnerRing> innerRings_;
  std::vector<std::size_t> ringChunks_;  // first inner ring of each chunk, then the end
  // The renderer Tavorensia uses unless UseReferenceRenderer is set; made
  // at the first set-up or frame, working on workers_.
  std::unique_ptr<fastgen::FastRenderer> fast_;
  Settings& settings_;
  RandomGenerator& random_;
};

}  // namespace tav
