// The settings window's handlers, driven directly: slider positioning at
// creation, the preview's layout, field size and blur as "Detailed" moves,
// which sliders re-run the set-up, the resolution text, "Save Settings",
// "Render Wallpaper" and the way back to the preview.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include <unistd.h>

#include "modes/settings_form.hpp"
#include "forms_test_support.hpp"
#include "generator/generator.hpp"

namespace {

using formtest::Host;
using formtest::Sandbox;
using formtest::Surface;
using tav::TForm2;

struct Window {
  Host host;
  Surface surface;
  TForm2 form{host, &surface};
  explicit Window(int screenWidth = 1024, std::vector<tav::WallpaperSize> monitors = {{1024, 768}}) {
    form.SetMonitors(std::move(monitors));
    form.FormCreate(screenWidth, 24);
  }
};

// The frame as the surface got it equals the low bytes of the planes: no
// blur was applied between the copy and the surface.
bool ShownFrameIsThePlanes(TForm2& form, const Surface& s) {
  auto& gen = form.Generator();
  if (s.loadedWidth != gen.FieldWidth() || s.loadedHeight != gen.FieldHeight()) return false;
  for (int y = 0; y < gen.FieldHeight(); ++y) {
    for (int x = 0; x < gen.FieldWidth(); ++x) {
      const uint8_t* p = &s.loaded[(static_cast<size_t>(y) * gen.FieldWidth() + x) * 3];
      if (p[0] != static_cast<uint8_t>(gen.Blue(y, x)) || p[1] != static_cast<uint8_t>(gen.Green(y, x)) ||
          p[2] != static_cast<uint8_t>(gen.Red(y, x)))
        return false;
    }
  }
  return true;
}

TEST(SettingsForm, DetailedSwitchesLayoutFieldAndBlur) {
  Sandbox box;
  box.StoreSet(20, 1, 100, 30, 10, 2, 0, box.Folder("pics"));
  Window w;
  // In the order a user drags the slider: each row's tick sees the change.
  const struct {
    int satiation;
    bool fine;
    int fieldW, fieldH;
    bool blurred;
  } cases[] = {
      {59, false, 381, 286, false}, {60, true, 179, 134, true}, {89, true, 276, 207, true},
      {90, true, 283, 212, false},  {0, false, 151, 113, false}, {50, false, 283, 212, false},
      {100, true, 400, 300, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.satiation);
    w.form.SetTrackBarPosition(3, c.satiation);
    w.form.DXTimerTimer();
    auto& gen = w.form.Generator();
    EXPECT_EQ(w.form.Settings.Satiation, c.satiation);
    EXPECT_EQ(gen.FineLayout(), c.fine);
    EXPECT_EQ(gen.FieldWidth(), c.fieldW);
    EXPECT_EQ(gen.FieldHeight(), c.fieldH);
    EXPECT_EQ(w.surface.loadedWidth, c.fieldW);
    EXPECT_EQ(!ShownFrameIsThePlanes(w.form, w.surface), c.blurred);
  }
}

TEST(SettingsForm, OnlyDetailedAndPictureRerunTheSetUp) {
  const struct {
    const char* name;
    int slider, value;
    bool setUp;
  } cases[] = {
      {"Speed", 1, 77, false},   {"Vanguard", 5, 64, false}, {"Color", 6, 7, false},
      {"Picture", 4, 71, true},  {"Detailed", 3, 40, true},  {"Wallpaper Size", 2, 4, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    box.StoreSet(20, 1, 100, 30, 10, 2, 0, box.Folder("pics"));
    Window w;
    w.form.DXTimerTimer();
    // A set-up replaces the field bitmap; a plain frame writes into the one
    // there is (nothing else holds its store, and Detailed 100 does not blur).
    const uint8_t* before = w.form.Generator().FieldBitmap().Bits();
    w.form.SetTrackBarPosition(c.slider, c.value);
    w.form.DXTimerTimer();
    EXPECT_EQ(w.form.Generator().FieldBitmap().Bits() != before, c.setUp);
  }
}

TEST(SettingsForm, StoredValuesAreClampedOnlyWhenTheSliderMoves) {
  const struct {
    const char* name;
    int slider;
    int32_t tav::Settings::*field;
    int stored, position, setting;
  } cases[] = {
      // Initial positions: Speed 0, Detailed 50, Picture 0, Vanguard 1, Color 0.
      {"Detailed 150", 3, &tav::Settings::Satiation, 150, 100, 100},
      {"Color 50", 6, &tav::Settings::Color, 50, 10, 10},
      {"Vanguard -7", 5, &tav::Settings::Blur, -7, 0, 0},
      {"Speed -5 keeps -5", 1, &tav::Settings::Fast, -5, 0, -5},
      {"Picture -1 keeps -1", 4, &tav::Settings::Picture, -1, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    tav::Settings s{20, 1, 100, 30, 10, 2, 0, box.Folder("pics")};
    s.*c.field = c.stored;
    box.StoreSet(s.Fast, s.Bright, s.Satiation, s.Picture, s.Blur, s.Color, s.Rands, s.Path_Wall);
    Window w;
    EXPECT_EQ(w.form.TrackBar(c.slider).Position, c.position);
    EXPECT_EQ(w.form.Settings.*c.field, c.setting);
  }
}

TEST(SettingsForm, DetailedClampedBeforeZoomIsFirstComputed) {
  Sandbox box;
  box.StoreSet(20, 1, 150, 30, 10, 2, 0, box.Folder("pics"));
  Window w;
  EXPECT_EQ(w.form.Generator().Zoom(), 1.0);
  EXPECT_EQ(w.form.Generator().FieldWidth(), 400);
  // The set-up noted the Zoom it ran with: the first tick builds no new layout.
  const uint64_t serial = w.form.Generator().Layout().serial;
  w.form.DXTimerTimer();
  EXPECT_EQ(w.form.Generator().Layout().serial, serial);
}

TEST(SettingsForm, RandomAtCreationShowsAndSavesTheDrawnValues) {
  for (int run = 0; run < 12; ++run) {
    SCOPED_TRACE(run);
    Sandbox box;
    box.StoreSet(33, 2, 70, 100, 100, 10, 1, box.Folder("pics"));
    Window w;
    const auto& s = w.form.Settings;
    EXPECT_TRUE(w.form.CheckBox1Checked());
    EXPECT_EQ(w.form.TrackBar(4).Position, s.Picture);
    EXPECT_EQ(w.form.TrackBar(5).Position, s.Blur);
    EXPECT_EQ(w.form.TrackBar(6).Position, s.Color);
    EXPECT_LE(s.Picture, 99);
    EXPECT_LE(s.Blur, 99);
    EXPECT_GE(s.Color, 0);
    EXPECT_LE(s.Color, 4);
    w.form.Button1Click();
    EXPECT_EQ(box.Int("Fast"), 33);
    EXPECT_EQ(box.Int("Bright"), 2);
    EXPECT_EQ(box.Int("Satiation"), 70);
    EXPECT_EQ(box.Int("Picture"), s.Picture);
    EXPECT_EQ(box.Int("Blur"), s.Blur);
    EXPECT_EQ(box.Int("Color"), s.Color);
    EXPECT_EQ(box.Int("Rands"), 1);
  }
}

TEST(SettingsForm, UncheckingRandomChangesOnlyRands) {
  Sandbox box;
  box.StoreSet(33, 2, 70, 40, 50, 3, 1, box.Folder("pics"));
  Window w;
  const tav::Settings before = w.form.Settings;
  w.form.SetCheckBox1(false);
  EXPECT_EQ(w.form.Settings.Rands, 0);
  EXPECT_EQ(w.form.Settings.Picture, before.Picture);
  EXPECT_EQ(w.form.Settings.Blur, before.Blur);
  EXPECT_EQ(w.form.Settings.Color, before.Color);
  w.form.Button1Click();
  EXPECT_EQ(box.Int("Rands"), 0);
  EXPECT_EQ(box.String("Path_Wall"), box.Folder("pics"));  // "Save Settings" leaves the folder alone
}

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "Save Settings" where the hive cannot be written raises (the window shows
// it in the error box) with the file and the system's reason. Root writes
// through a folder's mode bits, so as root the read-only folder is left out
// and the other ways, which hold for root too, stand for it.
TEST(SettingsForm, SaveSettingsThatCannotBeWrittenSaysWhichFileAndWhy) {
  enum Way { kReadOnlyFolder, kConfigIsAFile, kLockIsAFolder };
  const struct {
    const char* what;
    Way way;
    bool stored;               // a hive with the key exists beforehand
    std::string file, reason;  // relative to the sandbox
  } cases[] = {
      {"read-only folder", kReadOnlyFolder, true, "config/tavorensia", "Permission denied"},
      {"read-only folder, no hive yet", kReadOnlyFolder, false, "config/tavorensia/registry.reg.lock",
       "Permission denied"},
      {"config folder under a file", kConfigIsAFile, false, "file/tavorensia", "Not a directory"},
      {"lock name taken by a folder", kLockIsAFolder, true, "config/tavorensia/registry.reg.lock", "Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.way == kReadOnlyFolder && ::geteuid() == 0) {
      std::cout << "[ SKIPPED  ] " << c.what << ": root writes into a folder of mode 0500\n";
      continue;
    }
    Sandbox box;
    if (c.stored) box.StoreSet(33, 2, 70, 40, 50, 3, 0, box.Folder("pics"));
    const fs::path folder = box.Root() / "config" / "tavorensia";
    if (c.way == kReadOnlyFolder) {
      fs::create_directories(folder);
      fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    } else if (c.way == kConfigIsAFile) {
      std::ofstream(box.Root() / "file") << "x";
      ::setenv("XDG_CONFIG_HOME", (box.Root() / "file").c_str(), 1);
    } else {
      fs::remove(folder / "registry.reg.lock");
      fs::create_directories(folder / "registry.reg.lock");
    }
    const std::string before = c.stored ? ReadText(box.Hive()) : "";
    Window w;
    std::string error;
    try {
      w.form.Button1Click();
    } catch (const tav::ERegistryException& e) {
      error = e.what();
    }
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, ec);  // lets the sandbox go
    EXPECT_NE(error.find((box.Root() / c.file).string() + ": " + c.reason), std::string::npos) << error;
    if (c.stored) EXPECT_EQ(ReadText(box.Hive()), before);  // nothing half-written
  }
}

TEST(SettingsForm, ResolutionTextAndWallpaperSize) {
  using Monitors = std::vector<tav::WallpaperSize>;
  const struct {
    Monitors monitors;
    int storedBright;
    const char* storedWallSize;
    int slider;
    const char* text;
    int width, height;
    int bright;            // in memory afterwards
    const char* wallSize;  // in memory afterwards
  } cases[] = {
      {{{1280, 1024}}, 1, "", 5, "1280x1024-Your Desktop", 1280, 1024, 5, ""},
      {{{1280, 1024}}, 1, "", 6, "1600x1200", 1600, 1200, 6, ""},
      {{{1024, 768}}, 1, "", 2, "800x600", 800, 600, 2, ""},
      {{{1024, 768}}, 3, "", 0, "1024x768-Your Desktop", 1024, 768, 3, ""},  // slider 0: as created
      // Width alone no longer makes it the desktop's size.
      {{{1280, 800}}, 5, "", 0, "1280x1024", 1280, 1024, 5, ""},
      {{{1280, 800}}, 5, "", 7, "1280x800-Your Desktop", 1280, 800, 5, "1280x800"},
      // Bright outside the table: the screen's own size, or the largest of
      // the six the screen holds.
      {{{1366, 768}}, 0, "", 0, "1366x768-Your Desktop", 1366, 768, 5, "1366x768"},
      {{}, 0, "", 0, "1280x1024", 1280, 1024, 5, ""},
      {{{600, 400}}, -2, "", 0, "600x400-Your Desktop", 600, 400, 1, "600x400"},
      // A stored monitor size: chosen again while that monitor is there...
      {{{1920, 1080}, {2560, 1440}}, 2, "2560x1440", 0, "2560x1440-Your Desktop", 2560, 1440, 2,
       "2560x1440"},
      // ...and kept, unused, while it is not.
      {{{1920, 1080}}, 2, "2560x1440", 0, "800x600", 800, 600, 2, "2560x1440"},
      // Back to one of the six: Wall_Size is dropped.
      {{{2560, 1440}}, 2, "2560x1440", 3, "1024x768", 1024, 768, 3, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " stored " + c.storedWallSize);
    Sandbox box;
    box.StoreSet(20, c.storedBright, 100, 30, 10, 2, 0, box.Folder("pics"));
    box.StoreString("Wall_Size", c.storedWallSize);
    Window w(c.monitors.empty() ? 1366 : c.monitors.front().Width, c.monitors);
    if (c.slider) w.form.SetTrackBarPosition(2, c.slider);
    EXPECT_EQ(w.form.StaticText7(), c.text);
    EXPECT_EQ(w.form.WallpaperWidth, c.width);
    EXPECT_EQ(w.form.WallpaperHeight, c.height);
    EXPECT_EQ(w.form.Settings.Bright, c.bright);
    EXPECT_EQ(w.form.Settings.Wall_Size, c.wallSize);
  }
}

// A first run on a screen none of the six fits stores Bright 0 as it always
// did; "Save Settings" then stores the six-size fallback in Bright and the
// screen's own size in Wall_Size.
TEST(SettingsForm, FirstRunOnAWideScreenOffersTheScreensOwnSize) {
  Sandbox box;  // no key at all
  Window w(1920, {{1920, 1080}, {1280, 1024}});
  EXPECT_EQ(box.Int("Bright"), 0);
  EXPECT_EQ(w.form.StaticText7(), "1920x1080-Your Desktop");
  EXPECT_EQ(w.form.TrackBar(2).Position, 7);
  w.form.Button1Click();
  EXPECT_EQ(box.Int("Bright"), 6);
  EXPECT_EQ(box.String("Wall_Size"), "1920x1080");
}

TEST(SettingsForm, FirstRunOnAnOddScreenFallsBackToAFittingSize) {
  Sandbox box;  // no key at all
  Window w(1366, {});  // no monitor reported
  EXPECT_EQ(w.form.Settings.Satiation, 100);
  EXPECT_EQ(w.form.Settings.Bright, 5);
  EXPECT_EQ(w.form.StaticText7(), "1280x1024");
  w.form.Button2Click();
  EXPECT_EQ(w.form.WallpaperBitmap.Width(), 1280);
  EXPECT_EQ(w.form.WallpaperBitmap.Height(), 1024);
}

TEST(SettingsForm, EscEndsTheProgramOtherKeysDoNot) {
  Sandbox box;
  box.StoreSet(20, 1, 100, 30, 10, 2, 0, box.Folder("pics"));
  Window w;
  for (int key : {13, 32, 65, 37, 112}) w.form.FormKeyDown(key);
  EXPECT_FALSE(w.form.CloseRequested());
  w.form.FormKeyDown(27);
  EXPECT_TRUE(w.form.CloseRequested());
}

TEST(SettingsForm, PreviewIsShownOnlyWhenTheSurfaceIsReady) {
  Sandbox box;
  box.StoreSet(20, 1, 100, 30, 10, 2, 0, box.Folder("pics"));
  Window w;
  EXPECT_EQ(w.surface.width, 400);
  EXPECT_EQ(w.surface.height, 300);
  w.form.DXTimerTimer();
  EXPECT_EQ(w.surface.flips, 1);
  EXPECT_EQ(w.surface.fills, 1);
  w.surface.ready = false;
  w.form.DXTimerTimer();
  EXPECT_EQ(w.surface.flips, 1);
  // Still computed: the field holds the new frame.
  bool any = false;
  const auto& fb = w.form.Generator().FieldBitmap();
  for (int y = 0; y < fb.Height() && !any; ++y)
    for (int x = 0; x < fb.Width() * 3; ++x) any = any || fb.ScanLineRead(y)[x] != 0;
  EXPECT_TRUE(any);
}

// A monitor size beyond the generator's largest field is rendered at its own
// size and aspect.
TEST(SettingsForm, LargeMonitorSizeKeepsItsAspect) {
  const tav::WallpaperSize monitors[] = {{1920, 1080}, {3840, 1600}, {1080, 1920}};
  for (const auto& monitor : monitors) {
    SCOPED_TRACE(monitor.Width);
    Sandbox box;
    box.StoreSet(20, 1, 100, 30, 10, 2, 0, box.Folder("pics"));
    box.StoreString("Wall_Size", std::to_string(monitor.Width) + "x" + std::to_string(monitor.Height));
    Window w(monitor.Width, {monitor});
    w.form.DXTimerTimer();
    w.form.Button2Click();
    EXPECT_EQ(w.form.WallpaperBitmap.Width(), monitor.Width);
    EXPECT_EQ(w.form.WallpaperBitmap.Height(), monitor.Height);
  }
}

TEST(SettingsForm, RenderWallpaperScalesTheFieldAndFreezesThePreview) {
  const struct {
    int satiation, fieldW, fieldH;
  } cases[] = {{100, 640, 480}, {50, 453, 339}, {75, 342, 257}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.satiation);
    Sandbox box;
    box.StoreSet(20, 1, c.satiation, 30, 10, 2, 0, box.Folder("pics"));
    Window w;
    w.form.DXTimerTimer();
    const int flips = w.surface.flips;
    w.form.Button2Click();
    auto& gen = w.form.Generator();
    EXPECT_EQ(gen.FieldWidth(), c.fieldW);
    EXPECT_EQ(gen.FieldHeight(), c.fieldH);
    EXPECT_EQ(w.form.WallpaperBitmap.Width(), 640);
    EXPECT_EQ(w.form.WallpaperBitmap.Height(), 480);
    EXPECT_FALSE(w.form.DXTimer.Enabled());
    EXPECT_EQ(w.surface.flips, flips);  // nothing presented by the render
    // Nearest-pixel scaling: the wallpaper's corners are the field's corners.
    const auto& wp = w.form.WallpaperBitmap;
    const auto& fb = gen.FieldBitmap();
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(wp.ScanLineRead(0)[k], fb.ScanLineRead(0)[k]);
      EXPECT_EQ(wp.ScanLineRead(479)[639 * 3 + k], fb.ScanLineRead(c.fieldH - 1)[(c.fieldW - 1) * 3 + k]);
    }
    if (c.satiation == 100) {
      for (int y = 0; y < 480; y += 37)
        EXPECT_EQ(0, std::memcmp(wp.ScanLineRead(y), fb.ScanLineRead(y), 640 * 3)) << y;
    }
    ASSERT_EQ(w.form.Dialogs().size(), 1u);
    EXPECT_TRUE(w.form.Dialogs()[0]->Visible());
    EXPECT_EQ(w.form.Dialogs()[0]->Edit, "Tavorensia0");
  }
}

TEST(SettingsForm, EveryWayOutOfTheDialogRestoresThePreview) {
  const struct {
    const char* name;
    void (tav::TOKRightDlg::*way)();
    int count;
  } cases[] = {
      {"Save", &tav::TOKRightDlg::OKBtnClick, 1},
      {"Cancel", &tav::TOKRightDlg::CancelBtnClick, 0},
      {"close box", &tav::TOKRightDlg::FormClose, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    const std::string pics = box.Folder("pics");
    box.StoreSet(20, 2, 100, 30, 10, 2, 0, pics);
    Window w;
    w.form.DXTimerTimer();
    w.form.Button2Click();
    auto& dlg = *w.form.Dialogs()[0];
    (dlg.*c.way)();
    EXPECT_FALSE(dlg.Visible());
    EXPECT_TRUE(w.form.DXTimer.Enabled());
    EXPECT_EQ(w.form.PreviewRestore, 1);
    EXPECT_EQ(w.form.WallpaperCount(), c.count);
    EXPECT_EQ(std::filesystem::exists(std::filesystem::path(pics) / "Tavorensia0.bmp"), c.count == 1);
    w.form.DXTimerTimer();
    EXPECT_EQ(w.form.PreviewRestore, 0);
    EXPECT_EQ(w.form.Generator().FieldWidth(), 400);
    EXPECT_EQ(w.form.Generator().FieldHeight(), 300);
    EXPECT_EQ(w.form.WallpaperBitmap.Width(), 400);
    EXPECT_EQ(w.form.WallpaperBitmap.Height(), 300);
    EXPECT_EQ(w.surface.loadedWidth, 400);
    // The next dialog offers the next name only after a save.
    w.form.Button2Click();
    EXPECT_EQ(w.form.Dialogs().back()->Edit, "Tavorensia" + std::to_string(c.count));
  }
}

TEST(SettingsForm, SecondDialogWhileOneIsOpen) {
  Sandbox box;
  const std::string pics = box.Folder("pics");
  box.StoreSet(20, 1, 100, 30, 10, 2, 0, pics);
  Window w;
  w.form.DXTimerTimer();
  w.form.Button2Click();
  w.form.SetTrackBarPosition(2, 2);  // 800 x 600 for the second render
  w.form.Button2Click();
  ASSERT_EQ(w.form.Dialogs().size(), 2u);
  auto& first = *w.form.Dialogs()[0];
  auto& second = *w.form.Dialogs()[1];
  EXPECT_TRUE(first.Visible());
  EXPECT_TRUE(second.Visible());
  EXPECT_EQ(w.form.WallpaperBitmap.Width(), 800);

  first.Edit = "first";
  first.OKBtnClick();
  EXPECT_FALSE(first.Visible());
  EXPECT_TRUE(second.Visible());
  // The first dialog's hand-back brings the preview back while the second
  // is still open; the second still saves the wallpaper rendered for it.
  w.form.DXTimerTimer();
  EXPECT_EQ(w.form.WallpaperBitmap.Width(), 400);
  second.Edit = "second";
  second.OKBtnClick();
  EXPECT_EQ(w.form.WallpaperCount(), 2);

  auto sizeOf = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<uint8_t> h(26);
    in.read(reinterpret_cast<char*>(h.data()), 26);
    auto le = [&](int o) { return h[o] | h[o + 1] << 8 | h[o + 2] << 16 | h[o + 3] << 24; };
    return std::pair<int, int>(le(18), le(22));
  };
  EXPECT_EQ(sizeOf(std::filesystem::path(pics) / "first.bmp"), std::make_pair(640, 480));
  EXPECT_EQ(sizeOf(std::filesystem::path(pics) / "second.bmp"), std::make_pair(800, 600));
}

}  // namespace
