#include "modes/lock_child.hpp"

#include <cstdio>
#include <exception>

namespace tav {

LockChild::Hints::Hints(Renderer renderer) {
  if (renderer != Renderer::Software) return;
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
}

LockChild::LockChild(Renderer renderer) : hints_(renderer), expected_(nullptr), app_(kApplicationTitle, Windowing::X11) { app_.SetErrorsToStderrOnly(); }

std::vector<std::unique_ptr<HostedWindow>> LockChild::HostIn(const std::vector<unsigned long>& windows) {
  std::vector<std::unique_ptr<HostedWindow>> hosted;
  try {
    for (const unsigned long id : windows) hosted.push_back(std::make_unique<HostedWindow>(static_cast<uint32_t>(id)));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavorensia: %s\n", e.what());
    hosted.clear();
  }
  return hosted;
}

}  // namespace tav
