#include "display/xrender_present.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdint>

#include "display/present_path.hpp"

namespace tav {

namespace {

constexpr int64_t kOne = 65536;
// What the server's rounding of a transformed point may be off by, in 16.16
// units: RENDER takes the pixel's centre (i + 1/2) through the transform,
// and the nearest filter floors the result less one unit.
constexpr int kMargin = 2;
// The calibration frame holds each pixel's own column and row in 12 bits each.
constexpr int kMaxCalibrated = 4096;

XTransform RunTransform(const FixedPointRun& c, const FixedPointRun& r) {
  // RENDER maps target pixel i to floor((slope * (i + 1/2) + t - 1) / 65536);
  // the run wants floor((slope * i + offset) / 65536).
  const auto shift = [](const FixedPointRun& run) {
    return static_cast<XFixed>(run.offset - run.slope / 2 + 1);
  };
  XTransform t{};
  t.matrix[0][0] = static_cast<XFixed>(c.slope);
  t.matrix[0][2] = shift(c);
  t.matrix[1][1] = static_cast<XFixed>(r.slope);
  t.matrix[1][2] = shift(r);
  t.matrix[2][2] = static_cast<XFixed>(kOne);
  return t;
}

}  // namespace

struct XRenderPresenter::Resources {
  Display* display = nullptr;
  Pixmap pixmap = 0;
  Picture picture = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool shared = false;

  ~Resources() {
    if (shared) {
      XShmDetach(display, &shm);
      XSync(display, False);
      shmdt(shm.shmaddr);
      image->data = nullptr;  // not the heap's to free
    }
    if (image) XDestroyImage(image);
    if (picture) XRenderFreePicture(display, picture);
    if (gc) XFreeGC(display, gc);
    if (pixmap) XFreePixmap(display, pixmap);
  }
};

std::unique_ptr<XRenderPresenter> XRenderPresenter::Create(_XDisplay* display, unsigned long window) {
  if (!display || !window) return nullptr;
  int event = 0, error = 0, major = 0, minor = 0;
  // 0.6 brought transforms and filters.
  if (!XRenderQueryExtension(display, &event, &error) || !XRenderQueryVersion(display, &major, &minor) ||
      (major == 0 && minor < 6))
    return nullptr;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes)) return nullptr;
  const XRenderPictFormat* format = XRenderFindVisualFormat(display, attributes.visual);
  if (!format || !XRenderFindStandardFormat(display, PictStandardRGB24)) return nullptr;
  const Picture picture = XRenderCreatePicture(display, window, format, 0, nullptr);
  if (!picture) return nullptr;
  return std::unique_ptr<XRenderPresenter>(new XRenderPresenter(display, window, picture));
}

XRenderPresenter::XRenderPresenter(_XDisplay* display, unsigned long window, unsigned long windowPicture)
    : display_(display), window_(window), windowPicture_(windowPicture) {}

XRenderPresenter::~XRenderPresenter() {
  ReleaseFrame();
  XRenderFreePicture(display_, windowPicture_);
  XFlush(display_);
}

void XRenderPresenter::ReleaseFrame() {
  frame_.reset();
  frameW_ = frameH_ = 0;
  exact_ = false;
}

bool XRenderPresenter::Prepare(int frameW, int frameH, const Rect& to, int windowW, int windowH) {
  if (frame_ && frameW == frameW_ && frameH == frameH_ && windowW == windowW_ && windowH == windowH_ &&
      to.Left == to_.Left && to.Top == to_.Top && to.Right == to_.Right && to.Bottom == to_.Bottom)
    return exact_;
  ReleaseFrame();
  frameW_ = frameW;
  frameH_ = frameH;
  windowW_ = windowW;
  windowH_ = windowH;
  to_ = to;
  if (frameW >= kMaxCalibrated || frameH >= kMaxCalibrated || windowW <= 0 || windowH <= 0) return false;
  columns_ = FixedPointRuns(frameW, to.Right - to.Left, kMargin);
  rows_ = FixedPointRuns(frameH, to.Bottom - to.Top, kMargin);
  if (columns_.empty() || rows_.empty()) return false;

  auto r = std::make_unique<Resources>();
  r->display = display_;
  r->pixmap = XCreatePixmap(display_, window_, static_cast<unsigned>(frameW), static_cast<unsigned>(frameH), 24);
  r->picture = XRenderCreatePicture(display_, r->pixmap, XRenderFindStandardFormat(display_, PictStandardRGB24), 0,
                                    nullptr);
  XRenderSetPictureFilter(display_, r->picture, const_cast<char*>(FilterNearest), nullptr, 0);
  r->gc = XCreateGC(display_, r->pixmap, 0, nullptr);
  // Shared memory only on this machine's own server.
  Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
  if (XShmQueryExtension(display_) && !IsRemoteDisplay(DisplayString(display_))) {
    r->image = XShmCreateImage(display_, visual, 24, ZPixmap, nullptr, &r->shm, static_cast<unsigned>(frameW),
                               static_cast<unsigned>(frameH));
    if (r->image) {
      r->shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(r->image->bytes_per_line) * frameH, IPC_CREAT | 0600);
      void* at = r->shm.shmid >= 0 ? shmat(r->shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
      if (at != reinterpret_cast<void*>(-1)) {
        r->shm.shmaddr = r->image->data = static_cast<char*>(at);
        r->shm.readOnly = False;
        r->shared = XShmAttach(display_, &r->shm) != 0;
        XSync(display_, False);
      }
      if (r->shm.shmid >= 0) shmctl(r->shm.shmid, IPC_RMID, nullptr);  // gone once both sides detach
      if (!r->shared) {
        if (at != reinterpret_cast<void*>(-1)) shmdt(at);
        r->image->data = nullptr;
        XDestroyImage(r->image);
        r->image = nullptr;
      }
    }
  }
  if (!r->image) {
    r->image = XCreateImage(display_, visual, 24, ZPixmap, 0, nullptr, static_cast<unsigned>(frameW),
                            static_cast<unsigned>(frameH), 32, 0);
    if (r->image)
      r->image->data = static_cast<char*>(calloc(static_cast<size_t>(r->image->bytes_per_line) * frameH, 1));
  }
  if (!r->image || !r->image->data || r->image->bits_per_pixel != 32 || r->image->byte_order != LSBFirst) {
    if (r->image && !r->shared && !r->image->data) {
      XDestroyImage(r->image);
      r->image = nullptr;
    }
    frame_ = std::move(r);
    return false;
  }
  frame_ = std::move(r);
  exact_ = MapReadsBack();
  return exact_;
}

// The image into the frame's pixmap.
void XRenderPresenter::PutImage() {
  XImage* image = frame_->image;
  const auto w = static_cast<unsigned>(frameW_), h = static_cast<unsigned>(frameH_);
  if (frame_->shared)
    XShmPutImage(display_, frame_->pixmap, frame_->gc, image, 0, 0, 0, 0, w, h, False);
  else
    XPutImage(display_, frame_->pixmap, frame_->gc, image, 0, 0, 0, 0, w, h);
}

void XRenderPresenter::Upload(const TDIB& frame) {
  XImage* image = frame_->image;
  const PixelTarget target{reinterpret_cast<uint8_t*>(image->data), image->bytes_per_line, frameW_, frameH_,
                           kXrgb8888};
  converter_.Draw(frame, Rect{0, 0, frameW_, frameH_}, target);
  PutImage();
}

void XRenderPresenter::Composite(unsigned long dst, int dx, int dy, int w, int h) {
  for (const FixedPointRun& r : rows_) {
    const int y0 = std::max(to_.Top + r.first + dy, 0), y1 = std::min(to_.Top + r.end + dy, h);
    if (y0 >= y1) continue;
    for (const FixedPointRun& c : columns_) {
      const int x0 = std::max(to_.Left + c.first + dx, 0), x1 = std::min(to_.Left + c.end + dx, w);
      if (x0 >= x1) continue;
      XTransform t = RunTransform(c, r);
      XRenderSetPictureTransform(display_, frame_->picture, &t);
      // The source point of a target pixel is its index within the frame's rectangle.
      XRenderComposite(display_, PictOpSrc, frame_->picture, 0, dst, x0 - to_.Left - dx, y0 - to_.Top - dy, 0, 0, x0,
                       y0, static_cast<unsigned>(x1 - x0), static_cast<unsigned>(y1 - y0));
    }
  }
}

bool XRenderPresenter::MapReadsBack() {
  const int toW = to_.Right - to_.Left, toH = to_.Bottom - to_.Top;
  const int x0 = std::max(to_.Left, 0), x1 = std::min(to_.Right, windowW_);
  const int y0 = std::max(to_.Top, 0), y1 = std::min(to_.Bottom, windowH_);
  if (x0 >= x1 || y0 >= y1) return true;  // nothing of the frame shows: only black to draw
  // Each frame pixel holds its own column and row.
  XImage* image = frame_->image;
  for (int y = 0; y < frameH_; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image->data + static_cast<ptrdiff_t>(y) * image->bytes_per_line);
    for (int x = 0; x < frameW_; ++x) row[x] = static_cast<uint32_t>(x) << 12 | static_cast<uint32_t>(y);
  }
  PutImage();

  // One whole row and one whole column of the window, as the server draws them.
  const auto expected = [&](int x, int y) {
    return static_cast<uint32_t>(PixelCentreSource(x - to_.Left, frameW_, toW)) << 12 |
           static_cast<uint32_t>(PixelCentreSource(y - to_.Top, frameH_, toH));
  };
  const auto readBack = [&](int w, int h, int dx, int dy, auto&& check) {
    const Pixmap strip = XCreatePixmap(display_, window_, static_cast<unsigned>(w), static_cast<unsigned>(h), 24);
    const Picture picture =
        XRenderCreatePicture(display_, strip, XRenderFindStandardFormat(display_, PictStandardRGB24), 0, nullptr);
    Composite(picture, dx, dy, w, h);
    XImage* got = XGetImage(display_, strip, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes,
                            ZPixmap);
    bool ok = got != nullptr;
    if (got) {
      ok = check(got);
      XDestroyImage(got);
    }
    XRenderFreePicture(display_, picture);
    XFreePixmap(display_, strip);
    return ok;
  };
  const int midY = (y0 + y1) / 2, midX = (x0 + x1) / 2;
  const bool columnsExact = readBack(windowW_, 1, 0, -midY, [&](XImage* got) {
    for (int x = x0; x < x1; ++x)
      if ((XGetPixel(got, x, 0) & 0xFFFFFF) != expected(x, midY)) return false;
    return true;
  });
  return columnsExact && readBack(1, windowH_, -midX, 0, [&](XImage* got) {
           for (int y = y0; y < y1; ++y)
             if ((XGetPixel(got, 0, y) & 0xFFFFFF) != expected(midX, y)) return false;
           return true;
         });
}

// Black where the frame does not reach.
void XRenderPresenter::FillAround(const Rect& to, int windowW, int windowH) {
  const XRenderColor black{0, 0, 0, 0xFFFF};
  const int x0 = std::clamp(to.Left, 0, windowW), x1 = std::clamp(to.Right, 0, windowW);
  const int y0 = std::clamp(to.Top, 0, windowH), y1 = std::clamp(to.Bottom, 0, windowH);
  const auto fill = [&](int x, int y, int w, int h) {
    if (w > 0 && h > 0)
      XRenderFillRectangle(display_, PictOpSrc, windowPicture_, &black, x, y, static_cast<unsigned>(w),
                           static_cast<unsigned>(h));
  };
  fill(0, 0, windowW, y0);
  fill(0, y1, windowW, windowH - y1);
  fill(0, y0, x0, y1 - y0);
  fill(x1, y0, windowW - x1, y1 - y0);
}

void XRenderPresenter::PresentColour(uint32_t colour, const Rect& to, int windowW, int windowH) {
  const auto channel = [&](int shift) { return static_cast<unsigned short>(((colour >> shift) & 0xFF) * 0x101); };
  const XRenderColor c{channel(16), channel(8), channel(0), 0xFFFF};
  const int x0 = std::clamp(to.Left, 0, windowW), x1 = std::clamp(to.Right, 0, windowW);
  const int y0 = std::clamp(to.Top, 0, windowH), y1 = std::clamp(to.Bottom, 0, windowH);
  if (x0 < x1 && y0 < y1)
    XRenderFillRectangle(display_, PictOpSrc, windowPicture_, &c, x0, y0, static_cast<unsigned>(x1 - x0),
                         static_cast<unsigned>(y1 - y0));
  FillAround(to, windowW, windowH);
  XFlush(display_);
}

bool XRenderPresenter::Present(const TDIB& frame, const Rect& to, int windowW, int windowH) {
  const int bits = frame.BitCount();
  if (frame.Empty() || (bits != 24 && bits != 32)) return false;
  if (!Prepare(frame.Width(), frame.Height(), to, windowW, windowH)) return false;
  Upload(frame);
  Composite(windowPicture_, 0, 0, windowW, windowH);
  FillAround(to, windowW, windowH);
  // The shared image is written again next frame: the server must be done with it.
  if (frame_->shared)
    XSync(display_, False);
  else
    XFlush(display_);
  return true;
}

}  // namespace tav
