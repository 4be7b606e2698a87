// The one X error handler and its traps, against a real X server: each
// error reaches the innermost trap of the thread that reads it, the errors
// of requests made before a trap are not its own, and an error that no trap
// awaits is written to stderr and counted while the program goes on.
// gtest first: Xlib defines None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <string>
#include <thread>

#include "display/x11_handles.hpp"
#include "harness.hpp"

namespace {

using tav::XDisplayPtr;
using tav::XErrorTrap;

// An id the server never gave out: mapping it is refused with BadWindow,
// without a reply, so the error arrives only when something waits for it.
constexpr Window kNoWindow = 0x7fffff0;
void Fail(Display* dpy) { XMapWindow(dpy, kNoWindow); }

int Lines(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

TEST(XErrorTrap, EachErrorReachesTheInnermostTrapOfItsOwnThread) {
  XInitThreads();
  tavtest::Xvfb xvfb(320, 240, 24);
  ASSERT_TRUE(xvfb.Ok());
  const XDisplayPtr dpy(XOpenDisplay(xvfb.Display().c_str()));
  ASSERT_NE(dpy, nullptr);
  Display* const d = dpy.get();
  tav::InstallXErrorHandler();
  const unsigned long untrapped = tav::UntrappedXErrors();

  XErrorTrap outer(d);
  EXPECT_FALSE(outer.Caught());
  {
    XErrorTrap inner(d);
    Fail(d);
    EXPECT_TRUE(inner.Caught());
    EXPECT_EQ(inner.LastError(), BadWindow);
    Fail(d);  // not waited for here: the trap waits as it goes
  }
  EXPECT_FALSE(outer.Caught());
  EXPECT_EQ(outer.LastError(), 0);

  // Another thread's errors, on its own connection and with no trap of its
  // own, are not this thread's trap's.
  std::thread other([&] {
    const XDisplayPtr own(XOpenDisplay(xvfb.Display().c_str()));
    ASSERT_NE(own, nullptr);
    Fail(own.get());
    XSync(own.get(), False);
    XErrorTrap trap(own.get());
    EXPECT_FALSE(trap.Caught());  // sent before the trap: not its own
    Fail(own.get());
    EXPECT_EQ(trap.LastError(), BadWindow);
  });
  other.join();
  EXPECT_FALSE(outer.Caught());
  EXPECT_EQ(tav::UntrappedXErrors(), untrapped + 1);

  Fail(d);
  EXPECT_TRUE(outer.Caught());
}

TEST(XErrorHandler, AnErrorNoTrapAwaitsIsShownAFewTimesCountedAndSurvived) {
  tavtest::Xvfb xvfb(320, 240, 24);
  ASSERT_TRUE(xvfb.Ok());
  const XDisplayPtr dpy(XOpenDisplay(xvfb.Display().c_str()));
  ASSERT_NE(dpy, nullptr);
  tav::InstallXErrorHandler();
  const unsigned long before = tav::UntrappedXErrors();
  constexpr unsigned long kErrors = 25, kShownInFull = 10;

  testing::internal::CaptureStderr();
  for (unsigned long i = 0; i < kErrors; ++i) Fail(dpy.get());
  XSync(dpy.get(), False);
  const std::string shown = testing::internal::GetCapturedStderr();

  EXPECT_EQ(tav::UntrappedXErrors(), before + kErrors);
  const unsigned long full = std::min(before + kErrors, kShownInFull) - std::min(before, kShownInFull);
  EXPECT_EQ(Lines(shown, "tavorensia: X error 3 "), static_cast<int>(full)) << shown;
  if (full > 0) {
    EXPECT_NE(shown.find("BadWindow"), std::string::npos) << shown;
  }
}

}  // namespace
