#include "desktop/screen_saver_running.hpp"

#include <X11/Xlib.h>

#include "platform/application.hpp"

namespace tav {

bool ScreenSaverRunning(SDL_Window* window, bool running) {
  if (!window) return false;
  Display* dpy = Application::XDisplayOf(window);
  const Window xwin = Application::XWindowOf(window);
  if (!dpy || !xwin) {
    SDL_SetWindowKeyboardGrab(window, running ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowMouseGrab(window, running ? SDL_TRUE : SDL_FALSE);
    return true;
  }
  if (!running) {
    XUngrabKeyboard(dpy, CurrentTime);
    XUngrabPointer(dpy, CurrentTime);
    XFlush(dpy);
    return true;
  }
  // Owner events on: our own windows (the error box, the password dialog)
  // still get their input normally; everything else gets none.
  XSetInputFocus(dpy, xwin, RevertToParent, CurrentTime);
  const int k = XGrabKeyboard(dpy, xwin, True, GrabModeAsync, GrabModeAsync, CurrentTime);
  const int p = XGrabPointer(dpy, xwin, True, PointerMotionMask | ButtonPressMask | ButtonReleaseMask,
                             GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  XFlush(dpy);
  return k == GrabSuccess && p == GrabSuccess;
}

}  // namespace tav
