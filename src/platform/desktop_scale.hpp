#pragma once
// How much larger than their designed size our dialog-like windows (the
// settings window, its dialogs, the password prompt, the error box) are
// drawn on a high-resolution desktop.
#include <SDL.h>

namespace tav {

// A raw scale rounded to the nearest 0.25, and never below 1.
float RoundedScale(double raw);

// The factor by which such a window is made larger than its designed size:
// on X11 Xft.dpi / 96 from the resource database the desktop loaded (xrdb),
// rounded; 1 when Xft.dpi is not set (the screen's own DPI figure is often
// wrong, so it is not consulted). On Wayland 1: the compositor scales the
// window itself and SDL hands us a larger drawable (SDL_WINDOW_ALLOW_HIGHDPI).
float WindowScale();

// Window flags that let Wayland give us a drawable at the output's scale.
inline constexpr Uint32 kScaledWindowFlags = SDL_WINDOW_ALLOW_HIGHDPI;

}  // namespace tav
