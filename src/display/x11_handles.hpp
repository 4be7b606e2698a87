#pragma once
// Owners of Xlib resources: each frees its resource when it goes, so that no
// error path frees one by hand. Everything made on a connection keeps that
// connection's Display and must go before it is closed: declare the
// XDisplayPtr that owns the connection before the holders of what is made on
// it. Xlib itself stays out of this header (its macros, None and Status
// among them, would reach every file that includes a window's header).
//
// Also the one handler of X protocol errors and the traps that await them.
#include <cstddef>
#include <memory>
#include <utility>

struct _XDisplay;           // Display
struct _XGC;                // *GC
struct _XImage;             // XImage
struct _XrmHashBucketRec;   // *XrmDatabase

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

// Memory that Xlib allocated for an answer (a property's value, a list of
// windows or visuals): XFree.
struct XMemoryFreer {
  void operator()(void* data) const;
};
template <typename T>
using XMemoryPtr = std::unique_ptr<T, XMemoryFreer>;

// A resource database (XrmDestroyDatabase).
struct XrmDatabaseDestroyer {
  void operator()(_XrmHashBucketRec* db) const;
};
using XrmDatabasePtr = std::unique_ptr<_XrmHashBucketRec, XrmDatabaseDestroyer>;

// The freeing calls for resources named on a connection.
void DestroyXWindow(_XDisplay* dpy, unsigned long window);
void FreeXColormap(_XDisplay* dpy, unsigned long colormap);
void FreeXGC(_XDisplay* dpy, _XGC* gc);
void FreeXPixmap(_XDisplay* dpy, unsigned long pixmap);
void FreeXRenderPicture(_XDisplay* dpy, unsigned long picture);

// A resource made on a connection: a window, a colormap, a graphics context,
// a pixmap, a RENDER picture. The connection is not owned and must outlive
// the holder.
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
  // destroyed, or one that is someone else's now, such as a pixmap the
  // server keeps past our connection).
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
using XPixmapHandle = XResource<unsigned long, FreeXPixmap>;
using XPictureHandle = XResource<unsigned long, FreeXRenderPicture>;

// A ZPixmap image in the default visual of a screen whose pixels lie in a
// System V shared-memory segment that the server maps as well (MIT-SHM), for
// XShmPutImage. Going, it detaches the segment from the server, waits for the
// server to let go of it, and unmaps it here; the segment is marked for
// removal from the start, so it vanishes once both sides have detached.
class XSharedImage {
 public:
  XSharedImage() = default;
  // Empty when the server or the system refuses any step. The connection
  // must outlive the image.
  static XSharedImage Create(_XDisplay* dpy, int screen, int depth, int width, int height);

  _XImage* get() const;
  explicit operator bool() const { return state_ != nullptr; }

 private:
  struct State;
  struct Detacher {
    void operator()(State* state) const;
  };
  std::unique_ptr<State, Detacher> state_;
};

// X protocol errors. Xlib has one handler for the whole process, and its
// own ends the process on any error; SDL puts in one of its own when its
// X11 video starts. InstallXErrorHandler puts ours in: once SDL has started
// on X11, and in a process that talks to Xlib without SDL. It never ends
// the process: an error goes to the innermost XErrorTrap of the thread that
// reads it, else it is written to stderr (the first few in full, then a
// count now and then) and the program goes on; the calls that matter check
// their own results.
void InstallXErrorHandler();
// The errors that reached no trap since the start.
unsigned long UntrappedXErrors();

// Catches the X errors of its thread while it lives, for the code that
// expects some (a window that a host may destroy at any moment, a stale id)
// or must know whether its requests succeeded. It waits for the server to
// handle everything sent before it (those errors are not its own) and again
// when it goes, so that the errors of the requests made in its scope arrive
// in it. Traps nest: the innermost one of the thread gets the error. It puts
// our handler in if something else has replaced it.
class XErrorTrap {
 public:
  // dpy null: a trap that waits for no connection, for a whole run of many
  // connections (each waits for the server as it closes).
  explicit XErrorTrap(_XDisplay* dpy);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // After waiting for the server: whether any request failed since the trap
  // was set, and the code of the last failure (0: none).
  bool Caught();
  int LastError();

 private:
  friend struct XErrorDelivery;
  _XDisplay* dpy_;
  XErrorTrap* outer_;
  unsigned long count_ = 0;
  int last_ = 0;
};

}  // namespace tav
