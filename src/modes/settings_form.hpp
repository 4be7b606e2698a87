#pragma once
// TForm2: the settings window's state and handlers. The live preview, six
// sliders, "Random", "Save Settings" and "Render Wallpaper". The window code
// draws the controls and calls the handlers; everything here runs without a
// display, so the handlers can be driven directly.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "generator/settings.hpp"
#include "display/dib.hpp"
#include "display/timer.hpp"
#include "modes/save_wallpaper_dialog.hpp"
#include "modes/wallpaper_sizes.hpp"
#include "generator/random.hpp"

namespace tav {

class PatternGenerator;

// What the settings window needs of its display area.
class FormSurface {
 public:
  virtual ~FormSurface() = default;
  virtual void Finalize() = 0;
  // Windowed with stretching, back surface width x height, then Initialize.
  virtual void InitializeWindowed(int width, int height, int bitCount) = 0;
  virtual bool ReadyToDraw() = 0;
  virtual void Fill(uint32_t color) = 0;
  virtual void LoadFromBitmap(const TDIB& bitmap) = 0;
  virtual void Flip() = 0;
};

// A horizontal slider: Min..Max and the position it rests at.
struct Slider {
  int Min = 0, Max = 100, Position = 0;
};

// The largest size whose width fits a screen this wide (1 when narrower than 640).
int FittingWallpaperSize(int screenWidth);

class TForm2 final : public WallpaperOwner {
 public:
  static constexpr const char* kCaption = "Settings, Wallpaper Tools";
  static constexpr int kClientWidth = 400;
  static constexpr int kClientHeight = 425;
  static constexpr int kPreviewWidth = 400;
  static constexpr int kPreviewHeight = 300;
  static constexpr int kEsc = 27;

  // surface may be null (no display): frames are then computed, not shown.
  TForm2(IdleHost& host, FormSurface* surface);
  ~TForm2() override;
  TForm2(const TForm2&) = delete;
  TForm2& operator=(const TForm2&) = delete;

  // The monitors' sizes in pixels, before FormCreate: the "Wallpaper Size"
  // slider offers each after the six sizes.
  void SetMonitors(std::vector<WallpaperSize> monitors) { monitors_ = std::move(monitors); }
  const std::vector<WallpaperChoice>& SizeChoices() const { return sizeChoices_; }

  // The display area, once the window has one (null: none).
  void SetSurface(FormSurface* surface) { surface_ = surface; }

  // Handlers, as the window's components bind them.
  void FormCreate(int screenWidth, int displayBitCount);  // the window is made
  void DXTimerTimer();      // DXTimer: one preview frame every 31 ms
  void TrackBar1Change();   // the "Speed" slider: Fast
  void TrackBar2Change();   // the "Wallpaper Size" slider: Bright and the resolution text
  void TrackBar3Change();   // the "Detailed" slider: Satiation
  void TrackBar4Change();   // the "Picture" slider: Picture
  void TrackBar5Change();   // the "Vanguard" slider: Blur
  void TrackBar6Change();   // the "Color" slider: Color
  void CheckBox1Click();    // the "Random" check box: Rands
  void Button1Click();      // the "Save Settings" button
  void Button2Click();      // the "Render Wallpaper" button
  void FormKeyDown(int key);  // any key in the window; Esc ends the program

  // Moves slider i (1..6) as a user or the program would: the value is
  // clamped to the range, and the change handler runs only when the
  // position actually changes.
  void SetTrackBarPosition(int i, int value);
  Slider& TrackBar(int i) { return trackBars_.at(i - 1); }
  const Slider& TrackBar(int i) const { return trackBars_.at(i - 1); }

  // Toggles the check box and runs its handler.
  void SetCheckBox1(bool checked);
  bool CheckBox1Checked() const { return checkBox1_; }

  const std::string& StaticText7() const { return staticText7_; }
  bool CloseRequested() const { return closeRequested_; }
  void RequestClose() { closeRequested_ = true; }

  // The dialogs opened by "Render Wallpaper" (hidden ones included until the
  // next render clears them away).
  std::vector<std::unique_ptr<TOKRightDlg>>& Dialogs() { return dialogs_; }

  // WallpaperOwner
  std::string& PathWall() override { return Settings.Path_Wall; }
  const TDIB& Wallpaper() const override { return WallpaperBitmap; }
  int32_t& WallpaperCount() override { return wallpaperCount_; }
  void HandBack() override;
  BackgroundResult SetDesktopBackground(const std::string& file, const TDIB& image) override;

  // Sets the root window's background pixmap, for a plain X11 desktop; the
  // window provides it (X lives there). None: that way is not offered.
  std::function<BackgroundResult(const TDIB&)> SetRootPixmap;

  tav::Settings Settings;
  RandomGenerator Rng;
  TDXTimer DXTimer;
  int ScreenWidth = 0;
  int DisplayBitCount = 0;
  int32_t WallpaperWidth = 0, WallpaperHeight = 0;
  TDIB WallpaperBitmap;
  int32_t PreviewRestore = 0;

  // The settings window's generator instance, read-only: the handlers call
  // its mode operations.
  const PatternGenerator& Generator() const { return *generator_; }

 private:
  void ApplySizeTable();
  // Slider position (1-based) of a "WxH" among the choices past the six; 0 if none.
  int MonitorSizePosition(const std::string& wallSize) const;
  std::string ResolutionText() const;
  void RunChangeHandler(int i);

  FormSurface* surface_;
  std::unique_ptr<PatternGenerator> generator_;
  std::array<Slider, 6> trackBars_{{{0, 100, 0}, {1, 6, 1}, {0, 100, 50}, {0, 100, 0}, {0, 100, 1}, {0, 10, 0}}};
  std::vector<WallpaperSize> monitors_;
  std::vector<WallpaperChoice> sizeChoices_ = WallpaperSizeChoices({});
  bool checkBox1_ = false;
  std::string staticText7_ = "Resolution";
  bool closeRequested_ = false;
  int32_t wallpaperCount_ = 0;
  std::vector<std::unique_ptr<TOKRightDlg>> dialogs_;
};

}  // namespace tav
