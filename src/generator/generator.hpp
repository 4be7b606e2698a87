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
// The windows call six operations of it: the full-screen window
// SetupFullScreen once and FrameTick each tick (modes/full_screen_form); the
// settings window SetupSettingsWindow once, PreviewTick each tick,
// RestorePreview after a wallpaper, and RenderWallpaperOfSize for "Render
// Wallpaper" (modes/settings_form). The set-ups differ only in the target
// size, and the preview's frame is the full-screen frame after
// FollowSettings and ClearPlanes. A wallpaper larger than the tables is made
// and drawn a batch of points at a time (generator/large_wallpaper).
//
// The tables and the wave parameters are the generator's own. A renderer
// reads them through the FrameInputs of NextFrame, tests through Layout()
// and Wave(); SetWaveState is the one way in, for worked examples.
//
// The tables and planes are allocated at construction, at the shape's full
// capacity; their pages cost memory only once a layout writes them. Later
// come a new FieldBitmap whenever a set-up runs, the fast renderer at the
// first set-up (and its scratch whenever it rebuilds its live set), and a
// large wallpaper's own planes and batches while it is drawn.
//
// Out-of-range settings: Zoom is computed from Satiation clamped to 0..100 and
// the field is clamped to the shape's largest, so the tables can never be
// outgrown; the modulation's look-ups are clamped to the table.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "generator/settings.hpp"
#include "display/dib.hpp"
#include "generator/frame_workers.hpp"
#include "generator/layout_walk.hpp"
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

// The largest wallpaper a generator renders at its own resolution.
inline constexpr WallpaperSize kLargestWallpaper{7680, 4320};

// LastPoint of a layout over a field of area pixels: a fifth of a point a
// pixel coarse, 2.2 fine.
int32_t LastPointOf(int32_t area, bool coarse);

// Number of entries of the figure table.
inline constexpr int kFigureEntries = 11;

// The wave parameters: coefficients, their drift rates and the three angles.
struct WaveState {
  double Coef1 = 0, Coef2 = 0, Coef3 = 0;
  double Drift1 = 0, Drift2 = 0, Drift3 = 0;
  double Phase1 = 0, Phase2 = 0, Phase3 = 0;
};

// What a renderer reads of the current layout: the tables of the layout in
// use (fine or coarse), the figure table and the sizes, all read-only.
struct LayoutView {
  GeneratorCapacity capacity;
  bool fine = false;
  int32_t fieldWidth = 0, fieldHeight = 0;
  int32_t lastPoint = -1;  // the layout's last point
  int32_t points = 0;      // points a frame walks: LastPoint + 1 within the tables
  int32_t tableSize = 0;   // entries of each table; the modulation looks no further
  const double* ringRadius = nullptr;
  const double* pointX = nullptr;
  const double* pointY = nullptr;
  const double* pointZ = nullptr;
  const int32_t* pixelX = nullptr;
  const int32_t* pixelY = nullptr;
  // Jitter of the coarse layout (-1, 0 or +1), JitterCapacity entries.
  const int32_t* stepX = nullptr;
  const int32_t* stepY = nullptr;
  const int32_t* figureDX = nullptr;
  const int32_t* figureDY = nullptr;
  const double* figureWeight = nullptr;
  // Changes with every layout or figure build, so that a renderer keeping
  // data per layout knows when to rebuild it.
  uint64_t serial = 0;

  // Plane cell at (row, column); row stride is capacity.PlaneColumns.
  std::size_t Cell(int32_t row, int32_t col) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(capacity.PlaneColumns) +
           static_cast<std::size_t>(col);
  }
};

// One frame as a renderer gets it: the layout, the matrix and coefficients
// of this frame, the settings it reads, and the planes it writes
// (PlaneRows x PlaneColumns each, [row][column] row-major).
struct FrameInputs {
  LayoutView layout;
  TurnMatrix turn;
  WaveState wave;  // after this frame's move
  int32_t picture = 0, blur = 0, color = 0;
  int32_t* red = nullptr;
  int32_t* green = nullptr;
  int32_t* blue = nullptr;
};

// Low 8 bits of the planes into the rows of a 24-bit bitmap (blue, green,
// red); a field of 100,000 pixels or more is copied on both cores. Cell
// (row, column) of a plane is at row * planeColumns * cellStride +
// column * cellStride: cellStride 1 for planes of their own, 3 for planes
// whose three values of a cell sit side by side.
void CopyPlanesToBitmap(const int32_t* red, const int32_t* green, const int32_t* blue,
                        int32_t planeRows, int32_t planeColumns, TDIB& bitmap,
                        fastgen::FrameWorkers& workers, int32_t cellStride = 1);

// wallpaper as a 24-bit bitmap of width x height, for a picture to be drawn
// over it (a new bitmap unless it has 24 bits already).
void SizeWallpaper(int32_t width, int32_t height, TDIB& wallpaper);

class PatternGenerator {
 public:
  PatternGenerator(GeneratorShape shape, Settings& settings, RandomGenerator& random);
  ~PatternGenerator();
  PatternGenerator(const PatternGenerator&) = delete;
  PatternGenerator& operator=(const PatternGenerator&) = delete;

  // ---- What the modes call (see the top of this file) ----

  // Full-screen FormCreate, after the caller has seeded the random generator
  // and loaded the settings (the loader makes the Rands draws of Picture,
  // Blur and Color; they are not repeated here): Setup at 640 x 480.
  void SetupFullScreen();
  // One frame: Tavorensia, CopyPlanesToBitmap, BoxBlurIfNeeded.
  void FrameTick();

  // Settings-window FormCreate from the jitter tables on: Setup at
  // width x height.
  void SetupSettingsWindow(int32_t targetWidth, int32_t targetHeight);
  // One live-preview frame: FollowSettings; ClearPlanes; FrameTick.
  void PreviewTick();
  // Back to the preview after a wallpaper render: target = width x height and
  // RunSetup with the current Zoom.
  void RestorePreview(int32_t targetWidth, int32_t targetHeight);
  // "Render Wallpaper": target = width x height (up to kLargestWallpaper);
  // wallpaper resized to it (24 bits); RunSetup with the current Zoom (not
  // recomputed); FrameTick without clearing the planes; the field bitmap
  // drawn scaled over the whole wallpaper. The target stays at the
  // wallpaper size until RestorePreview. A field larger than the tables
  // hold is rendered by RenderWallpaperInChunks. Returns the points walked.
  int32_t RenderWallpaper(int32_t width, int32_t height, TDIB& wallpaper);
  // The same picture without the layout tables: the layout is made a batch
  // of points at a time and each batch drawn, in point order, into planes
  // of the field's own size, which start as a copy of the generator's
  // planes (zeros beyond them) and are copied back into them afterwards.
  // Look-ups past the last point read 0, as in a process that never had a
  // larger layout; jitter past the jitter table repeats it from its start.
  // The generator's layout, tables and field bitmap stay as they were.
  // (RenderWallpaper's path for large fields; tests run it at any size.)
  int32_t RenderWallpaperInChunks(int32_t width, int32_t height, TDIB& wallpaper);

  // ---- What the renderers and tests read ----

  // 11 - Satiation / 10, with Satiation clamped to 0..100.
  static double ZoomFor(int32_t satiation);
  double Zoom() const { return zoom_; }
  int32_t FieldWidth() const { return fieldWidth_; }
  int32_t FieldHeight() const { return fieldHeight_; }
  int32_t LastPoint() const { return lastPoint_; }
  // The frame as the window shows it; replaced by every set-up.
  const TDIB& FieldBitmap() const { return fieldBitmap_; }
  // 2 < Zoom <= 5: the frame is blurred before it is shown.
  bool NeedsBoxBlur() const { return zoom_ > 2 && zoom_ <= 5; }
  // True when Zoom selects the fine layout.
  bool FineLayout() const { return zoom_ <= 5; }
  // Points one call of Tavorensia processes with the current field size.
  int32_t PointsPerFrame() const;
  GeneratorShape Shape() const { return shape_; }
  const GeneratorCapacity& Capacity() const { return cap_; }
  const Settings& settings() const { return settings_; }
  // Plane cell at (row, column).
  int32_t Red(int32_t row, int32_t col) const { return redPlane_[Cell(row, col)]; }
  int32_t Green(int32_t row, int32_t col) const { return greenPlane_[Cell(row, col)]; }
  int32_t Blue(int32_t row, int32_t col) const { return bluePlane_[Cell(row, col)]; }
  std::size_t Cell(int32_t row, int32_t col) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(cap_.PlaneColumns) +
           static_cast<std::size_t>(col);
  }
  // The layout in use, read-only.
  LayoutView Layout() const;
  const WaveState& Wave() const { return wave_; }

  // The renderer's first steps, shared by every renderer: redraws zero
  // drifts, moves and turns the coefficients, builds the matrix from the
  // angles as they stand, then moves and wraps the angles. Returns what a
  // renderer needs to draw the frame; Tavorensia hands it to its renderer.
  FrameInputs NextFrame();

  // Worked examples start from given wave parameters; no mode does.
  void SetWaveState(const WaveState& wave) { wave_ = wave; }
  // Forces the reference renderer (tavorensia-render --scalar, tests).
  void UseReferenceRenderer(bool on) { useReference_ = on; }

 private:
  struct LayoutTables;
  // A ring of the layout that lies wholly inside the field: its points are
  // known without walking the ring (see BuildLayout).
  struct InnerRing {
    int32_t first, count;
    double radius, cosPhase;
  };

  // The set-up of both windows at a target of width x height: FillJitter;
  // Zoom; LastPicture = Picture; RunSetup; LastZoom = Zoom; Figure;
  // DrawWaveParameters; PrepareRenderer.
  void Setup(int32_t targetWidth, int32_t targetHeight);
  // The preview's part: Zoom from Satiation; RunSetup when Zoom differs
  // from LastZoom or Picture from LastPicture.
  void FollowSettings();
  // Sets the target size, clamped to 0 .. kLargestWallpaper.
  void SetTarget(int32_t width, int32_t height);
  // StepX[i] = Random(2) - Random(2), then StepY[i] likewise, for every entry.
  void FillJitter();
  // Coarse layout (Zoom > 5): field size, field bitmap, LastPoint, points.
  void Ra_x_y_0();
  // Fine layout (Zoom <= 5).
  void Ra_x_y_1();
  // Ra_x_y_0 when Zoom > 5, otherwise Ra_x_y_1.
  void RunSetup();
  // The field of the target at the current Zoom, before any clamp.
  WallpaperSize FieldOfTarget() const;
  // The 11-entry figure table; always the same.
  void Figure();
  // Coef1..3 = Random(12)/10 + 0.7, Drift1..3 = Random(10)*0.001 + 0.001,
  // Phase1..3 = Random(200)/200, in this order.
  void DrawWaveParameters();
  // The frame renderer: advances the wave parameters by one frame and
  // colours every point of the current layout into the planes.
  void Tavorensia();
  // Builds the fast renderer's per-layout data now rather than in the next
  // frame; the set-ups call it last.
  void PrepareRenderer();
  // Zeroes rows 0..FieldHeight-1, columns 0..FieldWidth-1 of all planes.
  void ClearPlanes();
  void CopyPlanesToBitmap();
  void BoxBlurIfNeeded();

  void BuildLayout(const LayoutConstants& k);
  // Pixels of points first .. first + count - 1, from their stored
  // coordinates.
  void PlacePixels(const LayoutConstants& k, const LayoutTables& t, int32_t first,
                   int32_t count) const;
  void FillInnerRing(const LayoutConstants& k, const LayoutTables& t, const InnerRing& ring) const;
  void WalkOuterRings(const LayoutConstants& k, const LayoutTables& t, int32_t first, double r,
                      double b) const;

  double zoom_ = 0;
  int32_t targetWidth_ = 0, targetHeight_ = 0;
  int32_t fieldWidth_ = 0, fieldHeight_ = 0;
  int32_t lastPoint_ = -1;
  TDIB fieldBitmap_;
  // Settings window: the Zoom and Picture the set-up last ran with.
  double lastZoom_ = 0;
  int32_t lastPicture_ = 0;
  bool useReference_ = false;
  uint64_t layoutSerial_ = 0;

  // Jitter of the coarse layout: -1, 0 or +1.
  ZeroBuffer<int32_t> stepX_, stepY_;
  // The six tables of one layout, points in walking order.
  struct PointTables {
    explicit PointTables(std::size_t n)
        : ringRadius(n), pointX(n), pointY(n), pointZ(n), pixelX(n), pixelY(n) {}
    ZeroBuffer<double> ringRadius, pointX, pointY, pointZ;
    ZeroBuffer<int32_t> pixelX, pixelY;
  };
  PointTables coarse_;  // Zoom > 5
  PointTables fine_;    // Zoom <= 5
  // Figure table: offsets and weights of a tile's entries.
  int32_t figureDX_[kFigureEntries] = {};
  int32_t figureDY_[kFigureEntries] = {};
  double figureWeight_[kFigureEntries] = {};
  WaveState wave_;
  // Colour planes, PlaneRows x PlaneColumns each, [row][column] row-major.
  ZeroBuffer<int32_t> redPlane_, greenPlane_, bluePlane_;

  GeneratorShape shape_;
  GeneratorCapacity cap_;
  // Shares set-up and frame work with a second core; its one thread lives
  // as long as the generator and serves the renderer too.
  fastgen::FrameWorkers workers_;
  std::vector<InnerRing> innerRings_;
  std::vector<std::size_t> ringChunks_;  // first inner ring of each chunk, then the end
  // The renderer Tavorensia uses unless the reference is forced; made at
  // the first set-up or frame, working on workers_.
  std::unique_ptr<fastgen::FastRenderer> fast_;
  Settings& settings_;
  RandomGenerator& random_;
};

}  // namespace tav
