// "tavorensia /c" end to end under Xvfb: the live preview, "Save Settings",
// "Render Wallpaper" with the save dialog, and Esc.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/desktop_scale.hpp"
#include "settings/registry.hpp"
#include "harness.hpp"
#include "staging.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Controls of the settings window, client coordinates.
constexpr int kSaveSettingsX = 11 + 57, kSaveSettingsY = 405 + 8;
constexpr int kRenderX = 132 + 66, kRenderY = 405 + 8;

class SettingsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x_.Ok());
    dir_ = tavtest::TempDir();
    fs::create_directories(dir_ + "/config");
    fs::create_directories(dir_ + "/pics");
  }
  void TearDown() override {
    app_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Hive() const { return dir_ + "/config/tavorensia/registry.reg"; }

  void Store(int fast, int bright, int satiation, int picture, int blur, int color, int rands) {
    tav::Registry r(Hive());
    ASSERT_TRUE(r.OpenKey("\\Software\\Tavorensia\\", true));
    r.WriteInteger("Fast", fast);
    r.WriteInteger("Bright", bright);
    r.WriteInteger("Satiation", satiation);
    r.WriteInteger("Picture", picture);
    r.WriteInteger("Blur", blur);
    r.WriteInteger("Color", color);
    r.WriteInteger("Rands", rands);
    r.WriteString("Path_Wall", dir_ + "/pics");
  }
  int32_t Stored(const std::string& name) {
    tav::Registry r(Hive());
    if (!r.OpenKey("\\Software\\Tavorensia\\", false)) return INT32_MIN;
    return r.ReadInteger(name);
  }

  // Starts the window and gives it the focus; its id. Leak checking is off
  // for the program: SDL's session-bus library leaves blocks behind at exit
  // that no suppression can name. The forms' own code is leak-checked by the
  // handler tests, in process.
  unsigned long Start() {
    app_ = std::make_unique<tavtest::Process>(
        std::vector<std::string>{TAV_EXE, "/c"}, x_.Display(),
        std::map<std::string, std::string>{
            {"XDG_CONFIG_HOME", dir_ + "/config"}, {"HOME", dir_}, {"ASAN_OPTIONS", "detect_leaks=0"}});
    const auto id = tavtest::WaitForWindow(x_.Display(), "Settings, Wallpaper Tools", 20s);
    EXPECT_TRUE(id) << app_->Output();
    if (!id) return 0;
    Focus(*id);
    return *id;
  }
  void Focus(unsigned long id) { tavtest::Xdotool(x_.Display(), {"windowfocus", "--sync", std::to_string(id)}); }
  void Click(unsigned long id, int x, int y) {
    tavtest::Xdotool(x_.Display(), {"mousemove", "--window", std::to_string(id), std::to_string(x), std::to_string(y)});
    tavtest::Xdotool(x_.Display(), {"click", "1"});
  }
  void Keys(const std::vector<std::string>& keys) {
    std::vector<std::string> args{"key", "--delay", "60"};
    args.insert(args.end(), keys.begin(), keys.end());
    tavtest::Xdotool(x_.Display(), args);
  }

  // Share of non-black pixels of the display area, and the share that
  // differs between two shots of it.
  static double NonBlack(const tavtest::Shot& s) {
    size_t n = 0;
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 400; ++x) n += (s.R(x, y) | s.G(x, y) | s.B(x, y)) != 0;
    return n / 120000.0;
  }
  static double Different(const tavtest::Shot& a, const tavtest::Shot& b) {
    size_t n = 0;
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 400; ++x)
        n += a.R(x, y) != b.R(x, y) || a.G(x, y) != b.G(x, y) || a.B(x, y) != b.B(x, y);
    return n / 120000.0;
  }

  tavtest::Xvfb x_{1280, 1024};
  std::string dir_;
  std::unique_ptr<tavtest::Process> app_;
};

TEST_F(SettingsWindow, PreviewIsNotBlackAndMoves) {
  Store(60, 1, 100, 30, 20, 1, 0);
  const auto id = Start();
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(1s);
  const auto a = tavtest::Screenshot(x_.Display(), id);
  std::this_thread::sleep_for(500ms);
  const auto b = tavtest::Screenshot(x_.Display(), id);
  ASSERT_TRUE(a && b);
  ASSERT_GE(a->width, 400);
  ASSERT_GE(a->height, 425);
  EXPECT_GT(NonBlack(*a), 0.3);
  EXPECT_GT(Different(*a, *b), 0.05);
}

TEST_F(SettingsWindow, SaveSettingsStoresAMovedSlider) {
  Store(20, 1, 100, 30, 20, 1, 0);
  const auto id = Start();
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(500ms);
  // Tab from "Random" to "Speed", three steps right, then a click on "Save Settings".
  Keys({"Tab", "Right", "Right", "Right"});
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Stored("Fast"), 20);  // nothing stored before the button
  Click(id, kSaveSettingsX, kSaveSettingsY);
  for (int i = 0; i < 100 && Stored("Fast") == 20; ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Stored("Fast"), 23);
  // Dragging "Picture" to its right end.
  tavtest::Xdotool(x_.Display(), {"mousemove", "--window", std::to_string(id), "190", "374"});
  tavtest::Xdotool(x_.Display(), {"mousedown", "1"});
  tavtest::Xdotool(x_.Display(), {"mousemove", "--window", std::to_string(id), "300", "374"});
  tavtest::Xdotool(x_.Display(), {"mouseup", "1"});
  std::this_thread::sleep_for(300ms);
  Click(id, kSaveSettingsX, kSaveSettingsY);
  for (int i = 0; i < 100 && Stored("Picture") == 30; ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Stored("Picture"), 100);
  EXPECT_TRUE(app_->Running());
}

TEST_F(SettingsWindow, RenderWallpaperTypeANameAndSaveOverAnEarlierOne) {
  Store(20, 2, 100, 30, 20, 1, 0);  // 800 x 600
  const fs::path file = fs::path(dir_) / "pics" / "mywall.bmp";
  std::ofstream(file) << "old";
  const auto id = Start();
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(500ms);
  Click(id, kRenderX, kRenderY);
  const auto dlg = tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 20s);
  ASSERT_TRUE(dlg) << app_->Output();
  Focus(*dlg);
  std::this_thread::sleep_for(500ms);
  Keys({"ctrl+a"});
  tavtest::Xdotool(x_.Display(), {"type", "--delay", "60", "mywall"});
  // Save asks before replacing; Enter answers the framed No, so a second
  // Enter keeps the earlier file. Then Save again and Yes.
  Keys({"Return"});
  std::this_thread::sleep_for(500ms);
  Keys({"Return"});
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(fs::file_size(file), 3u);
  EXPECT_TRUE(tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 100ms));
  Keys({"Return"});
  std::this_thread::sleep_for(500ms);
  Keys({"y"});
  for (int i = 0; i < 200 && fs::file_size(file) == 3u; ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fs::file_size(file), 54u + 800u * 3u * 600u) << app_->Output();
  EXPECT_FALSE(fs::exists(fs::path(dir_) / "pics" / "mywall.bmp.bmp"));

  // Another library reads it back as an 800 x 600 bitmap.
  const std::string out = dir_ + "/identify.txt";
  tavtest::Process identify({"sh", "-c", "identify -format '%m %w %h' '" + file.string() + "' > " + out}, x_.Display());
  ASSERT_EQ(identify.Wait(30s), 0);
  std::ifstream in(out);
  std::string format;
  int w = 0, h = 0;
  in >> format >> w >> h;
  EXPECT_EQ(format.substr(0, 3), "BMP");
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);

  // The dialog went away and the preview runs again.
  for (int i = 0; i < 100 && tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 100ms); ++i)
    std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 100ms));
  Focus(id);
  std::this_thread::sleep_for(500ms);
  const auto a = tavtest::Screenshot(x_.Display(), id);
  std::this_thread::sleep_for(500ms);
  const auto b = tavtest::Screenshot(x_.Display(), id);
  ASSERT_TRUE(a && b);
  EXPECT_GT(Different(*a, *b), 0.05);
  EXPECT_EQ(Stored("Fast"), 20);
}

// The file-type box opens on a click right after the dialog comes up (the
// name field has the focus then), PNG is picked from its list and "Save"
// writes a PNG that the hive then names as the type.
TEST_F(SettingsWindow, TheTypeBoxOpensAndPngIsSaved) {
  Store(20, 1, 100, 30, 20, 1, 0);  // 640 x 480
  const fs::path file = fs::path(dir_) / "pics" / "Tavorensia0.png";
  const auto id = Start();
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(500ms);
  Click(id, kRenderX, kRenderY);
  const auto dlg = tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 20s);
  ASSERT_TRUE(dlg) << app_->Output();
  Focus(*dlg);
  std::this_thread::sleep_for(500ms);
  const auto closed = tavtest::Screenshot(x_.Display(), *dlg);
  // The box at (8, 232), 145 wide; its list opens above it (the dialog ends
  // below), "PNG image (*.png)" next to the box, where the folder list ends
  // while it is closed.
  Click(*dlg, 70, 240);
  std::this_thread::sleep_for(500ms);
  const auto open = tavtest::Screenshot(x_.Display(), *dlg);
  ASSERT_TRUE(closed && open);
  size_t changed = 0;  // pixels of the list's place, left half of the folder list
  for (int y = 200; y < 230; ++y)
    for (int x = 10; x < 150; ++x)
      changed += closed->R(x, y) != open->R(x, y) || closed->G(x, y) != open->G(x, y);
  EXPECT_GT(changed, 500u) << "the list did not open";
  Click(*dlg, 60, 224);
  std::this_thread::sleep_for(500ms);
  Keys({"Return"});
  for (int i = 0; i < 200 && !fs::exists(file); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(fs::exists(file)) << app_->Output();
  for (int i = 0; i < 100 && tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 100ms); ++i)
    std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(fs::exists(fs::path(dir_) / "pics" / "Tavorensia0.bmp"));

  const std::string out = dir_ + "/identify.txt";
  tavtest::Process identify({"sh", "-c", "identify -format '%m %w %h' '" + file.string() + "' > " + out}, x_.Display());
  ASSERT_EQ(identify.Wait(30s), 0);
  std::ifstream in(out);
  std::string format;
  int w = 0, h = 0;
  in >> format >> w >> h;
  EXPECT_EQ(format, "PNG");
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  tav::Registry r(Hive());
  ASSERT_TRUE(r.OpenKey("\\Software\\Tavorensia\\", false));
  EXPECT_EQ(r.ReadString("Wall_Type"), "png");
}

TEST_F(SettingsWindow, EscInTheDialogCancelsItNotTheProgram) {
  Store(20, 1, 100, 30, 20, 1, 0);
  const auto id = Start();
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(500ms);
  Click(id, kRenderX, kRenderY);
  const auto dlg = tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 20s);
  ASSERT_TRUE(dlg) << app_->Output();
  Focus(*dlg);
  std::this_thread::sleep_for(300ms);
  Keys({"Escape"});
  for (int i = 0; i < 100 && tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 100ms); ++i)
    std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(tavtest::WaitForWindow(x_.Display(), "Save Wallpaper", 100ms));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(app_->Running());
  EXPECT_TRUE(fs::is_empty(dir_ + "/pics"));
  // Esc in the settings window itself still ends the program.
  Focus(id);
  Keys({"Escape"});
  EXPECT_EQ(app_->Wait(10s), 0) << app_->Output();
}

TEST_F(SettingsWindow, EscEndsTheProgram) {
  Store(20, 1, 100, 30, 20, 1, 0);
  const auto id = Start();
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(300ms);
  Keys({"Escape"});
  EXPECT_EQ(app_->Wait(10s), 0) << app_->Output();
}

TEST(DesktopScale, XftDpiOver96RoundedToQuartersAndNeverBelowOne) {
  const struct {
    double dpi;
    float scale;
  } cases[] = {{96, 1}, {192, 2}, {144, 1.5f}, {120, 1.25f}, {168, 1.75f}, {110, 1.25f}, {100, 1},
               {107, 1}, {108, 1.25f} /* a tie goes up */, {288, 3}, {72, 1}, {0, 1}, {-96, 1}, {std::nan(""), 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dpi);
    EXPECT_EQ(tav::RoundedScale(c.dpi / 96), c.scale);
  }
}

// A window too large for its monitor at the desktop's scale takes the
// largest quarter step at which it fits (below 1 where even its designed
// size does not), and stays inside the work area, also one that does not
// start at the screen's corner (a panel above, a second monitor).
TEST(DesktopScale, TooLargeAWindowShrinksToAQuarterStepInsideTheWorkArea) {
  const struct {
    float wanted;
    SDL_Rect area;
    float scale;
  } cases[] = {
      {1, {0, 0, 640, 400}, 0.75f},          // 425 high at 1
      {1.25f, {1280, 0, 1024, 480}, 1},      // the right-hand monitor
      {2, {0, 32, 1280, 768}, 1.75f},        // under a panel
      {3, {0, 0, 1920, 1080}, 2.5f},
      {2, {0, 0, 1920, 1200}, 2},            // fits as it is
      {1, {0, 0, 80, 60}, 60 / 425.f},       // no quarter step fits
  };
  constexpr int kW = 400, kH = 425;  // the settings window's designed size
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.wanted << " in " << c.area.w << "x" << c.area.h);
    const tav::WindowFit fit = tav::FitInWorkArea(kW, kH, c.wanted, c.area);
    EXPECT_FLOAT_EQ(fit.scale, c.scale);
    EXPECT_EQ(fit.rect.w, std::lround(kW * fit.scale));
    EXPECT_EQ(fit.rect.h, std::lround(kH * fit.scale));
    EXPECT_GE(fit.rect.x, c.area.x);
    EXPECT_GE(fit.rect.y, c.area.y);
    EXPECT_LE(fit.rect.x + fit.rect.w, c.area.x + c.area.w);
    EXPECT_LE(fit.rect.y + fit.rect.h, c.area.y + c.area.h);
    // Centred: as much room on either side, give or take the odd pixel.
    EXPECT_LE(std::abs((fit.rect.x - c.area.x) - (c.area.x + c.area.w - fit.rect.x - fit.rect.w)), 1);
    EXPECT_LE(std::abs((fit.rect.y - c.area.y) - (c.area.y + c.area.h - fit.rect.y - fit.rect.h)), 1);
  }
}

// Xft.dpi: 192 in the display's resources, loaded with xrdb as desktops do.
bool MergeXftDpi192(const tavtest::Xvfb& x, const std::string& dir) {
  const std::string resources = dir + "/Xresources";
  std::ofstream(resources) << "Xft.dpi: 192\n";
  return tavtest::RunToEnd({"xrdb", "-merge", resources}, x.Display()) == 0;
}

// On a desktop of 192 dpi (Xft.dpi: 192, loaded with xrdb as desktops do)
// the window, its text and its controls are twice their size, and the mouse
// still meets a slider and a button where they are drawn. The window carries
// our icon.
TEST(SettingsWindowScaled, TwiceTheSizeAt192Dpi) {
  tavtest::Xvfb x(1920, 1200, 24, {"-dpi", "192"});
  ASSERT_TRUE(x.Ok());
  const std::string dir = tavtest::TempDir();
  ASSERT_TRUE(MergeXftDpi192(x, dir));
  const std::string hive = dir + "/config/tavorensia/registry.reg";
  {
    tav::Registry r(hive);
    ASSERT_TRUE(r.OpenKey("\\Software\\Tavorensia\\", true));
    for (const auto& [name, value] :
         {std::pair{"Fast", 20}, {"Bright", 1}, {"Satiation", 100}, {"Picture", 30}, {"Blur", 20},
          {"Color", 1}, {"Rands", 0}}) {
      r.WriteInteger(name, value);
    }
    r.WriteString("Path_Wall", dir);
  }
  tavtest::Process app({TAV_EXE, "/c"}, x.Display(),
                       {{"XDG_CONFIG_HOME", dir + "/config"}, {"HOME", dir}, {"ASAN_OPTIONS", "detect_leaks=0"}});
  const auto id = tavtest::WaitForWindow(x.Display(), "Settings, Wallpaper Tools", 20s);
  ASSERT_TRUE(id) << app.Output();
  tavtest::Xdotool(x.Display(), {"windowfocus", "--sync", std::to_string(*id)});
  std::this_thread::sleep_for(500ms);
  const auto shot = tavtest::Screenshot(x.Display(), *id);
  ASSERT_TRUE(shot);
  std::cout << "settings window at 192 dpi: " << shot->width << "x" << shot->height << "\n";
  EXPECT_EQ(shot->width, 800);
  EXPECT_EQ(shot->height, 850);

  // "Speed" dragged to its right end in window pixels (its track starts at
  // 2 x (3, 337)), then "Save Settings" clicked at twice its place.
  const auto move = [&](int px, int py) {
    tavtest::Xdotool(x.Display(), {"mousemove", "--window", std::to_string(*id), std::to_string(px),
                                   std::to_string(py)});
  };
  move(2 * 60, 2 * 342);
  tavtest::Xdotool(x.Display(), {"mousedown", "1"});
  move(2 * 200, 2 * 342);
  tavtest::Xdotool(x.Display(), {"mouseup", "1"});
  std::this_thread::sleep_for(300ms);
  move(2 * kSaveSettingsX, 2 * kSaveSettingsY);
  tavtest::Xdotool(x.Display(), {"click", "1"});
  int32_t fast = 20;
  for (int i = 0; i < 100 && fast == 20; ++i) {
    std::this_thread::sleep_for(50ms);
    tav::Registry r(hive);
    if (r.OpenKey("\\Software\\Tavorensia\\", false)) fast = r.ReadInteger("Fast");
  }
  EXPECT_EQ(fast, 100);

  std::string icon;
  EXPECT_EQ(tavtest::RunToEnd({"xprop", "-id", std::to_string(*id), "_NET_WM_ICON"}, x.Display(), {},
                              &icon),
            0);
  EXPECT_NE(icon.find("Icon (64 x 64)"), std::string::npos) << icon.substr(0, 200);
  EXPECT_TRUE(app.Running());
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// At 192 dpi on a 1280x800 screen the window, 850 pixels high at twice its
// size, would not fit: it opens smaller, inside the screen, and its preview
// fills its whole display area, down to the lower-right corner, on the
// software and the GL present path.
TEST(SettingsWindowScaled, FitsASmallScreenAt192DpiWithThePreviewFillingItsArea) {
  tavtest::Xvfb x(1280, 800, 24, {"-dpi", "192"});
  ASSERT_TRUE(x.Ok());
  const std::string dir = tavtest::TempDir();
  ASSERT_TRUE(MergeXftDpi192(x, dir));
  {
    tav::Registry r(dir + "/config/tavorensia/registry.reg");
    ASSERT_TRUE(r.OpenKey("\\Software\\Tavorensia\\", true));
    for (const auto& [name, value] :
         {std::pair{"Fast", 60}, {"Bright", 1}, {"Satiation", 100}, {"Picture", 30}, {"Blur", 20},
          {"Color", 1}, {"Rands", 0}}) {
      r.WriteInteger(name, value);
    }
    r.WriteString("Path_Wall", dir);
  }
  for (const char* path : {"software", "gl"}) {
    SCOPED_TRACE(path);
    tavtest::Process app({TAV_EXE, "/c"}, x.Display(),
                         {{"XDG_CONFIG_HOME", dir + "/config"}, {"HOME", dir}, {"TAVORENSIA_PRESENT", path},
                          {"ASAN_OPTIONS", "detect_leaks=0"}});
    const auto id = tavtest::WaitForWindow(x.Display(), "Settings, Wallpaper Tools", 20s);
    ASSERT_TRUE(id) << app.Output();
    std::string geometry;
    ASSERT_EQ(tavtest::RunToEnd({"xdotool", "getwindowgeometry", "--shell", std::to_string(*id)}, x.Display(), {},
                                &geometry),
              0);
    std::map<std::string, int> g;
    std::istringstream lines(geometry);
    for (std::string line; std::getline(lines, line);)
      if (const auto eq = line.find('='); eq != std::string::npos) g[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    std::cout << path << ": settings window on 1280x800 at 192 dpi: " << g["WIDTH"] << "x" << g["HEIGHT"] << " at "
              << g["X"] << "," << g["Y"] << "\n";
    EXPECT_GE(g["X"], 0);
    EXPECT_GE(g["Y"], 0);
    EXPECT_LE(g["X"] + g["WIDTH"], 1280);
    EXPECT_LE(g["Y"] + g["HEIGHT"], 800);
    // Larger than designed still, in its proportions.
    EXPECT_GT(g["WIDTH"], 400);
    EXPECT_NEAR(g["HEIGHT"], g["WIDTH"] * 425 / 400, 1);

    tavtest::Xdotool(x.Display(), {"windowfocus", "--sync", std::to_string(*id)});
    std::this_thread::sleep_for(1s);
    const auto shot = tavtest::Screenshot(x.Display(), *id);
    ASSERT_TRUE(shot);
    ASSERT_EQ(shot->width, g["WIDTH"]);
    // The display area is the upper 400x300 designed units.
    const int areaW = shot->width, areaH = shot->width * 300 / 400;
    size_t lit = 0, all = 0;
    for (int y = areaH / 2; y < areaH; ++y)
      for (int x0 = areaW / 2; x0 < areaW; ++x0, ++all) lit += (shot->R(x0, y) | shot->G(x0, y) | shot->B(x0, y)) != 0;
    std::cout << path << ": lower-right quarter of the preview " << 100.0 * lit / all << "% lit\n";
    EXPECT_GT(static_cast<double>(lit) / all, 0.3);
    EXPECT_TRUE(app.Running()) << app.Output();
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
