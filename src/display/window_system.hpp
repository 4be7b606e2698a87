#pragma once
// Which window system SDL runs on, and the Xlib ids behind an SDL window.
#include <SDL.h>

struct _XDisplay;  // Xlib's Display

namespace tav {

// Whether SDL's video runs on the driver of that name ("x11", "wayland").
bool SdlVideoDriverIs(const char* name);
inline bool SdlOnX11() { return SdlVideoDriverIs("x11"); }
inline bool SdlOnWayland() { return SdlVideoDriverIs("wayland"); }

struct X11Ids {
  _XDisplay* display = nullptr;
  unsigned long window = 0;
};
// The Xlib connection and window of an SDL window; null and 0 when SDL does
// not run it on X11 (or window is null).
X11Ids X11IdsOf(SDL_Window* window);

}  // namespace tav
