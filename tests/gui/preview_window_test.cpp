// The preview mode against a real X server: inside a host window made here
// with Xlib, and as a pop-up when there is no usable host window.
// gtest first: Xlib defines None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>

#include "temp_config.hpp"
#include "harness.hpp"
#include "desktop/password.hpp"

namespace {

using namespace std::chrono_literals;
using tavtest::Process;
using tavtest::Shot;
using tavtest::Xvfb;

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

// A plain grey window standing in for a screen-saver host's preview area.
class HostWindow {
 public:
  HostWindow(const std::string& display, int width, int height) {
    dpy_ = XOpenDisplay(display.c_str());
    if (!dpy_) return;
    XSetErrorHandler(IgnoreErrors);
    window_ = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 40, 30,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                  0, kGrey);
    XSelectInput(dpy_, window_, KeyPressMask);
    XMapWindow(dpy_, window_);
    XSync(dpy_, False);
  }
  ~HostWindow() {
    if (dpy_) XCloseDisplay(dpy_);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  static constexpr unsigned long kGrey = 0x808080;
  Display* Dpy() const { return dpy_; }
  Window Id() const { return window_; }

  void Destroy() {
    XDestroyWindow(dpy_, window_);
    XSync(dpy_, False);
  }

  // The child named name, once it is there and mapped.
  std::optional<Window> WaitForChild(const std::string& name, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      Window root, parent, *children = nullptr;
      unsigned n = 0;
      std::optional<Window> found;
      if (XQueryTree(dpy_, window_, &root, &parent, &children, &n)) {
        for (unsigned i = 0; i < n && !found; ++i) {
          char* title = nullptr;
          XWindowAttributes a;
          if (XFetchName(dpy_, children[i], &title) && title && name == title &&
              XGetWindowAttributes(dpy_, children[i], &a) && a.map_state == IsViewable) {
            found = children[i];
          }
          if (title) XFree(title);
        }
        if (children) XFree(children);
      }
      if (found) return found;
      std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
  }

  bool ReceivedKeyPress() {
    XEvent ev;
    return XCheckWindowEvent(dpy_, window_, KeyPressMask, &ev);
  }

 private:
  Display* dpy_ = nullptr;
  Window window_ = 0;
};

// Share of pixels that are neither white nor the host's grey: what the preview drew.
double PaintedShare(const Shot& s) {
  size_t n = 0;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const bool white = s.R(x, y) == 255 && s.G(x, y) == 255 && s.B(x, y) == 255;
      const bool grey = s.R(x, y) == 0x80 && s.G(x, y) == 0x80 && s.B(x, y) == 0x80;
      n += !white && !grey;
    }
  }
  return static_cast<double>(n) / (static_cast<double>(s.width) * s.height);
}

// Two screenshots of window some paints apart: the animation must be drawing and moving.
void ExpectAnimated(const std::string& display, Window window) {
  std::this_thread::sleep_for(300ms);
  const auto first = tavtest::Screenshot(display, window);
  std::this_thread::sleep_for(400ms);
  const auto second = tavtest::Screenshot(display, window);
  ASSERT_TRUE(first && second);
  EXPECT_GT(PaintedShare(*second), 0.3);
  EXPECT_GT(second->DifferentShare(*first), 0.05);
}

std::map<std::string, std::string> OwnConfig() { return {{"XDG_CONFIG_HOME", tavtest::TempDir()}}; }

// Waits until the password dialog is up and has drawn itself: keys typed
// before its first frame are dropped on purpose (the key that opened it
// must not type into it).
bool WaitForPasswordDialog(const std::string& display) {
  const auto dialog = tavtest::WaitForWindow(display, "Tavorensia Screensaver", 10s);
  if (!dialog) return false;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto shot = tavtest::Screenshot(display, *dialog);
    if (shot && shot->NonBlackShare() > 0.05) {
      std::this_thread::sleep_for(200ms);
      return true;
    }
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

TEST(PreviewWindow, RunsInsideTheHostWindowUntilTheHostDestroysIt) {
  Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  HostWindow host(x.Display(), 152, 112);
  ASSERT_TRUE(host.Dpy());
  Process preview({TAV_EXE, "/p", std::to_string(host.Id())}, x.Display(), OwnConfig());

  const auto child = host.WaitForChild("Tavorensi", 10s);
  ASSERT_TRUE(child) << preview.Output();
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(host.Dpy(), *child, &a));
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 0);
  EXPECT_EQ(a.width, 152);
  EXPECT_EQ(a.height, 112);
  // Nobody listens for keys or the mouse on the child: they stay with the host.
  EXPECT_EQ(a.all_event_masks & (KeyPressMask | ButtonPressMask | PointerMotionMask), 0);

  ExpectAnimated(x.Display(), *child);

  // A key typed into the host reaches the host and leaves the preview running.
  XSetInputFocus(host.Dpy(), host.Id(), RevertToParent, CurrentTime);
  XSync(host.Dpy(), False);
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"mousemove", "100", "80", "key", "Escape"}), 0);
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(host.ReceivedKeyPress());
  EXPECT_TRUE(preview.Running());

  host.Destroy();
  const auto status = preview.Wait(1s);
  ASSERT_TRUE(status) << "still running 1 s after the host window was destroyed";
  EXPECT_EQ(*status, 0) << preview.Output();
}

TEST(PreviewWindow, EndsCleanlyWhicheverMomentOfAFrameTheHostGoes) {
  // Destroyed at different points of the 40 ms repaint cycle, possibly while
  // a frame is being put into the window.
  Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  for (auto delay : {0ms, 7ms, 13ms, 22ms, 31ms}) {
    HostWindow host(x.Display(), 152, 112);
    ASSERT_TRUE(host.Dpy());
    Process preview({TAV_EXE, "/p", std::to_string(host.Id())}, x.Display(), OwnConfig());
    ASSERT_TRUE(host.WaitForChild("Tavorensi", 10s)) << preview.Output();
    std::this_thread::sleep_for(delay);
    host.Destroy();
    const auto status = preview.Wait(1s);
    ASSERT_TRUE(status) << "delay " << delay.count() << " ms";
    EXPECT_EQ(*status, 0) << "delay " << delay.count() << " ms\n" << preview.Output();
  }
}

TEST(PreviewWindow, WithoutAUsableHostItIsAPopupThatEndsOnAKey) {
  Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  // An id that names no window: one that existed and is gone.
  std::string goneId;
  {
    HostWindow gone(x.Display(), 10, 10);
    ASSERT_TRUE(gone.Dpy());
    goneId = std::to_string(gone.Id());
    gone.Destroy();
  }
  const std::vector<std::vector<std::string>> commands = {
      {TAV_EXE, "/p"},
      {TAV_EXE, "/p", "not-a-window"},
      {TAV_EXE, "/p", goneId},
  };
  for (const auto& command : commands) {
    const std::string what = command.size() > 2 ? command[2] : "(none)";
    Process preview(command, x.Display(), OwnConfig());
    const auto popup = tavtest::WaitForWindow(x.Display(), "Tavorensi", 10s);
    ASSERT_TRUE(popup) << what << "\n" << preview.Output();

    Display* dpy = XOpenDisplay(x.Display().c_str());
    ASSERT_TRUE(dpy);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, *popup, &a));
    XCloseDisplay(dpy);
    EXPECT_EQ(a.x, 0) << what;
    EXPECT_EQ(a.y, 0) << what;
    EXPECT_EQ(a.width, 320) << what;
    EXPECT_EQ(a.height, 240) << what;
    ExpectAnimated(x.Display(), *popup);

    // No password is set in this fresh configuration, so any key ends it.
    ASSERT_EQ(tavtest::Xdotool(x.Display(), {"key", "space"}), 0);
    const auto status = preview.Wait(5s);
    ASSERT_TRUE(status) << what << ": still running after a key";
    EXPECT_EQ(*status, 0) << what << "\n" << preview.Output();
  }
}

TEST(PreviewWindow, PopupWithAPasswordEndsOnlyOnTheRightOne) {
  Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  tavtest::TempConfig config;
  ASSERT_EQ(tav::ChangePassword(tav::SecureString(""), tav::SecureString("secret"),
                                tav::SecureString("secret")),
            tav::PasswordChange::Stored);
  // The dialog's text field starts SDL's input-method support, whose D-Bus
  // data is left behind in a library SDL has unloaded by then: unknown to
  // any suppression, so these processes run without the leak check. SDL's
  // software renderer keeps Mesa's threads, which ThreadSanitizer cannot
  // see into, out of the dialog.
  const std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", config.config().string()},
                                                  {"ASAN_OPTIONS", "detect_leaks=0"},
                                                  {"SDL_RENDER_DRIVER", "software"},
                                                  {"SDL_FRAMEBUFFER_ACCELERATION", "0"}};
  Process preview({TAV_EXE, "/p"}, x.Display(), env);
  ASSERT_TRUE(tavtest::WaitForWindow(x.Display(), "Tavorensi", 10s)) << preview.Output();

  // A key asks for the password; Escape cancels and the preview goes on.
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"key", "space"}), 0);
  ASSERT_TRUE(WaitForPasswordDialog(x.Display())) << preview.Output();
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"key", "Escape"}), 0);
  EXPECT_FALSE(preview.Wait(1s)) << "ended although the dialog was cancelled";

  // The right password ends it.
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"key", "space"}), 0);
  ASSERT_TRUE(WaitForPasswordDialog(x.Display())) << preview.Output();
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"type", "secret"}), 0);
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"key", "Return"}), 0);
  const auto status = preview.Wait(10s);
  ASSERT_TRUE(status) << "still running after the right password";
  EXPECT_EQ(*status, 0) << preview.Output();

  // Once the dialog has been up, a plain SIGTERM still ends the preview.
  Process again({TAV_EXE, "/p"}, x.Display(), env);
  ASSERT_TRUE(tavtest::WaitForWindow(x.Display(), "Tavorensi", 10s)) << again.Output();
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"key", "space"}), 0);
  ASSERT_TRUE(WaitForPasswordDialog(x.Display())) << again.Output();
  ASSERT_EQ(tavtest::Xdotool(x.Display(), {"key", "Escape"}), 0);
  std::this_thread::sleep_for(300ms);
  again.Signal(SIGTERM);
  EXPECT_TRUE(again.Wait(5s)) << "SIGTERM did not end the preview";
}

}  // namespace
