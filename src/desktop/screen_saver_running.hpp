#pragma once
// The "screen saver running" flag: while it is set, keyboard and mouse are
// grabbed for the full-screen window.
#include <SDL.h>

namespace tav {

// Sets (grabs keyboard and mouse for window, and gives it the input focus)
// or clears (lets both go) the flag. Answers whether the grabs took.
bool ScreenSaverRunning(SDL_Window* window, bool running);

}  // namespace tav
