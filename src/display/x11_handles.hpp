#pragma once
// Owners of Xlib resources: each frees its resource when it goes, so that no
// error path frees one by hand. Everything made on a connection keeps that
// connection's Display and must go before it is closed: declare the
// XDisplayPtr that owns the connection before the holders of what is made on
// it. Xlib itself stays out of this header (its macros, None and Status
// among them, would reach every file that includes a window's header).
#include <memory>
#include <utility>

struct _XDisplay;  // Display
struct _XGC;       // *GC
struct _XImage;    // XImage

namespace tav {

struct XDisplayCloser {
  void operator()(_XDisplay* dpy) const;  // XCloseDisplay
};
using XDisplayPtr = std::unique_ptr<_XDisplay, XDisplayCloser>;

// An image together with its pixel memory (XDestroyImage frees both).
struct XImageDestroyer {
  void operator()(_XImage* image) const;
};
using XImagePtr = std::unique_ptr<_XImage, XImageDestroyer>;

// The freeing calls for resources named on a connection.
void DestroyXWindow(_XDisplay* dpy, unsigned long window);
void FreeXColormap(_XDisplay* dpy, unsigned long colormap);
void FreeXGC(_XDisplay* dpy, _XGC* gc);

// A resource made on a connection: a window, a colormap, a graphics context.
// The connection is not owned and must outlive the holder.
template <typename Id, void (*Free)(_XDisplay*, Id)>
class XResource {
 public:
  XResource() = default;
  XResource(_XDisplay* dpy, Id id) : dpy_(dpy), id_(id) {}
  ~XResource() { reset(); }
  XResource(XResource&& other) noexcept : dpy_(other.dpy_), id_(other.release()) {}
  XResource& operator=(XResource&& other) noexcept {
    if (this != &other) {
      reset();
      dpy_ = other.dpy_;
      id_ = other.release();
    }
    return *this;
  }

  Id get() const { return id_; }
  explicit operator bool() const { return id_ != Id{}; }
  // Forgets the resource without freeing it (one the server has already
  // destroyed, or one that is someone else's now).
  Id release() { return std::exchange(id_, Id{}); }
  void reset() {
    if (id_ != Id{}) Free(dpy_, id_);
    id_ = Id{};
  }

 private:
  _XDisplay* dpy_ = nullptr;
  Id id_{};
};

using XWindowHandle = XResource<unsigned long, DestroyXWindow>;
using XColormapHandle = XResource<unsigned long, FreeXColormap>;
using XGCHandle = XResource<_XGC*, FreeXGC>;

}  // namespace tav
