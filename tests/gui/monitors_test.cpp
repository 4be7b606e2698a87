// "tavorensia /s" on every monitor, through Xwayland on a headless sway with
// two outputs of different sizes: each output shows the animation, a key
// ends it, and an output added while it runs gets a window of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "compositor.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The share of pixels that are not the desktop's own colour (a bare output
// is one colour: whatever its top-left pixel is, when the saver is not there).
double ShareNotOf(const tavtest::Shot& shot, const tavtest::Shot& bare) {
  size_t other = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x)
      other += shot.R(x, y) != bare.R(0, 0) || shot.G(x, y) != bare.G(0, 0) || shot.B(x, y) != bare.B(0, 0);
  return static_cast<double>(other) / (static_cast<double>(shot.width) * shot.height);
}

// Waits until the output shows the animation: covered (hardly a pixel of the
// bare desktop left) and moving between two screenshots. The two shares of
// the last look, for the record.
bool ShowsAnimation(tavtest::Sway& sway, const std::string& output, const tavtest::Shot& bare,
                    double* covered, double* moving) {
  return tavtest::WaitUntil(
      [&] {
        const auto a = sway.Grab(output);
        std::this_thread::sleep_for(100ms);
        const auto b = sway.Grab(output);
        if (!a || !b || a->width != b->width || a->height != b->height) return false;
        *covered = ShareNotOf(*b, bare);
        *moving = a->DifferentShare(*b);
        return *covered > 0.95 && *moving > 0.2;
      },
      20s, 200ms);
}

// Every way to the screen: the GL one is where a window once never showed
// (SDL makes the window anew for GL, and sway maps a window only once it
// has drawn something).
class Monitors : public ::testing::TestWithParam<const char*> {};

TEST_P(Monitors, XwaylandEveryOutputShowsTheAnimationAKeyEndsItAndANewOutputIsCovered) {
  if (const auto why = tavtest::Sway::Unavailable()) GTEST_SKIP() << *why;
  tavtest::Sway sway({{1280, 720, 0, 0}, {1024, 768, 1280, 0}});
  ASSERT_TRUE(sway.Ok()) << sway.Log();
  const auto bare = sway.Grab("HEADLESS-1");
  ASSERT_TRUE(bare);

  // SDL on X11 through sway's Xwayland. Leak checking off for the program
  // as in the other end-to-end runs (system libraries under X11).
  auto saver = sway.Start({TAV_EXE, "/s"}, true,
                          {{"SDL_VIDEODRIVER", "x11"}, {"TAVORENSIA_PRESENT", GetParam()}, {"ASAN_OPTIONS", "detect_leaks=0"}});
  for (const std::string output : {"HEADLESS-1", "HEADLESS-2"}) {
    double covered = 0, moving = 0;
    EXPECT_TRUE(ShowsAnimation(sway, output, *bare, &covered, &moving))
        << output << ": covered " << covered << ", moving " << moving << "\n"
        << saver->Output() << sway.Log();
    std::printf("%s: %.3f of the pixels not the desktop's, %.3f changed in 100 ms\n", output.c_str(), covered,
                moving);
  }

  // A third output while it runs: covered within a second, the time it
  // took on record (a screenshot takes part of it).
  const Clock::time_point added = Clock::now();
  ASSERT_TRUE(sway.Ipc("command", "create_output"));
  std::optional<double> after;
  EXPECT_TRUE(tavtest::WaitUntil(
      [&] {
        const auto shot = sway.Grab("HEADLESS-3");
        if (!shot || ShareNotOf(*shot, *bare) < 0.95) return false;
        after = std::chrono::duration<double>(Clock::now() - added).count();
        return true;
      },
      10s, 20ms))
      << saver->Output();
  if (after) std::printf("HEADLESS-3 covered %.2f s after it was added\n", *after);
  double covered = 0, moving = 0;
  EXPECT_TRUE(ShowsAnimation(sway, "HEADLESS-3", *bare, &covered, &moving))
      << "covered " << covered << ", moving " << moving;

  // Any key ends it (no password is set).
  EXPECT_EQ(sway.Run({"xdotool", "key", "space"}, nullptr, true), 0);
  EXPECT_EQ(saver->Wait(10s), 0) << saver->Output();
}

INSTANTIATE_TEST_SUITE_P(PresentPaths, Monitors, ::testing::Values("xrender", "software", "gl"));

}  // namespace
