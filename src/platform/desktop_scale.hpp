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

// Where a window of width x height designed units goes in a monitor's work
// area (the monitor less panels and docks), and at what scale.
struct WindowFit {
  float scale = 1;
  SDL_Rect rect{};  // position and size in pixels
};

// The wanted scale when the window fits the work area at it; else the
// largest quarter step below it at which it fits (a fraction below 1 on a
// monitor too small for the designed size). The window is centred in the
// area, and where the area is smaller still it starts at the area's corner.
WindowFit FitInWorkArea(int width, int height, float scale, const SDL_Rect& area);

// The work area of the monitor under the pointer (on X11; elsewhere the
// first monitor's), or none when the video driver tells none.
bool WorkAreaForNewWindow(SDL_Rect& area);

// A window of width x height designed units at the desktop's scale, made
// smaller where it would not fit its monitor's work area; placed in the
// middle of that area on X11 (a Wayland compositor places windows itself).
WindowFit PlaceNewWindow(int width, int height);

// Window flags that let Wayland give us a drawable at the output's scale.
inline constexpr Uint32 kScaledWindowFlags = SDL_WINDOW_ALLOW_HIGHDPI;

}  // namespace tav
