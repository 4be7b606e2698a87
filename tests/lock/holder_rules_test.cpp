// The lock holder's decisions that need no X server.
#include "lock/holder_rules.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using tav::lock::Clock;

// Pauses before the drawing child starts again, given how long ago (seconds)
// it started before, oldest first.
TEST(LockHolderRules, DrawingChildRestartPauses) {
  struct Case {
    std::vector<int> agoSeconds;
    int pauseSeconds;
  } cases[] = {
      {{}, 0},
      {{5}, 0},                   // the first death: at once
      {{8, 5}, 1},                // then growing pauses
      {{9, 8, 5}, 2},
      {{10, 9, 8, 5}, 4},
      {{20, 10, 9, 8, 5}, 40},    // a sixth start waits until the first is a minute old
      {{90, 80, 70, 10}, 0},      // starts over a minute ago do not count
      {{59, 58, 57, 56, 55}, 8},  // fifth-last at -59 s: 1 s to go, but the pause is longer
  };
  const auto now = Clock::now();
  for (const auto& c : cases) {
    std::vector<Clock::time_point> starts;
    for (int s : c.agoSeconds) starts.push_back(now - std::chrono::seconds(s));
    const auto pause = std::chrono::duration_cast<std::chrono::seconds>(tav::lock::NextDrawStart(starts, now) - now);
    EXPECT_EQ(pause.count(), c.pauseSeconds) << c.agoSeconds.size() << " starts";
  }
}

TEST(LockHolderRules, XftDpiScale) {
  const std::pair<const char*, double> cases[] = {
      {nullptr, 1},
      {"", 1},
      {"Xft.dpi:\t192\n", 2},
      {"Xcursor.size:\t24\nXft.dpi:\t144\nXft.hinting:\t1\n", 1.5},
      {"MyXft.dpi:\t192\n", 1},  // another resource's name
      {"Xft.dpi:\tbig\n", 1},
      {"Xft.dpi:\t0\n", 1},
  };
  for (const auto& [text, scale] : cases) EXPECT_DOUBLE_EQ(tav::lock::XftDpiScale(text), scale) << (text ? text : "null");
}

TEST(LockHolderRules, ParseFdNumber) {
  EXPECT_EQ(tav::lock::ParseFdNumber("7"), 7);
  EXPECT_EQ(tav::lock::ParseFdNumber("123"), 123);
  for (const char* bad : {"", "abc", "-1", "7 ", "0x7", "12345678901"}) EXPECT_FALSE(tav::lock::ParseFdNumber(bad)) << bad;
}

}  // namespace
