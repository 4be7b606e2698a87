#include "modes/hosted_window.hpp"

#include <X11/Xlib.h>

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "platform/application.hpp"
#include "modes/full_screen_form.hpp"

namespace tav {

HostedWindow::HostedWindow(uint32_t host, bool background)
    : dpy_(XOpenDisplay(nullptr)), host_(host), background_(background) {
  if (!dpy_) throw std::runtime_error("no X display");
  Display* dpy = dpy_.get();
  XWindowAttributes a{};
  if (host_ == 0 || !XGetWindowAttributes(dpy, host_, &a)) throw std::runtime_error("no host window");
  width_ = a.width;
  height_ = a.height;
  // Same depth and visual as the host, black until the first frame, and no
  // input selected: events fall through to the host, which owns them.
  XSetWindowAttributes sa{};
  sa.background_pixel = BlackPixel(dpy, DefaultScreen(dpy));
  sa.border_pixel = 0;
  sa.override_redirect = background_ ? True : False;
  child_ = XWindowHandle(dpy, XCreateWindow(dpy, host_, 0, 0, static_cast<unsigned>(width_),
                                            static_cast<unsigned>(height_), 0, CopyFromParent, InputOutput,
                                            CopyFromParent, CWBackPixel | CWBorderPixel | CWOverrideRedirect,
                                            &sa));
  // Mapped before SDL sees it: SDL then takes it as shown and does not wait
  // for a map notification that it never asked for.
  XMapWindow(dpy, child_.get());
  if (background_) XLowerWindow(dpy, child_.get());
  XSync(dpy, False);
  XWindowAttributes ca{};
  if (!child_ || !XGetWindowAttributes(dpy, child_.get(), &ca)) throw std::runtime_error("no child window");
  window_.reset(SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<uintptr_t>(child_.get()))));
  if (!window_) throw std::runtime_error(SDL_GetError());
}

bool HostedWindow::Follow() {
  // A round trip each: a window that is gone answers BadWindow, which the
  // run's error trap catches.
  XWindowAttributes host{}, child{};
  if (!XGetWindowAttributes(dpy_.get(), host_, &host) || !XGetWindowAttributes(dpy_.get(), child_.get(), &child))
    return false;
  if (host.width != width_ || host.height != height_) {
    width_ = host.width;
    height_ = host.height;
    // Through SDL, so that its renderer learns the new size too.
    SDL_SetWindowSize(window_.get(), width_, height_);
  }
  // Nobody else restacks an override-redirect window; lowering it again
  // costs one request and keeps it under anything that was raised past it.
  if (background_) XLowerWindow(dpy_.get(), child_.get());
  return true;
}

namespace {

// SDL does not see the host's window; the loop looks at it this often.
constexpr Uint32 kFollowIntervalMs = 50;

}  // namespace

bool IsInputEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
      return true;
    default:
      return false;
  }
}

int RunInHostWindow(uint32_t host, const SettingsOverrides& options, bool background) {
  // SDL's software renderer on a plain X image, with no GL anywhere (SDL
  // would otherwise back the window surface with a GL texture). Then a
  // window that vanishes under us costs an X error; Mesa's GLX, on a
  // drawable that is gone, took a garbage size and stalled for seconds.
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // The host may destroy its window, and our child with it, at any moment,
  // and what we and SDL send about them in the moments after fails: in a
  // host's window X errors are expected, so they are caught for the whole
  // run (SDL's last ones arrive as it closes its display) and kept off the
  // host's stderr.
  const XErrorTrap expected(nullptr);
  // The host's window is an X11 window, on a Wayland session too (Xwayland's).
  Application app(kApplicationTitle, Windowing::X11);
  app.SetErrorsToStderrOnly();  // the host holds the input: a box could never close
  std::optional<HostedWindow> hosted;
  try {
    hosted.emplace(host, background);
  } catch (const std::exception&) {
    return 1;  // nothing to draw into; the host sees the status
  }
  TForm1 form(app, TForm1::Hosted{hosted->Window(), !background}, options);
  app.SetPulse(kFollowIntervalMs, [&] {
    if (!hosted->Follow()) app.Terminate();
  });
  app.SetMainWindow(form.Window(), [&](const SDL_Event& e) {
    // The host owns keyboard and mouse.
    if (!IsInputEvent(e)) form.HandleEvent(e);
  });
  app.Run();
  return app.ExitStatus();
}

}  // namespace tav
