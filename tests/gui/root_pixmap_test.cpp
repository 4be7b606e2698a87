// The root-window background under Xvfb: the pixmap named by _XROOTPMAP_ID
// holds the picture after the process that set it has ended, and setting
// another one frees it.
// gtest first: Xlib's None macro would clash with gtest's own None.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "desktop/root_pixmap.hpp"
#include "harness.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tav {
namespace {

TDIB Pattern(int w, int h, int seed) {
  TDIB dib;
  dib.SetBitCount(24);
  dib.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 7 + seed);
      row[3 * x + 1] = static_cast<uint8_t>(y * 3 + x);
      row[3 * x + 2] = static_cast<uint8_t>((x ^ y) + seed * 40);
    }
  }
  return dib;
}

// Sets the background from a child process that then exits, as the
// settings window's process ends after saving.
void SetFromAnotherProcess(const TDIB& image, const std::string& display) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(SetRootPixmap(image, display.c_str()).ok ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

int g_xerrors = 0;
int CountXError(Display*, XErrorEvent*) {
  ++g_xerrors;
  return 0;
}

Pixmap RootPixmapId(Display* d) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Pixmap id = 0;
  const Atom name = XInternAtom(d, "_XROOTPMAP_ID", True);
  if (name != None &&
      XGetWindowProperty(d, DefaultRootWindow(d), name, 0, 1, False, XA_PIXMAP, &type, &format,
                         &count, &after, &data) == Success &&
      type == XA_PIXMAP && count == 1) {
    id = *reinterpret_cast<Pixmap*>(data);
  }
  if (data) XFree(data);
  return id;
}

// Pixels of the drawable (the pixmap, or the root window) that differ from
// the picture; -1 when it cannot be read.
long Mismatches(Display* d, Drawable what, const TDIB& image) {
  g_xerrors = 0;
  XImage* got = XGetImage(d, what, 0, 0, static_cast<unsigned>(image.Width()),
                          static_cast<unsigned>(image.Height()), AllPlanes, ZPixmap);
  XSync(d, False);
  if (!got || g_xerrors) return -1;
  long bad = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.ScanLineRead(y);
    for (int x = 0; x < image.Width(); ++x) {
      const unsigned long p = XGetPixel(got, x, y);
      bad += ((p >> 16) & 0xFF) != row[3 * x + 2] || ((p >> 8) & 0xFF) != row[3 * x + 1] ||
             (p & 0xFF) != row[3 * x];
    }
  }
  XDestroyImage(got);
  return bad;
}

TEST(RootPixmap, OutlivesItsSetterAndTheNextOneFreesIt) {
  tavtest::Xvfb xvfb(640, 480, 24);
  ASSERT_TRUE(xvfb.Ok());
  const TDIB first = Pattern(640, 480, 1), second = Pattern(640, 480, 2);

  SetFromAnotherProcess(first, xvfb.Display());
  Display* d = XOpenDisplay(xvfb.Display().c_str());
  ASSERT_NE(d, nullptr);
  const auto previous = XSetErrorHandler(CountXError);
  const Pixmap firstId = RootPixmapId(d);
  ASSERT_NE(firstId, 0u);
  EXPECT_EQ(Mismatches(d, firstId, first), 0);
  EXPECT_EQ(Mismatches(d, DefaultRootWindow(d), first), 0);  // the root shows it

  SetFromAnotherProcess(second, xvfb.Display());
  const Pixmap secondId = RootPixmapId(d);
  ASSERT_NE(secondId, 0u);
  EXPECT_NE(secondId, firstId);
  EXPECT_EQ(Mismatches(d, secondId, second), 0);
  EXPECT_EQ(Mismatches(d, DefaultRootWindow(d), second), 0);
  EXPECT_EQ(Mismatches(d, firstId, first), -1);  // the first pixmap is gone
  XSetErrorHandler(previous);
  XCloseDisplay(d);
}

}  // namespace
}  // namespace tav
