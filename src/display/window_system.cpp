#include "display/window_system.hpp"

#include <SDL_syswm.h>

#include <cstring>

namespace tav {

bool SdlVideoDriverIs(const char* name) {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, name) == 0;
}

X11Ids X11IdsOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return {};
  return {info.info.x11.display, info.info.x11.window};
}

}  // namespace tav
