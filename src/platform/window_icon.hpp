#pragma once
// The program's icon on our top-level windows: the window manager's title
// bar and task switcher show it (_NET_WM_ICON on X11). Made at build time
// from our own renderer's picture and built in, so no file is read.
#include <SDL.h>

namespace tav {

// The desktop entry's id, which Wayland compositors match to find our icon
// (SDL 2.26 cannot set a window icon there).
inline constexpr const char* kDesktopEntryId = "tavorensia";

// Sets the icon on a window we created; does nothing when SDL cannot.
void SetWindowIcon(SDL_Window* window);

}  // namespace tav
