#include "platform/desktop_scale.hpp"
#include "display/window_system.hpp"
#include "display/x11_handles.hpp"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tav {

float RoundedScale(double raw) {
  if (!(raw > 1)) return 1;  // also NaN
  return static_cast<float>(std::max(1.0, std::round(raw * 4) / 4));
}

float WindowScale() {
  if (!SdlOnX11()) return 1;
  const XDisplayPtr connection(XOpenDisplay(nullptr));
  Display* const dpy = connection.get();
  if (!dpy) return 1;
  double dpi = 0;
  if (const char* resources = XResourceManagerString(dpy)) {
    XrmInitialize();
    if (const XrmDatabasePtr db{XrmGetStringDatabase(resources)}) {
      char* type = nullptr;
      XrmValue value{};
      if (XrmGetResource(db.get(), "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
        dpi = std::strtod(value.addr, nullptr);
    }
  }
  return RoundedScale(dpi / 96);
}

WindowFit FitInWorkArea(int width, int height, float scale, const SDL_Rect& area) {
  WindowFit fit;
  fit.scale = scale > 0 ? scale : 1;
  const auto size = [](int length, float s) { return static_cast<int>(std::lround(length * s)); };
  if (width > 0 && height > 0 && area.w > 0 && area.h > 0 &&
      (size(width, fit.scale) > area.w || size(height, fit.scale) > area.h)) {
    const double room = std::min(static_cast<double>(area.w) / width, static_cast<double>(area.h) / height);
    const double quarters = std::floor(room * 4) / 4;
    // Below a quarter no step fits: the exact ratio, which does.
    fit.scale = static_cast<float>(quarters > 0 ? quarters : room);
    // float may round the ratio up by a hair.
    while (fit.scale > 0 && (size(width, fit.scale) > area.w || size(height, fit.scale) > area.h))
      fit.scale = std::nextafter(fit.scale, 0.f);
  }
  fit.rect.w = size(width, fit.scale);
  fit.rect.h = size(height, fit.scale);
  fit.rect.x = area.x + std::max(0, (area.w - fit.rect.w) / 2);
  fit.rect.y = area.y + std::max(0, (area.h - fit.rect.h) / 2);
  return fit;
}

bool WorkAreaForNewWindow(SDL_Rect& area) {
  int index = 0;
  if (SdlOnX11()) {
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    const SDL_Point pointer{x, y};
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
      SDL_Rect bounds{};
      if (SDL_GetDisplayBounds(i, &bounds) == 0 && SDL_PointInRect(&pointer, &bounds)) {
        index = i;
        break;
      }
    }
  }
  return SDL_GetDisplayUsableBounds(index, &area) == 0 && area.w > 0 && area.h > 0;
}

WindowFit PlaceNewWindow(int width, int height) {
  const float scale = WindowScale();
  SDL_Rect area{};
  WindowFit fit;
  if (WorkAreaForNewWindow(area)) {
    fit = FitInWorkArea(width, height, scale, area);
  } else {
    fit.scale = scale;
    fit.rect = SDL_Rect{0, 0, static_cast<int>(std::lround(width * scale)),
                        static_cast<int>(std::lround(height * scale))};
  }
  if (!SdlOnX11()) fit.rect.x = fit.rect.y = static_cast<int>(SDL_WINDOWPOS_CENTERED);
  return fit;
}

}  // namespace tav
