#include "desktop/root_pixmap.hpp"

#include "display/x11_handles.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tav {
namespace {

// Position of a mask's lowest bit and its width.
struct Channel {
  int shift = 0, bits = 0;
  explicit Channel(unsigned long mask) {
    if (!mask) return;
    while (!(mask & 1)) mask >>= 1, ++shift;
    while (mask & 1) mask >>= 1, ++bits;
  }
  unsigned long Put(unsigned v) const {
    return bits >= 8 ? static_cast<unsigned long>(v) << (shift + bits - 8)
                     : static_cast<unsigned long>(v >> (8 - bits)) << shift;
  }
};

// The pixmap id a root property names, or 0.
Pixmap PixmapProperty(Display* d, Window root, Atom name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* raw = nullptr;
  const int status = XGetWindowProperty(d, root, name, 0, 1, False, AnyPropertyType, &type, &format, &count,
                                        &after, &raw);
  const XMemoryPtr<unsigned char> data(raw);
  if (status == Success && type == XA_PIXMAP && format == 32 && count == 1 && data)
    return *reinterpret_cast<const Pixmap*>(data.get());
  return 0;
}

// Source index of each of `out` pixels when `in` pixels are scaled to
// cover `out` and centred: floor(offset + (i + 1/2) * visible / out).
std::vector<int> CoverMap(int in, int out, double scale) {
  const double visible = out / scale;
  const double offset = (in - visible) / 2;
  std::vector<int> map(static_cast<std::size_t>(out));
  for (int i = 0; i < out; ++i) {
    map[static_cast<std::size_t>(i)] =
        std::clamp(static_cast<int>(offset + (i + 0.5) * visible / out), 0, in - 1);
  }
  return map;
}

}  // namespace

BackgroundResult SetRootPixmap(const TDIB& image, const char* displayName) {
  if (image.Empty() || image.BitCount() != 24) return {false, "no picture to set"};
  const XDisplayPtr owned(XOpenDisplay(displayName));
  Display* const d = owned.get();
  if (!d) return {false, "cannot open the X display"};
  const int screen = DefaultScreen(d);
  const Window root = RootWindow(d, screen);
  Visual* const visual = DefaultVisual(d, screen);
  const int depth = DefaultDepth(d, screen);
  const int rw = DisplayWidth(d, screen), rh = DisplayHeight(d, screen);
  XVisualInfo want{};
  want.visualid = XVisualIDFromVisual(visual);
  int found = 0;
  const XMemoryPtr<XVisualInfo> info(XGetVisualInfo(d, VisualIDMask, &want, &found));
  const bool trueColor = info && found > 0 && info->c_class == TrueColor;
  if (!trueColor || depth < 15) return {false, "the X display has no true-colour visual"};

  // The picture in the screen's pixel format, scaled to the root window.
  const XImagePtr ximage(XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                      static_cast<unsigned>(rw), static_cast<unsigned>(rh), 32, 0));
  if (!ximage) return {false, "no memory for the picture"};
  ximage->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(ximage->bytes_per_line),
                                                static_cast<std::size_t>(rh)));
  if (!ximage->data) return {false, "no memory for the picture"};
  const double scale = std::max(static_cast<double>(rw) / image.Width(),
                                static_cast<double>(rh) / image.Height());
  const std::vector<int> cols = CoverMap(image.Width(), rw, scale);
  const std::vector<int> rows = CoverMap(image.Height(), rh, scale);
  const Channel red(visual->red_mask), green(visual->green_mask), blue(visual->blue_mask);
  const bool direct32 = ximage->bits_per_pixel == 32 && ximage->byte_order == LSBFirst;
  for (int y = 0; y < rh; ++y) {
    const uint8_t* in = image.ScanLineRead(rows[static_cast<std::size_t>(y)]);
    auto* out = reinterpret_cast<uint32_t*>(ximage->data + static_cast<std::size_t>(y) *
                                                               ximage->bytes_per_line);
    for (int x = 0; x < rw; ++x) {
      const uint8_t* p = in + 3 * cols[static_cast<std::size_t>(x)];
      const unsigned long pixel = red.Put(p[2]) | green.Put(p[1]) | blue.Put(p[0]);
      if (direct32) {
        out[x] = static_cast<uint32_t>(pixel);
      } else {
        XPutPixel(ximage.get(), x, y, pixel);
      }
    }
  }

  // X errors of our own connection while it sets the background; a stale
  // ESETROOT_PMAP_ID (its owner already gone) is the expected one.
  XErrorTrap errors(d);
  XPixmapHandle pixmap(d, XCreatePixmap(d, root, static_cast<unsigned>(rw), static_cast<unsigned>(rh),
                                        static_cast<unsigned>(depth)));
  {
    const XGCHandle gc(d, XCreateGC(d, pixmap.get(), 0, nullptr));
    XPutImage(d, pixmap.get(), gc.get(), ximage.get(), 0, 0, 0, 0, static_cast<unsigned>(rw),
              static_cast<unsigned>(rh));
  }
  // The pixmap goes, and the trap waits for the server to have freed it.
  if (errors.Caught()) return {false, "the X server refused the picture"};

  const Atom rootId = XInternAtom(d, "_XROOTPMAP_ID", False);
  const Atom esetrootId = XInternAtom(d, "ESETROOT_PMAP_ID", False);
  const Pixmap id = pixmap.get();
  // A pixmap that a program left behind on purpose is named by both
  // properties; only then is its owner a retained, finished client that
  // may be killed to free it.
  XGrabServer(d);
  const Pixmap oldRoot = PixmapProperty(d, root, rootId);
  const Pixmap oldEsetroot = PixmapProperty(d, root, esetrootId);
  if (oldEsetroot && oldEsetroot == oldRoot) XKillClient(d, oldEsetroot);
  XChangeProperty(d, root, rootId, XA_PIXMAP, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&id), 1);
  XChangeProperty(d, root, esetrootId, XA_PIXMAP, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&id),
                  1);
  XSetWindowBackgroundPixmap(d, root, id);
  XClearWindow(d, root);
  XUngrabServer(d);
  // The server keeps the pixmap past our connection; the next program that
  // sets the background frees it (XKillClient above).
  XSetCloseDownMode(d, RetainPermanent);
  pixmap.release();
  XSync(d, False);
  return {true, {}};
}

}  // namespace tav
