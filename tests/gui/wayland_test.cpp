// "tavorensia" natively on a Wayland compositor (a headless sway of the
// test's own): the saver covers both outputs, does not hold off the desktop's
// own idle handling, and ends on a key; with a password set it says it
// cannot lock, and ends; the modes that draw into X11 windows say they need
// one.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "compositor.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// As in the other end-to-end tests: SDL's session-bus library leaves blocks
// behind that the leak checker cannot attribute.
const std::map<std::string, std::string> kEnv{{"SDL_VIDEODRIVER", ""}, {"ASAN_OPTIONS", "detect_leaks=0"}};

// The given jq fields of each of our views in the compositor's tree, one
// view a line.
std::string OurViewsQuery(tavtest::Sway& sway, const std::string& fields) {
  return sway
      .Query("get_tree",
             "[.. | objects | select(.app_id? == \"tavorensia\" or .window_properties?.class? == \"tavorensia\")] | .[] | " +
                 fields)
      .value_or("");
}

// One line a view: "shell fullscreen inhibit_idle WxH".
std::string OurViews(tavtest::Sway& sway) {
  return OurViewsQuery(sway, "\"\\(.shell) \\(.fullscreen_mode) \\(.inhibit_idle) \\(.rect.width)x\\(.rect.height)\"");
}

// The kind of container each of our views is in, one a line: "con" when
// tiled, "floating_con" when floating.
std::string OurContainers(tavtest::Sway& sway) { return OurViewsQuery(sway, ".type"); }

TEST(Wayland, SaverCoversEveryOutputAndAKeyEndsIt) {
  if (const auto why = tavtest::Sway::Unavailable()) GTEST_SKIP() << *why;
  tavtest::Sway sway({{1280, 720, 0, 0}, {1024, 768, 1280, 0}});
  ASSERT_TRUE(sway.Ok()) << sway.Log();
  const auto keyboard = sway.PlugKeyboard();
  const auto desktop = sway.Grab("HEADLESS-1"), desktop2 = sway.Grab("HEADLESS-2");
  ASSERT_TRUE(desktop && desktop2);

  // DISPLAY is set as well (sway's Xwayland): Wayland is still the choice.
  // One full-screen view on each output, neither holding off idleness.
  auto saver = sway.Start({TAV_EXE, "/s"}, true, kEnv);
  const auto sorted = [](std::string lines) {
    std::istringstream in(lines);
    std::vector<std::string> v;
    for (std::string line; std::getline(in, line);) v.push_back(line);
    std::sort(v.begin(), v.end());
    std::string out;
    for (const auto& line : v) out += line + "\n";
    return out;
  };
  std::string views;
  ASSERT_TRUE(tavtest::WaitUntil(
      [&] { return (views = sorted(OurViews(sway))) == "xdg_shell 1 false 1024x768\nxdg_shell 1 false 1280x720\n"; },
      20s, 100ms))
      << "views: " << views << "\n" << saver->Output();
  for (const std::string output : {"HEADLESS-1", "HEADLESS-2"}) {
    SCOPED_TRACE(output);
    const tavtest::Shot& bare = output == "HEADLESS-1" ? *desktop : *desktop2;
    std::optional<tavtest::Shot> first, second;
    ASSERT_TRUE(tavtest::WaitUntil(
        [&] {
          first = sway.Grab(output);
          return first && first->DifferentShare(bare) > 0.9;
        },
        10s, 100ms))
        << saver->Output();
    std::this_thread::sleep_for(500ms);
    second = sway.Grab(output);
    ASSERT_TRUE(second);
    std::cout << output << ": share unlike the desktop " << second->DifferentShare(bare)
              << ", changed over 0.5 s " << first->DifferentShare(*second) << "\n";
    EXPECT_GT(first->DifferentShare(*second), 0.1);
  }

  ASSERT_TRUE(saver->Running()) << saver->Output();
  EXPECT_EQ(sway.Type({"-k", "space"}), 0);
  EXPECT_EQ(saver->Wait(10s), 0) << saver->Output();
}

// A seat with no keyboard yet (a headless or remote session), a virtual
// keyboard typing later: SDL 2.26's Wayland keyboard code can crash on a
// keyboard that arrives while its windows are up, so the saver goes through
// the session's Xwayland there, and the late key ends it cleanly. Three
// runs: on Wayland itself one of two to four crashed.
TEST(Wayland, WithoutAKeyboardYetTheSaverRunsOnXwaylandAndALateKeyEndsIt) {
  if (const auto why = tavtest::Sway::Unavailable()) GTEST_SKIP() << *why;
  tavtest::Sway sway({{1024, 768, 0, 0}});
  ASSERT_TRUE(sway.Ok()) << sway.Log();
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    auto saver = sway.Start({TAV_EXE, "/s"}, true, kEnv);
    std::string views;
    ASSERT_TRUE(tavtest::WaitUntil([&] { return (views = OurViews(sway)) == "xwayland 1 false 1024x768"; }, 20s,
                                   100ms))
        << "views: " << views << "\n" << saver->Output();
    // The keyboard appears, and types once the X server has taken its keymap.
    EXPECT_EQ(sway.Type({"-s", "500", "-k", "space"}), 0);
    EXPECT_EQ(saver->Wait(10s), 0) << saver->Output();
  }
}

// A Wayland client cannot lock the screen, nor an X11 client of the
// session's Xwayland: with a password set the saver shows why for 10 s and
// ends with status 1, rather than look locked.
TEST(Wayland, WithAPasswordTheSaverSaysItCannotLockAndEnds) {
  if (const auto why = tavtest::Sway::Unavailable()) GTEST_SKIP() << *why;
  tavtest::Sway sway({{1024, 768, 0, 0}});
  ASSERT_TRUE(sway.Ok()) << sway.Log();
  {
    // The password, set in the change dialog: a window of its own on Wayland too.
    const auto keyboard = sway.PlugKeyboard();
    auto change = sway.Start({TAV_EXE, "/a"}, false, kEnv);
    ASSERT_TRUE(tavtest::WaitUntil([&] { return !OurViews(sway).empty(); }, 20s, 100ms)) << change->Output();
    EXPECT_EQ(OurContainers(sway), "floating_con") << "the dialog is tiled";
    std::this_thread::sleep_for(500ms);
    for (const std::vector<std::string>& keys :
         {std::vector<std::string>{"open sesame"}, {"-k", "Tab"}, {"open sesame"}, {"-k", "Return"}}) {
      EXPECT_EQ(sway.Type(keys), 0);
    }
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(sway.Type({"-k", "Return"}), 0);  // "Password changed."
    ASSERT_EQ(change->Wait(10s), 0) << change->Output();
  }
  const std::string hive = tavtest::ReadFile(sway.Home() / ".config/tavorensia/registry.reg");
  ASSERT_NE(hive.find("\"ScreenSaveUsePassword\"=dword:00000001"), std::string::npos) << hive;

  // Natively, and through the session's Xwayland, where our X11 grabs would
  // hold X11 clients only.
  for (const char* driver : {"", "x11"}) {
    SCOPED_TRACE(*driver ? driver : "wayland");
    auto env = kEnv;
    env["SDL_VIDEODRIVER"] = driver;
    const auto t0 = Clock::now();
    auto saver = sway.Start({TAV_EXE, "/s"}, *driver != 0, env);
    std::string views;
    EXPECT_TRUE(tavtest::WaitUntil([&] { return !(views = OurViews(sway)).empty(); }, 10s, 100ms))
        << saver->Output();
    EXPECT_EQ(views.find(" 1 "), std::string::npos) << "a full-screen window: " << views;
    EXPECT_EQ(OurContainers(sway), "floating_con") << "the error box is tiled";
    const auto status = saver->Wait(20s);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::cout << "password set: box shown, ended after " << seconds << " s\n";
    ASSERT_TRUE(status) << "still running";
    EXPECT_EQ(*status, 1) << saver->Output();
    EXPECT_GE(seconds, 10);
    EXPECT_NE(saver->Output().find("The screen cannot be locked on this desktop; use its own screen locker "
                                   "(for example swaylock)."),
              std::string::npos)
        << saver->Output();
  }
}

// The settings window keeps its size: sway floats it rather than tile it
// over the output, natively and on Xwayland.
TEST(Wayland, SettingsWindowFloats) {
  if (const auto why = tavtest::Sway::Unavailable()) GTEST_SKIP() << *why;
  tavtest::Sway sway({{1280, 800, 0, 0}});
  ASSERT_TRUE(sway.Ok()) << sway.Log();
  const auto keyboard = sway.PlugKeyboard();
  for (const char* driver : {"", "x11"}) {
    SCOPED_TRACE(*driver ? driver : "wayland");
    auto env = kEnv;
    env["SDL_VIDEODRIVER"] = driver;
    auto settings = sway.Start({TAV_EXE, "/c"}, *driver != 0, env);
    std::string views;
    ASSERT_TRUE(tavtest::WaitUntil([&] { return !(views = OurViews(sway)).empty(); }, 20s, 100ms))
        << settings->Output();
    std::cout << (*driver ? driver : "wayland") << ": settings window " << views << "\n";
    EXPECT_EQ(OurContainers(sway), "floating_con") << views;
    settings->Signal(SIGTERM);
    EXPECT_TRUE(settings->Wait(10s)) << settings->Output();
    ASSERT_TRUE(tavtest::WaitUntil([&] { return OurViews(sway).empty(); }, 10s, 100ms));
  }
}

// The modes whose windows are X11 windows, on a session without X11.
TEST(Wayland, X11ModesOnAWaylandOnlySessionSaySoAndEnd) {
  if (const auto why = tavtest::Sway::Unavailable()) GTEST_SKIP() << *why;
  tavtest::Sway sway({{640, 480, 0, 0}});
  ASSERT_TRUE(sway.Ok()) << sway.Log();
  struct Case {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::string says;
  };
  const Case cases[] = {
      {{"/p", "1234"}, {}, "the preview draws into an X11 window, and this Wayland session has no X11 display"},
      {{"--root"}, {{"XSCREENSAVER_WINDOW", "0x400007"}}, "this Wayland session has no X11 display"},
      {{"--root"}, {}, "no X display to draw on"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + (c.env.empty() ? "" : " under XScreenSaver"));
    std::vector<std::string> argv{TAV_EXE};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::map<std::string, std::string> env = kEnv;
    env.insert(c.env.begin(), c.env.end());
    std::string out;
    EXPECT_EQ(sway.Run(argv, &out, false, env), 1) << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_EQ(OurViews(sway), "");
  }
}

}  // namespace
