#include "platform/application.hpp"
#include "display/window_system.hpp"
#include "display/x11_handles.hpp"
#include "platform/modal_dialog.hpp"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/modal_dialog.hpp"
#include "platform/relative_pointer.hpp"
#include "platform/wayland_seat.hpp"
#include "platform/window_icon.hpp"

namespace tav {
namespace {

// The pointer on Wayland, from the motion events of the one event loop.
RelativePointer gWaylandPointer;

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// SDL's video on a real display. Left to itself SDL falls back to its
// offscreen or dummy driver, where a saver runs on unseen until it is
// killed. A driver the caller names in SDL_VIDEODRIVER is taken as given.
// SDL 2.26 tries X11 before Wayland, which on a Wayland session would put
// us on Xwayland: there the compositor's outputs, idle handling and stacking
// reach us only second-hand. So a session with a compositor gets Wayland
// first, X11 (its Xwayland) if that fails.
void StartVideo(Windowing windowing) {
  if (Set("SDL_VIDEODRIVER")) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) throw ENoDisplay(SDL_GetError());
    return;
  }
  std::vector<std::string> order;
  if (windowing == Windowing::X11) {
    order = {"x11"};
  } else if (Set("WAYLAND_DISPLAY")) {
    // A seat without a keyboard yet: through Xwayland where there is one
    // (platform/wayland_seat.hpp says why).
    const bool keyboardLater = Set("DISPLAY") && WaylandSeatHasKeyboard() == false;
    order = keyboardLater ? std::vector<std::string>{"x11", "wayland"} : std::vector<std::string>{"wayland", "x11"};
  } else {
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) order.emplace_back(SDL_GetVideoDriver(i));  // SDL's order
  }
  std::string reasons;
  for (const std::string& name : order) {
    if (name != "x11" && name != "wayland") continue;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, name.c_str());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return;
    reasons += (reasons.empty() ? "" : "; ") + std::string(SDL_GetError());
  }
  if (windowing == Windowing::X11 && !Set("DISPLAY") && Set("WAYLAND_DISPLAY"))
    reasons = "this mode draws into X11 windows, and this Wayland session has no X11 display (DISPLAY is not set)";
  throw ENoDisplay(reasons.empty() ? "no X11 or Wayland video driver" : reasons);
}


}  // namespace

Application::Application(std::string title, Windowing windowing) : title_(std::move(title)) {
  // A screen saver that minimises when something else takes focus would
  // lose its surface for nothing.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // SDL keeps the desktop's screen saver and display power saving off by
  // default; a screen saver must not.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Wayland compositors find our icon through the desktop entry this names;
  // SDL 2.26 reads it from the environment only. A value the user set stays.
  ::setenv("SDL_VIDEO_WAYLAND_WMCLASS", kDesktopEntryId, 0);
  // Xlib's default handler ends the process on any protocol error, which a
  // window that vanishes under us (a host's preview, a grab that races) can
  // cause; ours does not (display/x11_handles.hpp). Ours before SDL starts
  // as well: SDL's X11 back end remembers the handler it found and puts it
  // back when it quits, just before it closes the display, where errors
  // about windows already gone still arrive.
  InstallXErrorHandler();
  if (SDL_Init(SDL_INIT_EVENTS) != 0) throw std::runtime_error(std::string("SDL: ") + SDL_GetError());
  try {
    StartVideo(windowing);
  } catch (...) {
    SDL_Quit();
    throw;
  }
  if (SdlOnX11()) InstallXErrorHandler();
}

Application::~Application() {
  if (cursorCount_ < 0) SDL_ShowCursor(SDL_ENABLE);
  SDL_Quit();
}

void Application::SetMainWindow(SDL_Window* window, EventHandler handler) {
  mainWindow_ = window;
  handler_ = std::move(handler);
}

void Application::Run() {
  // The main window, its handler and its pulse belong to a window that is
  // destroyed after the loop and before this object: none of them is kept
  // past it.
  struct Forget {
    Application& app;
    ~Forget() {
      app.mainWindow_ = nullptr;
      app.ownWindows_.clear();
      app.handler_ = nullptr;
      app.pulse_ = nullptr;
    }
  } forget{*this};
  // A main window that ended before it began (its display could not be set
  // up) is never shown; its errors come in windows of their own.
  if (mainWindow_ && !terminated_) {
    ShowWindowOfItsSize(mainWindow_);
    // A newly shown main window is in front until something says otherwise.
    SetActive(true);
  } else {
    errorBox_ = nullptr;
  }
  holding_ = false;
  ShowWaitingErrors();
  if (!mainWindow_) return;
  while (!terminated_) {
    SDL_Event e;
    if (SDL_PollEvent(&e)) {
      Dispatch(e);
      continue;
    }
    // The queue is empty: idle processing, then wait no longer than it allows.
    const uint32_t wait = std::min(RunIdle(), RunPulse());
    if (terminated_) break;
    if (wait == 0) continue;
    const int timeout = wait == kWaitForever ? -1 : static_cast<int>(std::min<uint32_t>(wait, INT32_MAX));
    if (SDL_WaitEventTimeout(&e, timeout)) Dispatch(e);
  }
}

void Application::ProcessMessages() {
  SDL_Event e;
  while (!terminated_ && SDL_PollEvent(&e)) Dispatch(e);
}

uint32_t Application::RunIdle() {
  if (!idle_) return kWaitForever;
  uint32_t wait = kWaitForever;
  if (!Guard([&] { wait = idle_->Idle(); })) wait = 0;
  return wait;
}

void Application::SetPulse(uint32_t intervalMs, std::function<void()> f) {
  pulse_ = std::move(f);
  pulseInterval_ = intervalMs;
  lastPulse_ = SDL_GetTicks();
}

uint32_t Application::RunPulse() {
  if (!pulse_) return kWaitForever;
  const uint32_t elapsed = SDL_GetTicks() - lastPulse_;
  if (elapsed < pulseInterval_) return pulseInterval_ - elapsed;
  lastPulse_ = SDL_GetTicks();
  const auto pulse = pulse_;  // it may replace itself
  Guard(pulse);
  return pulse_ ? pulseInterval_ : kWaitForever;
}

void Application::Dispatch(const SDL_Event& e) {
  if (e.type == SDL_QUIT) {
    Terminate();
    return;
  }
  if (e.type == SDL_MOUSEMOTION && OnWayland()) gWaylandPointer.Moved(e.motion.windowID, e.motion.x, e.motion.y);
  if (e.type == SDL_WINDOWEVENT && OwnWindow(SDL_GetWindowFromID(e.window.windowID))) {
    if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) SetActive(true);
    // The focus moving on to another of ours (one monitor's window to the
    // next) is no deactivation: SDL knows the new focus by now when the
    // server said so in the same batch.
    if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
      SDL_Window* now = SDL_GetKeyboardFocus();
      if (!now || now == SDL_GetWindowFromID(e.window.windowID) || !OwnWindow(now)) SetActive(false);
    }
  }
  if (handler_) Guard([&] { handler_(e); });
}

void Application::AddOwnWindow(SDL_Window* window) {
  if (window && !OwnWindow(window)) ownWindows_.push_back(window);
}

void Application::RemoveOwnWindow(SDL_Window* window) { std::erase(ownWindows_, window); }

bool Application::OwnWindow(SDL_Window* window) const {
  if (!window) return false;
  return window == mainWindow_ || std::find(ownWindows_.begin(), ownWindows_.end(), window) != ownWindows_.end();
}

std::vector<SDL_Rect> Application::MonitorBounds() {
  std::vector<SDL_Rect> monitors;
  for (int i = 0, n = SDL_GetNumVideoDisplays(); i < n; ++i) {
    SDL_Rect r{};
    if (SDL_GetDisplayBounds(i, &r) == 0 && r.w > 0 && r.h > 0) monitors.push_back(r);
  }
  return monitors;
}

void Application::SetActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  // A copy: a listener may remove itself while being told.
  const auto listeners = listeners_;
  for (auto* l : listeners) {
    if (std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end()) continue;
    Guard([&] { active ? l->ApplicationActivated() : l->ApplicationDeactivated(); });
  }
}

void Application::AddActivationListener(ActivationListener* listener) {
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void Application::RemoveActivationListener(ActivationListener* listener) {
  std::erase(listeners_, listener);
}

bool Application::Guard(const std::function<void()>& f) {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error");
  }
  return false;
}

void Application::ShowError(const std::string& message, uint32_t closeAfterMs) {
  std::fprintf(stderr, "%s: %s\n", title_.c_str(), message.c_str());
  if (stderrOnly_) return;
  waitingErrors_.push_back({message, closeAfterMs});
  if (!holding_) ShowWaitingErrors();
}

SDL_Window* Application::RaisingWindow() const {
  // The window with the keyboard is the one whose handler failed (a dialog
  // of the main window, say); else the main window.
  if (SDL_Window* focus = SDL_GetKeyboardFocus(); focus && (SDL_GetWindowFlags(focus) & SDL_WINDOW_SHOWN)) return focus;
  return mainWindow_;
}

void Application::ShowWaitingErrors() {
  if (boxOpen_) return;
  boxOpen_ = true;
  while (!waitingErrors_.empty()) {
    const WaitingError e = waitingErrors_.front();
    waitingErrors_.erase(waitingErrors_.begin());
    try {
      if (!errorBox_ || !errorBox_(e.message, e.closeAfterMs))
        ShowErrorBox(title_, e.message, {.parent = RaisingWindow(), .closeAfterMs = e.closeAfterMs});
    } catch (const std::exception&) {
      // No window for the box either: stderr has it already.
    }
  }
  boxOpen_ = false;
}

int Application::ShowCursor(bool show) {
  cursorCount_ += show ? 1 : -1;
  SDL_ShowCursor(cursorCount_ >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return cursorCount_;
}

_XDisplay* Application::XDisplayOf(SDL_Window* window) { return X11IdsOf(window).display; }

unsigned long Application::XWindowOf(SDL_Window* window) { return X11IdsOf(window).window; }

SDL_Point Application::CursorScreenPos(SDL_Window* window) {
  SDL_Point p{0, 0};
  if (Display* dpy = XDisplayOf(window)) {
    Window root = 0, child = 0;
    int wx = 0, wy = 0;
    unsigned int mask = 0;
    if (XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &p.x, &p.y, &wx, &wy, &mask)) return p;
  }
  if (OnWayland()) {
    const RelativePointer::Point summed = gWaylandPointer.Position();
    return {summed.x, summed.y};
  }
  SDL_GetGlobalMouseState(&p.x, &p.y);
  return p;
}

SDL_Rect Application::WindowScreenRect(SDL_Window* window) {
  SDL_Rect r{0, 0, 0, 0};
  if (Display* dpy = XDisplayOf(window)) {
    XWindowAttributes a{};
    Window child = 0;
    const Window w = XWindowOf(window);
    if (XGetWindowAttributes(dpy, w, &a) && XTranslateCoordinates(dpy, w, a.root, 0, 0, &r.x, &r.y, &child)) {
      r.w = a.width;
      r.h = a.height;
      return r;
    }
  }
  SDL_GetWindowPosition(window, &r.x, &r.y);
  SDL_GetWindowSize(window, &r.w, &r.h);
  return r;
}

bool Application::OnWayland() { return SdlOnWayland(); }

unsigned long Application::XErrorCount() { return UntrappedXErrors(); }

}  // namespace tav
