// "tavorensia /s" and "/a" end to end under an X server of the test's own,
// driven with xdotool and read back with screenshots; and every windowed
// mode without any display at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "harness.hpp"

// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;
using tavtest::Process;
using tavtest::Screenshot;
using tavtest::Xdotool;

constexpr const char* kTitle = "Tavorensia Screensaver";

class FullScreen : public ::testing::Test {
 protected:
  FullScreen() : x_(800, 600), config_(tavtest::TempDir()) {}
  ~FullScreen() override {
    std::error_code ec;
    std::filesystem::remove_all(config_, ec);
  }
  std::unique_ptr<Process> Start(const std::vector<std::string>& args) {
    std::vector<std::string> argv{TAV_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    // Leak checking is off for the program itself: under X11, SDL's session-
    // bus library leaves blocks behind whose stacks LeakSanitizer's fast
    // unwinder cannot follow (so no suppression can name them), and the slow
    // unwinder deadlocks in the GL driver. Our own code's leaks are checked
    // in-process by the handler tests on the dummy driver.
    const std::map<std::string, std::string> env{{"XDG_CONFIG_HOME", config_},
                                                 {"ASAN_OPTIONS", "detect_leaks=0"}};
    return std::make_unique<Process>(argv, x_.Display(), env);
  }
  // Starts the saver with the pointer at (400, 300) and waits for its first frames.
  std::unique_ptr<Process> StartSaver() {
    EXPECT_EQ(Xdotool(x_.Display(), {"mousemove", "400", "300"}), 0);
    auto p = Start({"/s"});
    EXPECT_TRUE(tavtest::WaitForWindow(x_.Display(), kTitle, 20s)) << p->Output();
    std::this_thread::sleep_for(1500ms);
    return p;
  }
  static bool StillRunning(Process& p, std::chrono::milliseconds settle) {
    std::this_thread::sleep_for(settle);
    return p.Running();
  }
  std::string Hive() const {
    std::ifstream in(std::filesystem::path(config_) / "tavorensia" / "registry.reg");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  tavtest::Xvfb x_;
  std::string config_;
};

TEST_F(FullScreen, ShowsAMovingPictureAndAKeyEndsIt) {
  ASSERT_TRUE(x_.Ok());
  auto p = StartSaver();
  const auto first = Screenshot(x_.Display());
  std::this_thread::sleep_for(1s);
  const auto second = Screenshot(x_.Display());
  ASSERT_TRUE(first && second);
  EXPECT_GT(first->NonBlackShare(), 0.5);
  EXPECT_GT(first->DifferentShare(*second), 0.1);
  ASSERT_TRUE(p->Running()) << p->Output();
  EXPECT_EQ(Xdotool(x_.Display(), {"key", "space"}), 0);
  EXPECT_EQ(p->Wait(10s), 0) << p->Output();
}

TEST_F(FullScreen, MouseJitterOfFivePixelsKeepsItSixEndIt) {
  ASSERT_TRUE(x_.Ok());
  auto p = StartSaver();
  EXPECT_EQ(Xdotool(x_.Display(), {"mousemove", "405", "295"}), 0);
  EXPECT_TRUE(StillRunning(*p, 700ms)) << p->Output();
  EXPECT_EQ(Xdotool(x_.Display(), {"mousemove", "400", "306"}), 0);
  EXPECT_EQ(p->Wait(10s), 0) << p->Output();
}

TEST_F(FullScreen, PasswordSetByTheChangeDialogGuardsTheEnd) {
  ASSERT_TRUE(x_.Ok());
  // The change dialog: no password yet, so the new one twice.
  auto change = Start({"/a", "0"});
  ASSERT_TRUE(tavtest::WaitForWindow(x_.Display(), kTitle, 20s)) << change->Output();
  std::this_thread::sleep_for(500ms);
  Xdotool(x_.Display(), {"type", "--delay", "30", "open sesame"});
  Xdotool(x_.Display(), {"key", "Tab"});
  Xdotool(x_.Display(), {"type", "--delay", "30", "open sesame"});
  Xdotool(x_.Display(), {"key", "Return"});
  // "Password changed." stays until OK.
  EXPECT_TRUE(StillRunning(*change, 1s)) << change->Output();
  Xdotool(x_.Display(), {"key", "Return"});
  ASSERT_EQ(change->Wait(20s), 0) << change->Output();
  const std::string hive = Hive();
  EXPECT_NE(hive.find("\"ScreenSaveUsePassword\"=dword:00000001"), std::string::npos) << hive;
  EXPECT_NE(hive.find("$argon2id$"), std::string::npos) << hive;
  EXPECT_EQ(hive.find("sesame"), std::string::npos) << hive;

  // With a password "/s" becomes the lock holder, in the same process: the
  // picture comes from its drawing child, and nothing of SDL is in it.
  EXPECT_EQ(Xdotool(x_.Display(), {"mousemove", "400", "300"}), 0);
  auto p = Start({"/s"});
  const auto pictureShows = [&] {
    const auto shot = Screenshot(x_.Display());
    return shot && shot->NonBlackShare() > 0.5;
  };
  const auto waitForPicture = [&] {
    for (int i = 0; i < 100 && !pictureShows(); ++i) std::this_thread::sleep_for(200ms);
    return pictureShows();
  };
  ASSERT_TRUE(waitForPicture()) << p->Output();
  const std::string proc = "/proc/" + std::to_string(p->Pid());
  EXPECT_EQ(std::filesystem::read_symlink(proc + "/exe").filename(), "tavorensia-lock");
  std::ifstream maps(proc + "/maps");
  const std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  EXPECT_EQ(mapped.find("libSDL2"), std::string::npos);
  Display* other = XOpenDisplay(x_.Display().c_str());
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync, CurrentTime),
            AlreadyGrabbed);
  XCloseDisplay(other);

  // The first key wakes the prompt and is typed into it.
  Xdotool(x_.Display(), {"type", "--delay", "30", "open sezame"});
  Xdotool(x_.Display(), {"key", "Return"});
  EXPECT_TRUE(StillRunning(*p, 3s)) << p->Output();
  EXPECT_TRUE(waitForPicture());  // back after the wrong answer's delay

  Xdotool(x_.Display(), {"type", "--delay", "30", "open sesame"});
  Xdotool(x_.Display(), {"key", "Return"});
  EXPECT_EQ(p->Wait(15s), 0) << p->Output();
}

// Pixels of the colour of an active ImGui title bar: the error box's caption.
size_t CaptionPixels(const tavtest::Shot& s) {
  size_t n = 0;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) n += s.R(x, y) == 41 && s.G(x, y) == 74 && s.B(x, y) == 122;
  return n;
}

// A settings key cut short: the box says so over the running animation, Enter
// closes it without ending the saver, the next key ends it, and the file is
// left as it was.
TEST_F(FullScreen, DamagedSettingsKeyIsReportedOverTheAnimation) {
  ASSERT_TRUE(x_.Ok());
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\n"
      "\"Fast\"=dword:00000014\n\"Bright\"=dword:00000002\n";
  std::filesystem::create_directories(std::filesystem::path(config_) / "tavorensia");
  std::ofstream(std::filesystem::path(config_) / "tavorensia" / "registry.reg", std::ios::binary) << damaged;

  auto p = StartSaver();
  const auto boxed = Screenshot(x_.Display());
  std::this_thread::sleep_for(500ms);
  const auto boxedLater = Screenshot(x_.Display());
  ASSERT_TRUE(boxed && boxedLater);
  EXPECT_GT(CaptionPixels(*boxed), 1000u) << p->Output();
  EXPECT_GT(boxed->DifferentShare(*boxedLater), 0.1);  // the picture moves behind the box
  EXPECT_NE(p->Output().find("Failed to get data for 'Satiation'"), std::string::npos) << p->Output();

  EXPECT_EQ(Xdotool(x_.Display(), {"key", "Return"}), 0);
  EXPECT_TRUE(StillRunning(*p, 1s)) << p->Output();
  const auto closed = Screenshot(x_.Display());
  std::this_thread::sleep_for(500ms);
  const auto closedLater = Screenshot(x_.Display());
  ASSERT_TRUE(closed && closedLater);
  EXPECT_LT(CaptionPixels(*closed), 100u);
  EXPECT_GT(closed->NonBlackShare(), 0.5);
  EXPECT_GT(closed->DifferentShare(*closedLater), 0.1);

  EXPECT_EQ(Xdotool(x_.Display(), {"key", "space"}), 0);
  EXPECT_EQ(p->Wait(10s), 0) << p->Output();
  EXPECT_EQ(Hive(), damaged);
}

// Another client holds the keyboard as the saver starts (an open menu): the
// saver runs on and takes the grab once it is let go.
TEST_F(FullScreen, TakesTheKeyboardOnceAnotherClientLetsGo) {
  ASSERT_TRUE(x_.Ok());
  Display* dpy = XOpenDisplay(x_.Display().c_str());
  ASSERT_NE(dpy, nullptr);
  const Window root = DefaultRootWindow(dpy);
  auto grab = [&] { return XGrabKeyboard(dpy, root, False, GrabModeAsync, GrabModeAsync, CurrentTime); };
  ASSERT_EQ(grab(), GrabSuccess);
  XSync(dpy, False);
  const auto held = std::chrono::steady_clock::now();

  auto p = Start({"/s"});
  EXPECT_TRUE(tavtest::WaitForWindow(x_.Display(), kTitle, 20s)) << p->Output();
  std::this_thread::sleep_until(held + 2s);
  EXPECT_TRUE(p->Running()) << p->Output();
  XUngrabKeyboard(dpy, CurrentTime);
  XSync(dpy, False);
  const auto released = std::chrono::steady_clock::now();

  // Once the saver holds it, anyone else's grab is refused.
  std::optional<std::chrono::milliseconds> taken;
  while (std::chrono::steady_clock::now() < released + 20s) {  // a guard against hanging
    const int r = grab();
    if (r == AlreadyGrabbed) {
      taken = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - released);
      break;
    }
    if (r == GrabSuccess) XUngrabKeyboard(dpy, CurrentTime);
    XSync(dpy, False);
    std::this_thread::sleep_for(10ms);
  }
  XCloseDisplay(dpy);
  ASSERT_TRUE(taken.has_value()) << p->Output();
  std::printf("keyboard grab taken %lld ms after the other client let go\n", static_cast<long long>(taken->count()));
  EXPECT_TRUE(p->Running()) << p->Output();
  EXPECT_EQ(Xdotool(x_.Display(), {"key", "space"}), 0);
  EXPECT_EQ(p->Wait(10s), 0) << p->Output();
}

// No X server and no Wayland compositor: each windowed mode says so and ends
// with status 1 instead of running on SDL's offscreen driver. libwayland
// tries $XDG_RUNTIME_DIR/wayland-0 even without WAYLAND_DISPLAY, so that
// points at an empty folder.
TEST(NoDisplay, EachWindowedModeSaysSoAndEnds) {
  const std::string empty = tavtest::TempDir();
  for (const char* mode : {"/s", "/c", "/a"}) {
    SCOPED_TRACE(mode);
    const std::map<std::string, std::string> env{{"DISPLAY", ""},
                                                 {"WAYLAND_DISPLAY", ""},
                                                 {"SDL_VIDEODRIVER", ""},
                                                 {"XDG_RUNTIME_DIR", empty},
                                                 {"XDG_CONFIG_HOME", empty},
                                                 {"ASAN_OPTIONS", "detect_leaks=0"}};
    Process p({TAV_EXE, mode, "0"}, "", env);
    EXPECT_EQ(p.Wait(60s), 1) << p.Output();  // a guard against hanging, not a time limit
    EXPECT_NE(p.Output().find("tavorensia: cannot open display"), std::string::npos) << p.Output();
  }
  std::error_code ec;
  std::filesystem::remove_all(empty, ec);
}

}  // namespace
