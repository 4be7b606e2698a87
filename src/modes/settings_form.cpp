#include "modes/settings_form.hpp"

#include <algorithm>

#include "settings/settings_store.hpp"
#include "generator/generator.hpp"
#include "generator/large_wallpaper.hpp"

namespace tav {

namespace {
// "WxH", as Wall_Size stores a size.
std::string SizeText(const WallpaperChoice& c) {
  return std::to_string(c.Width) + "x" + std::to_string(c.Height);
}
}  // namespace

int FittingWallpaperSize(int screenWidth) {
  int best = 1;
  for (int i = 0; i < static_cast<int>(kWallpaperSizes.size()); ++i) {
    if (kWallpaperSizes[i].Width <= screenWidth) best = i + 1;
  }
  return best;
}

TForm2::TForm2(IdleHost& host, FormSurface* surface)
    : DXTimer(host),
      surface_(surface),
      generator_(std::make_unique<PatternGenerator>(GeneratorShape::SettingsWindow, Settings, Rng)) {
  DXTimer.SetInterval(31);
  DXTimer.SetActiveOnly(true);
  DXTimer.OnTimer = [this](TDXTimer&, uint32_t) { DXTimerTimer(); };
  DXTimer.SetEnabled(true);
  DXTimer.Loaded();
}

TForm2::~TForm2() {
  // The timer must not call into a half-destroyed form.
  DXTimer.SetEnabled(false);
  DXTimer.OnTimer = nullptr;
}

void TForm2::FormCreate(int screenWidth, int displayBitCount) {
  ScreenWidth = screenWidth;

  // The random picks of Picture, Blur and Color happen inside the load, so
  // the generator is seeded first; nothing before the picks draws from it.
  Rng.Randomize();
  const auto damaged = LoadSettingsWindowSettings(Settings, Rng, screenWidth);

  checkBox1_ = Settings.Rands == 1;
  DisplayBitCount = displayBitCount;

  sizeChoices_ = WallpaperSizeChoices(monitors_);
  TrackBar(2).Max = static_cast<int>(sizeChoices_.size());
  // A Bright outside the table (a first run on a screen of another width)
  // would leave the wallpaper 0 x 0: take the largest size the screen holds,
  // or rather, when nothing else was chosen, the screen's own size.
  int sizePosition = MonitorSizePosition(Settings.Wall_Size);
  if (Settings.Bright < 1 || Settings.Bright > static_cast<int32_t>(kWallpaperSizes.size())) {
    Settings.Bright = FittingWallpaperSize(screenWidth);
    for (std::size_t i = kWallpaperSizes.size(); i < sizeChoices_.size() && !sizePosition; ++i) {
      if (sizeChoices_[i].Width == screenWidth) sizePosition = static_cast<int>(i) + 1;
    }
  }
  if (sizePosition) Settings.Wall_Size = SizeText(sizeChoices_[static_cast<std::size_t>(sizePosition) - 1]);
  ApplySizeTable();

  WallpaperBitmap.SetBitCount(24);
  WallpaperBitmap.SetSize(kPreviewWidth, kPreviewHeight);
  staticText7_ = ResolutionText();

  SetTrackBarPosition(1, Settings.Fast);
  {
    // Positioning the slider on one of the six is no choice of the user's:
    // a stored monitor size that is not there now stays stored.
    const std::string stored = Settings.Wall_Size;
    SetTrackBarPosition(2, sizePosition ? sizePosition : Settings.Bright);
    Settings.Wall_Size = stored;
  }
  SetTrackBarPosition(3, Settings.Satiation);
  SetTrackBarPosition(4, Settings.Picture);
  SetTrackBarPosition(5, Settings.Blur);
  SetTrackBarPosition(6, Settings.Color);

  generator_->SetupSettingsWindow(kPreviewWidth, kPreviewHeight);

  if (surface_) {
    surface_->Finalize();
    surface_->InitializeWindowed(kPreviewWidth, kPreviewHeight, DisplayBitCount);
  }
  // Reported once the window is complete: the defaults stand in meanwhile.
  if (damaged) throw *damaged;
}

void TForm2::DXTimerTimer() {
  PatternGenerator& gen = *generator_;
  if (PreviewRestore == 1) {
    gen.RestorePreview(kPreviewWidth, kPreviewHeight);
    PreviewRestore = 0;
    WallpaperBitmap.SetSize(kPreviewWidth, kPreviewHeight);
  }
  gen.PreviewTick();
  if (surface_ && surface_->ReadyToDraw()) {
    surface_->Fill(0);
    surface_->LoadFromBitmap(gen.FieldBitmap());
    surface_->Flip();
  }
}

void TForm2::SetTrackBarPosition(int i, int value) {
  Slider& bar = TrackBar(i);
  const int clamped = std::clamp(value, bar.Min, bar.Max);
  if (clamped == bar.Position) return;
  bar.Position = clamped;
  RunChangeHandler(i);
}

void TForm2::RunChangeHandler(int i) {
  switch (i) {
    case 1: TrackBar1Change(); break;
    case 2: TrackBar2Change(); break;
    case 3: TrackBar3Change(); break;
    case 4: TrackBar4Change(); break;
    case 5: TrackBar5Change(); break;
    case 6: TrackBar6Change(); break;
    default: break;
  }
}

void TForm2::TrackBar1Change() { Settings.Fast = TrackBar(1).Position; }

void TForm2::TrackBar2Change() {
  const int position = TrackBar(2).Position;
  if (position > static_cast<int>(kWallpaperSizes.size()) &&
      position <= static_cast<int>(sizeChoices_.size())) {
    Settings.Wall_Size = SizeText(sizeChoices_[static_cast<std::size_t>(position) - 1]);
  } else {
    Settings.Bright = position;
    Settings.Wall_Size.clear();
  }
  ApplySizeTable();
  staticText7_ = ResolutionText();
}

void TForm2::TrackBar3Change() { Settings.Satiation = TrackBar(3).Position; }
void TForm2::TrackBar4Change() { Settings.Picture = TrackBar(4).Position; }
void TForm2::TrackBar5Change() { Settings.Blur = TrackBar(5).Position; }
void TForm2::TrackBar6Change() { Settings.Color = TrackBar(6).Position; }

void TForm2::SetCheckBox1(bool checked) {
  if (checked == checkBox1_) return;
  checkBox1_ = checked;
  CheckBox1Click();
}

void TForm2::CheckBox1Click() { Settings.Rands = checkBox1_ ? 1 : 0; }

void TForm2::Button1Click() { SaveSettings(Settings); }

void TForm2::Button2Click() {
  // Dialogs that went away earlier are of no further use.
  std::erase_if(dialogs_, [](const auto& d) { return !d->Visible(); });

  // A monitor's size may exceed the largest field the generator holds.
  RenderWallpaperOfSize(*generator_, WallpaperWidth, WallpaperHeight, WallpaperBitmap);
  DXTimer.SetEnabled(false);

  dialogs_.push_back(std::make_unique<TOKRightDlg>(*this, CurrentSaveDriveRoots()));
  try {
    dialogs_.back()->FormCreate();
  } catch (...) {
    // A dialog that never showed has no way out that would hand the preview
    // back, so hand it back here rather than leave the preview frozen.
    dialogs_.pop_back();
    HandBack();
    throw;
  }
}

void TForm2::FormKeyDown(int key) {
  if (key == kEsc) closeRequested_ = true;
}

BackgroundResult TForm2::SetDesktopBackground(const std::string& file, const TDIB& image) {
  std::function<BackgroundResult()> rootPixmap;
  if (SetRootPixmap) rootPixmap = [&] { return SetRootPixmap(image); };
  return tav::SetDesktopBackground(file, rootPixmap);
}

void TForm2::HandBack() {
  PreviewRestore = 1;
  DXTimer.SetEnabled(true);
}

int TForm2::MonitorSizePosition(const std::string& wallSize) const {
  for (std::size_t i = kWallpaperSizes.size(); i < sizeChoices_.size(); ++i) {
    if (wallSize == SizeText(sizeChoices_[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

void TForm2::ApplySizeTable() {
  if (const int p = MonitorSizePosition(Settings.Wall_Size)) {
    WallpaperWidth = sizeChoices_[static_cast<std::size_t>(p) - 1].Width;
    WallpaperHeight = sizeChoices_[static_cast<std::size_t>(p) - 1].Height;
    return;
  }
  if (Settings.Bright < 1 || Settings.Bright > static_cast<int32_t>(kWallpaperSizes.size())) return;
  WallpaperWidth = kWallpaperSizes[Settings.Bright - 1].Width;
  WallpaperHeight = kWallpaperSizes[Settings.Bright - 1].Height;
}

// The choice's label: "-Your Desktop" when a monitor has the wallpaper's
// width and height.
std::string TForm2::ResolutionText() const {
  for (const WallpaperChoice& c : sizeChoices_) {
    if (c.Width == WallpaperWidth && c.Height == WallpaperHeight) return c.Label;
  }
  return std::to_string(WallpaperWidth) + "x" + std::to_string(WallpaperHeight);
}

}  // namespace tav
