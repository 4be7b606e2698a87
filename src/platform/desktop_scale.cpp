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

}  // namespace tav
