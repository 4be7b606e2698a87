#pragma once
// The full-screen mode as a guest in a window that a screen-saver host gives
// it (XScreenSaver's saver window, the preview pane of its settings tool).
// The picture goes into a child window that we create inside the host's
// window and keep at its size; SDL draws into that child. The host owns
// keyboard, mouse, cursor and locking; we end on SIGTERM or when the host's
// window goes away. The same serves as a live desktop background
// (modes/root_background.hpp), with the desktop's root window as the host.
#include <SDL.h>

#include <cstdint>

#include "display/x11_handles.hpp"
#include "display/sdl_handles.hpp"
#include "generator/settings.hpp"

namespace tav {

class HostedWindow {
 public:
  // Needs SDL's video started. Raises std::runtime_error when host is not a
  // window we can draw into. background: host is the desktop's root, so the
  // child is kept out of the window manager's hands (override-redirect) and
  // below every other window.
  explicit HostedWindow(uint32_t host, bool background = false);
  HostedWindow(const HostedWindow&) = delete;
  HostedWindow& operator=(const HostedWindow&) = delete;

  SDL_Window* Window() const { return window_.get(); }
  unsigned long Child() const { return child_.get(); }

  // Keeps the child at the host's size; false once the host's window (or
  // the child with it) is gone.
  bool Follow();

 private:
  // Destroyed bottom up: SDL lets go of the child (and leaves the X window),
  // the child goes, and the connection it was made on closes last.
  XDisplayPtr dpy_;  // our own connection: SDL does not watch the host
  unsigned long host_ = 0;  // the host's; never ours to destroy
  XWindowHandle child_;
  SdlWindow window_;  // SDL's view of the child
  bool background_ = false;
  int width_ = 0, height_ = 0;
};

// Keys, buttons and motion: in a host's window they are the host's.
bool IsInputEvent(const SDL_Event& e);

// The full-screen mode inside the host's window (background: the desktop's,
// see modes/root_background.hpp); the process's exit status.
int RunInHostWindow(uint32_t host, const SettingsOverrides& options, bool background);

// The full-screen mode inside a screen-saver host's window.
inline int RunHostedFullScreen(uint32_t host, const SettingsOverrides& options) {
  return RunInHostWindow(host, options, false);
}

}  // namespace tav
