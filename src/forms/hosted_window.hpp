#pragma once
// The full-screen mode as a guest in a window that a screen-saver host gives
// it (XScreenSaver's saver window, the preview pane of its settings tool).
// The picture goes into a child window that we create inside the host's
// window and keep at its size; SDL draws into that child. The host owns
// keyboard, mouse, cursor and locking; we end on SIGTERM or when the host's
// window goes away.
#include <SDL.h>

#include <cstdint>

struct _XDisplay;  // Xlib's Display

namespace tav {

class HostedWindow {
 public:
  // Needs SDL's video started. Raises std::runtime_error when host is not a
  // window we can draw into.
  explicit HostedWindow(uint32_t host);
  ~HostedWindow();
  HostedWindow(const HostedWindow&) = delete;
  HostedWindow& operator=(const HostedWindow&) = delete;

  SDL_Window* Window() const { return window_; }
  unsigned long Child() const { return child_; }

  // Keeps the child at the host's size; false once the host's window (or
  // the child with it) is gone.
  bool Follow();

 private:
  _XDisplay* dpy_ = nullptr;  // our own connection: SDL does not watch the host
  unsigned long host_ = 0;
  unsigned long child_ = 0;
  SDL_Window* window_ = nullptr;
  int width_ = 0, height_ = 0;
};

// The full-screen mode inside the host's window; the process's exit status.
int RunHostedFullScreen(uint32_t host);

}  // namespace tav
