#include "modes/root_background.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <cstdio>

#include "display/x11_handles.hpp"
#include "modes/hosted_window.hpp"

namespace tav {

namespace {

// The desktop's background window: the virtual root that some window
// managers put over the root and announce on it with __SWM_VROOT, else the
// root itself. 0 without a display.
uint32_t DesktopWindow() {
  const XDisplayPtr connection(XOpenDisplay(nullptr));
  Display* dpy = connection.get();
  if (!dpy) return 0;
  const Window root = DefaultRootWindow(dpy);
  Window found = root;
  const Atom vroot = XInternAtom(dpy, "__SWM_VROOT", False);
  Window r = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  const Status listed = XQueryTree(dpy, root, &r, &parent, &children, &n);
  const XMemoryPtr<Window> kids(children);
  // A window may go between the listing and the look at its property.
  XErrorTrap vanished(dpy);
  if (listed && kids) {
    for (unsigned i = 0; i < n && found == root; ++i) {
      Atom type = 0;
      int format = 0;
      unsigned long items = 0, after = 0;
      unsigned char* raw = nullptr;
      const int status = XGetWindowProperty(dpy, kids.get()[i], vroot, 0, 1, False, XA_WINDOW, &type, &format,
                                            &items, &after, &raw);
      const XMemoryPtr<unsigned char> data(raw);
      if (status == Success && type == XA_WINDOW && format == 32 && items == 1 && data)
        found = *reinterpret_cast<const Window*>(data.get());
    }
  }
  return static_cast<uint32_t>(found);
}

}  // namespace


int RunDesktopBackground(const SettingsOverrides& options) {
  const uint32_t desktop = DesktopWindow();
  if (desktop == 0) {
    std::fprintf(stderr, "tavorensia: no X display to draw on\n");
    return 1;
  }
  return RunInHostWindow(desktop, options, true);
}

}  // namespace tav
