#include "display/x11_handles.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <type_traits>

// The holders name Window and Colormap as unsigned long to keep Xlib out of
// their header.
static_assert(std::is_same_v<Window, unsigned long> && std::is_same_v<Colormap, unsigned long>);

namespace tav {

void XDisplayCloser::operator()(Display* dpy) const { XCloseDisplay(dpy); }
void XImageDestroyer::operator()(XImage* image) const { XDestroyImage(image); }
void DestroyXWindow(Display* dpy, unsigned long window) { XDestroyWindow(dpy, window); }
void FreeXColormap(Display* dpy, unsigned long colormap) { XFreeColormap(dpy, colormap); }
void FreeXGC(Display* dpy, GC gc) { XFreeGC(dpy, gc); }

}  // namespace tav
