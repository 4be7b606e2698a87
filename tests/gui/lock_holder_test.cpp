// tavorensia-lock end to end under an Xvfb of the test's own, with the fake
// saver of tests/lock as its children: the screen stays covered and the
// keyboard held whatever the children do, and only the right password ends it.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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

constexpr unsigned long kDesktop = 0xff00ff;  // the window the lock must hide
constexpr unsigned long kPicture = 0x00ff00;  // what the fake saver draws
constexpr const char* kNotLocked = "The keyboard could not be grabbed; the screen is not locked.";

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

// Share of the screen (or of a rectangle of it) in this colour.
double Share(const std::string& display, unsigned long rgb, int x0 = 0, int y0 = 0, int w = 0, int h = 0) {
  const auto shot = Screenshot(display);
  if (!shot) return -1;
  if (w == 0) w = shot->width, h = shot->height;
  long n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x)
      n += shot->R(x, y) == (rgb >> 16) && shot->G(x, y) == ((rgb >> 8) & 0xff) && shot->B(x, y) == (rgb & 0xff);
  return static_cast<double>(n) / (static_cast<double>(w) * h);
}

class LockHolder : public ::testing::Test {
 protected:
  LockHolder() : x_(640, 480), dir_(tavtest::TempDir()) {
    dpy_ = XOpenDisplay(x_.Display().c_str());
    if (!dpy_) return;
    // A bright desktop window under the lock.
    const Window w = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 640, 480, 0, 0, kDesktop);
    XMapWindow(dpy_, w);
    XSync(dpy_, False);
  }
  ~LockHolder() override {
    if (dpy_) XCloseDisplay(dpy_);
    std::filesystem::remove_all(dir_);
  }
  std::unique_ptr<Process> Start(std::map<std::string, std::string> env = {}) {
    env.emplace("TAV_FAKE_DIR", dir_);
    env.emplace("TAV_FAKE_PASSWORD", "secret");
    env.emplace("XSS_SLEEP_LOCK_FD", "");
    return std::make_unique<Process>(
        std::vector<std::string>{TAV_LOCK_EXE, "--saver", TAV_FAKE_SAVER, "--", "--speed", "30"}, x_.Display(),
        env);
  }
  // Starts the lock and waits for the fake's picture on the whole screen.
  std::unique_ptr<Process> StartLocked(std::map<std::string, std::string> env = {}) {
    auto p = Start(std::move(env));
    EXPECT_TRUE(WaitUntil([&] { return PictureShows(); }, 10s)) << p->Output();
    return p;
  }
  bool PictureShows() { return Share(x_.Display(), kPicture) > 0.99; }
  std::string Note(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  pid_t PidOf(const std::string& name) const { return static_cast<pid_t>(std::atoi(Note(name).c_str())); }
  // Whether another client could take the keyboard now.
  bool StrangerCanGrab() {
    Display* d = XOpenDisplay(x_.Display().c_str());
    if (!d) return false;
    const int r = XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XCloseDisplay(d);
    return r == GrabSuccess;
  }
  void Type(const std::string& text) { Xdotool(x_.Display(), {"type", "--delay", "20", text}); }
  void Key(const std::string& key) { Xdotool(x_.Display(), {"key", key}); }
  // Wakes a prompt with keys and waits until its child has them all: the
  // child notes its pid before it reads a key, so the pid alone would race.
  pid_t WakePrompt(const std::string& text) {
    std::filesystem::remove(dir_ + "/prompt.pid");
    std::filesystem::remove(dir_ + "/prompt.typed");
    Type(text);
    WaitUntil([&] { return PidOf("prompt.pid") > 0 && Note("prompt.typed").size() >= text.size(); }, 5s);
    return PidOf("prompt.pid");
  }

  tavtest::Xvfb x_;
  std::string dir_;
  Display* dpy_ = nullptr;
};

TEST_F(LockHolder, HoldsTheKeyboardAndCoversTheScreen) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked();
  EXPECT_EQ(Share(x_.Display(), kDesktop), 0);
  EXPECT_FALSE(StrangerCanGrab());
  // The drawing child: the saver's options, fds 0-3 only, first to go when memory runs out.
  EXPECT_NE(Note("draw.args").find("--lock-draw --heartbeat-fd 3 --speed 30 --windows "), std::string::npos);
  EXPECT_EQ(Note("draw.fds"), "0 1 2 3 ");
  EXPECT_EQ(Note("draw.oom"), "1000");
  // SIGINT and SIGHUP do not end it; two seconds on, the grab is still held.
  p->Signal(SIGINT);
  p->Signal(SIGHUP);
  std::this_thread::sleep_for(2s);
  EXPECT_TRUE(p->Running()) << p->Output();
  EXPECT_FALSE(StrangerCanGrab());
  EXPECT_EQ(Share(x_.Display(), kDesktop), 0);
  p->Signal(SIGTERM);
  EXPECT_EQ(p->Wait(5s), 0) << p->Output();
  EXPECT_TRUE(StrangerCanGrab());
  EXPECT_EQ(kill(PidOf("draw.pid"), 0), -1);  // its child went with it
}

TEST_F(LockHolder, PointerJitterOfFivePixelsKeepsThePictureSixWakeThePrompt) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  ASSERT_EQ(Xdotool(x_.Display(), {"mousemove", "300", "200"}), 0);
  auto p = StartLocked();
  Xdotool(x_.Display(), {"mousemove", "305", "195"});
  std::this_thread::sleep_for(700ms);
  EXPECT_EQ(PidOf("prompt.pid"), 0);
  Xdotool(x_.Display(), {"mousemove", "300", "206"});
  EXPECT_TRUE(WaitUntil([&] { return PidOf("prompt.pid") > 0; }, 5s)) << p->Output();
  EXPECT_EQ(Note("prompt.typed"), "");  // nothing typed: the prompt starts empty
}

class DrawingChildDies : public LockHolder, public ::testing::WithParamInterface<int> {};

TEST_P(DrawingChildDies, ScreenStaysCoveredAndThePictureComesBack) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked();
  const pid_t first = PidOf("draw.pid");
  ASSERT_GT(first, 0);
  ASSERT_EQ(kill(first, GetParam()), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Share(x_.Display(), kDesktop), 0);
  EXPECT_FALSE(StrangerCanGrab());
  EXPECT_TRUE(WaitUntil([&] { return PidOf("draw.pid") != first && PictureShows(); }, 5s)) << p->Output();
  EXPECT_FALSE(StrangerCanGrab());
  EXPECT_TRUE(p->Running());
}

INSTANTIATE_TEST_SUITE_P(Signals, DrawingChildDies, ::testing::Values(SIGSEGV, SIGABRT, SIGKILL));

TEST_F(LockHolder, DrawingChildWithoutAHeartbeatIsReplaced) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked({{"TAV_FAKE_DRAW", "silent"}});
  const pid_t first = PidOf("draw.pid");
  EXPECT_TRUE(WaitUntil([&] { return PidOf("draw.pid") != first; }, 15s)) << p->Output();
  EXPECT_EQ(kill(first, 0), -1);  // killed and reaped
  EXPECT_TRUE(WaitUntil([&] { return PictureShows(); }, 3s));
  EXPECT_FALSE(StrangerCanGrab());
}

TEST_F(LockHolder, RightPasswordUnlocksAndKeysDuringTheDelayAreDropped) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked();
  ASSERT_GT(WakePrompt("wrong"), 0);
  EXPECT_EQ(Note("prompt.info"), "dumpable=0 core=0 oom=1000");
  EXPECT_GT(Share(x_.Display(), 0xffffff), 0.2);  // the prompt, over the picture
  Key("Return");
  // Within the first failure's second of delay: these keys never reach the prompt.
  Type("secret");
  Key("Return");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(p->Running());
  std::this_thread::sleep_for(1s);
  Type("secret");
  Key("Return");
  EXPECT_EQ(p->Wait(5s), 0) << p->Output();
  EXPECT_TRUE(StrangerCanGrab());
  EXPECT_GT(Share(x_.Display(), kDesktop), 0.99);
}

TEST_F(LockHolder, EscapeClosesThePromptWithoutAFailure) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked();
  const pid_t prompt = WakePrompt("x");
  ASSERT_GT(prompt, 0);
  EXPECT_EQ(Note("prompt.failures"), "0");
  Key("Escape");
  EXPECT_TRUE(WaitUntil([&] { return kill(prompt, 0) == -1 && PictureShows(); }, 3s));
  ASSERT_GT(WakePrompt("y"), 0);
  EXPECT_EQ(Note("prompt.failures"), "0");
  EXPECT_EQ(Note("prompt.typed"), "y");
  EXPECT_TRUE(p->Running());
}

// A prompt that crashes, writes garbage or more than its answer, or exits
// without one: the lock stays, and the next prompt is told of the failure.
class PromptMisbehaves : public LockHolder, public ::testing::WithParamInterface<const char*> {};

TEST_P(PromptMisbehaves, LockStaysAndTheFailureCounts) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked({{"TAV_FAKE_PROMPT", GetParam()}});
  const pid_t prompt = WakePrompt("secret");
  ASSERT_GT(prompt, 0);
  Key("Return");
  EXPECT_TRUE(WaitUntil([&] { return kill(prompt, 0) == -1; }, 3s));
  EXPECT_TRUE(WaitUntil([&] { return PictureShows(); }, 3s));
  EXPECT_TRUE(p->Running()) << p->Output();
  EXPECT_FALSE(StrangerCanGrab());
  std::this_thread::sleep_for(1100ms);  // the first failure's delay
  ASSERT_GT(WakePrompt("a"), 0);
  EXPECT_EQ(Note("prompt.failures"), "1");
  EXPECT_EQ(Note("prompt.typed"), "a");
}

INSTANTIATE_TEST_SUITE_P(Ways, PromptMisbehaves, ::testing::Values("crash", "garbage", "exit0", "extra"));

TEST_F(LockHolder, StrangerWindowMappedOverTheCoverIsCoveredAgain) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked();
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = 0xff0000;
  for (int i = 0; i < 3; ++i) {
    const Window w = XCreateWindow(dpy_, DefaultRootWindow(dpy_), 100 + 50 * i, 100, 200, 200, 0, CopyFromParent,
                                   InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(dpy_, w);
    XSync(dpy_, False);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Share(x_.Display(), 0xff0000, 100, 100, 300, 200), 0) << i;
  }
  EXPECT_TRUE(PictureShows());
}

TEST_F(LockHolder, MonitorsThatComeAndGoGetPictureWindowsOfTheirOwn) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked();
  const auto windows = [&] {
    const std::string args = Note("draw.args");
    return std::count(args.begin(), args.end(), ',') + 1;
  };
  EXPECT_EQ(windows(), 1);
  const auto xrandr = [&](const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xrandr"};
    argv.insert(argv.end(), args.begin(), args.end());
    return Process(argv, x_.Display()).Wait(10s);
  };
  ASSERT_EQ(xrandr({"--setmonitor", "left", "320/0x480/0+0+0", "none"}), 0);
  EXPECT_TRUE(WaitUntil([&] { return windows() == 2 && PictureShows(); }, 5s)) << Note("draw.args");
  ASSERT_EQ(xrandr({"--delmonitor", "left"}), 0);
  EXPECT_TRUE(WaitUntil([&] { return windows() == 1 && PictureShows(); }, 5s)) << Note("draw.args");
  EXPECT_EQ(Share(x_.Display(), kDesktop), 0);
  EXPECT_FALSE(StrangerCanGrab());
}

TEST_F(LockHolder, SleepLockFdClosesOnceCoveredAndGrabbed) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  auto p = Start({{"XSS_SLEEP_LOCK_FD", std::to_string(fds[1])}});
  close(fds[1]);
  pollfd pfd{fds[0], POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 10000), 1);
  char c;
  EXPECT_EQ(read(fds[0], &c, 1), 0);  // the end, no byte
  close(fds[0]);
  EXPECT_FALSE(StrangerCanGrab());
  EXPECT_EQ(Share(x_.Display(), kDesktop), 0);
  EXPECT_TRUE(p->Running()) << p->Output();
}

class BadSleepLockFd : public LockHolder, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadSleepLockFd, IsIgnoredWithALine) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  auto p = StartLocked({{"XSS_SLEEP_LOCK_FD", GetParam()}});
  EXPECT_FALSE(StrangerCanGrab());
  EXPECT_NE(p->Output().find(std::string("XSS_SLEEP_LOCK_FD=") + GetParam() + " is not an open descriptor"),
            std::string::npos)
      << p->Output();
}

INSTANTIATE_TEST_SUITE_P(Values, BadSleepLockFd, ::testing::Values("99", "abc", "-1"));

TEST_F(LockHolder, NotLockedWhileAnotherClientHoldsTheKeyboard) {
  ASSERT_TRUE(x_.Ok() && dpy_);
  ASSERT_EQ(XGrabKeyboard(dpy_, DefaultRootWindow(dpy_), False, GrabModeAsync, GrabModeAsync, CurrentTime),
            GrabSuccess);
  XSync(dpy_, False);
  auto p = Start();
  EXPECT_EQ(p->Wait(10s), 1) << p->Output();
  EXPECT_NE(p->Output().find(kNotLocked), std::string::npos) << p->Output();
  EXPECT_GT(Share(x_.Display(), kDesktop), 0.99);  // nothing left over the desktop
}

}  // namespace
