// The harness itself: a server starts, a screenshot reads back what a client drew.
#include <gtest/gtest.h>

#include "harness.hpp"

TEST(Harness, XvfbStartsAndScreenshotReadsTheRootWindow) {
  tavtest::Xvfb x(320, 200);
  ASSERT_TRUE(x.Ok());
  tavtest::Process bg({"xsetroot", "-solid", "#ff8000"}, x.Display());
  ASSERT_EQ(bg.Wait(std::chrono::seconds(10)), 0);
  const auto shot = tavtest::Screenshot(x.Display());
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->width, 320);
  EXPECT_EQ(shot->R(5, 5), 0xff);
  EXPECT_EQ(shot->G(5, 5), 0x80);
  EXPECT_EQ(shot->B(5, 5), 0x00);
}
