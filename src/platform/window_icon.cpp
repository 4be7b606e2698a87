#include "platform/window_icon.hpp"

#include <cstddef>
#include <cstdint>

namespace tav {

// The 24-bit BMP file that the build renders (window_icon_pixels.cpp).
extern const uint8_t kWindowIconBmp[];
extern const std::size_t kWindowIconBmpSize;

void SetWindowIcon(SDL_Window* window) {
  if (!window) return;
  SDL_Surface* icon = SDL_LoadBMP_RW(SDL_RWFromConstMem(kWindowIconBmp, static_cast<int>(kWindowIconBmpSize)), 1);
  if (!icon) return;
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

}  // namespace tav
