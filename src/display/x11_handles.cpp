#include "display/x11_handles.hpp"

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <cstdio>
#include <type_traits>

// The holders name Window, Colormap, Pixmap and Picture as unsigned long to
// keep Xlib out of their header.
static_assert(std::is_same_v<Window, unsigned long> && std::is_same_v<Colormap, unsigned long> &&
              std::is_same_v<Pixmap, unsigned long> && std::is_same_v<Picture, unsigned long>);
static_assert(std::is_same_v<XrmDatabase, _XrmHashBucketRec*>);

namespace tav {

void XDisplayCloser::operator()(Display* dpy) const { XCloseDisplay(dpy); }
void XImageDestroyer::operator()(XImage* image) const { XDestroyImage(image); }
void XMemoryFreer::operator()(void* data) const { XFree(data); }
void XrmDatabaseDestroyer::operator()(XrmDatabase db) const { XrmDestroyDatabase(db); }
void DestroyXWindow(Display* dpy, unsigned long window) { XDestroyWindow(dpy, window); }
void FreeXColormap(Display* dpy, unsigned long colormap) { XFreeColormap(dpy, colormap); }
void FreeXGC(Display* dpy, GC gc) { XFreeGC(dpy, gc); }
void FreeXPixmap(Display* dpy, unsigned long pixmap) { XFreePixmap(dpy, pixmap); }
void FreeXRenderPicture(Display* dpy, unsigned long picture) { XRenderFreePicture(dpy, picture); }

struct XSharedImage::State {
  Display* dpy = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo info{};  // the image points here: it stays put
};

XSharedImage XSharedImage::Create(Display* dpy, int screen, int depth, int width, int height) {
  auto state = std::make_unique<State>();
  state->dpy = dpy;
  state->image = XShmCreateImage(dpy, DefaultVisual(dpy, screen), static_cast<unsigned>(depth), ZPixmap, nullptr,
                                 &state->info, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!state->image) return {};
  XShmSegmentInfo& info = state->info;
  info.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(state->image->bytes_per_line) * height, IPC_CREAT | 0600);
  void* at = info.shmid >= 0 ? shmat(info.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
  bool attached = false;
  if (at != reinterpret_cast<void*>(-1)) {
    info.shmaddr = state->image->data = static_cast<char*>(at);
    info.readOnly = False;
    attached = XShmAttach(dpy, &info) != 0;
    XSync(dpy, False);
  }
  if (info.shmid >= 0) shmctl(info.shmid, IPC_RMID, nullptr);  // gone once both sides detach
  if (!attached) {
    if (at != reinterpret_cast<void*>(-1)) shmdt(at);
    state->image->data = nullptr;  // not the heap's to free
    XDestroyImage(state->image);
    return {};
  }
  XSharedImage shared;
  shared.state_.reset(state.release());
  return shared;
}

XImage* XSharedImage::get() const { return state_ ? state_->image : nullptr; }

void XSharedImage::Detacher::operator()(State* state) const {
  XShmDetach(state->dpy, &state->info);
  XSync(state->dpy, False);
  shmdt(state->info.shmaddr);
  state->image->data = nullptr;  // not the heap's to free
  XDestroyImage(state->image);
  delete state;
}

// Hands an error to a trap.
struct XErrorDelivery {
  static void To(XErrorTrap& trap, int code) {
    ++trap.count_;
    trap.last_ = code;
  }
};

namespace {

// Each thread's innermost trap; each trap knows the one it is set in.
thread_local XErrorTrap* tInnermost = nullptr;
std::atomic<unsigned long> gUntrapped{0};
// Shown in full, so that a fault is seen without a flood of its repeats.
constexpr unsigned long kShownInFull = 10;

int OnXError(Display* dpy, XErrorEvent* e) {
  if (XErrorTrap* trap = tInnermost) {
    XErrorDelivery::To(*trap, e->error_code);
    return 0;
  }
  const unsigned long n = ++gUntrapped;
  if (n <= kShownInFull) {
    char text[160] = "";
    XGetErrorText(dpy, e->error_code, text, sizeof text);
    std::fprintf(stderr, "tavorensia: X error %d (%s) on request %d.%d, resource 0x%lx%s\n", e->error_code, text,
                 e->request_code, e->minor_code, e->resourceid,
                 n == kShownInFull ? "; further ones are only counted" : "");
  } else if (n % 1000 == 0) {
    std::fprintf(stderr, "tavorensia: %lu X errors so far\n", n);
  }
  return 0;
}

}  // namespace

void InstallXErrorHandler() { XSetErrorHandler(OnXError); }

unsigned long UntrappedXErrors() { return gUntrapped.load(); }

XErrorTrap::XErrorTrap(Display* dpy) : dpy_(dpy), outer_(tInnermost) {
  InstallXErrorHandler();
  if (dpy_) XSync(dpy_, False);  // what went before is not ours
  tInnermost = this;
}

XErrorTrap::~XErrorTrap() {
  if (dpy_) XSync(dpy_, False);
  tInnermost = outer_;
}

bool XErrorTrap::Caught() {
  if (dpy_) XSync(dpy_, False);
  return count_ > 0;
}

int XErrorTrap::LastError() {
  if (dpy_) XSync(dpy_, False);
  return last_;
}

}  // namespace tav
