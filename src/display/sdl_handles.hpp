#pragma once
// Owners of SDL's handles: each destroys its handle when it goes, so that no
// error path frees one by hand. The order is ours to keep: a texture goes
// before its renderer (a renderer frees its textures with it, and a later
// SDL_DestroyTexture would read freed memory), a renderer before its window.
// Declare the holders window, renderer, texture, in that order, and they are
// destroyed the other way round.
#include <SDL.h>

#include <memory>

namespace tav {

struct SdlDestroyer {
  void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
  void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
  void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};

using SdlWindow = std::unique_ptr<SDL_Window, SdlDestroyer>;
using SdlRenderer = std::unique_ptr<SDL_Renderer, SdlDestroyer>;
using SdlTexture = std::unique_ptr<SDL_Texture, SdlDestroyer>;

}  // namespace tav
