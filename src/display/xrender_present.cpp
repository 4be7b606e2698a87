#include "display/xrender_present.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

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

// Freed in the order the server needs: the image's segment first (so the
// server is done with it), the picture before its pixmap.
struct XRenderPresenter::Resources {
  XPixmapHandle pixmap;
  XGCHandle gc;
  XPictureHandle picture;
  XImagePtr image;      // in our memory, or
  XSharedImage shared;  // in memory the server maps too

  XImage* Image() const { return shared ? shared.get() : image.get(); }
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
  XPictureHandle picture(display, XRenderCreatePicture(display, window, format, 0, nullptr));
  if (!picture) return nullptr;
  return std::unique_ptr<XRenderPresenter>(new XRenderPresenter(display, window, std::move(picture)));
}

XRenderPresenter::XRenderPresenter(_XDisplay* display, unsigned long window, XPictureHandle windowPicture)
    : display_(display), window_(window), windowPicture_(std::move(windowPicture)) {}

XRenderPresenter::~XRenderPresenter() {
  ReleaseFrame();
  windowPicture_.reset();
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
  r->pixmap = XPixmapHandle(
      display_, XCreatePixmap(display_, window_, static_cast<unsigned>(frameW), static_cast<unsigned>(frameH), 24));
  r->picture = XPictureHandle(display_, XRenderCreatePicture(display_, r->pixmap.get(),
                                                             XRenderFindStandardFormat(display_, PictStandardRGB24),
                                                             0, nullptr));
  XRenderSetPictureFilter(display_, r->picture.get(), const_cast<char*>(FilterNearest), nullptr, 0);
  r->gc = XGCHandle(display_, XCreateGC(display_, r->pixmap.get(), 0, nullptr));
  // Shared memory only on this machine's own server.
  const int screen = DefaultScreen(display_);
  if (XShmQueryExtension(display_) && !IsRemoteDisplay(DisplayString(display_)))
    r->shared = XSharedImage::Create(display_, screen, 24, frameW, frameH);
  if (!r->shared) {
    r->image.reset(XCreateImage(display_, DefaultVisual(display_, screen), 24, ZPixmap, 0, nullptr,
                                static_cast<unsigned>(frameW), static_cast<unsigned>(frameH), 32, 0));
    if (r->image)
      r->image->data = static_cast<char*>(calloc(static_cast<size_t>(r->image->bytes_per_line) * frameH, 1));
  }
  const XImage* image = r->Image();
  if (!image || !image->data || image->bits_per_pixel != 32 || image->byte_order != LSBFirst) {
    if (r->image && !r->image->data) r->image.reset();
    frame_ = std::move(r);
    return false;
  }
  frame_ = std::move(r);
  exact_ = MapReadsBack();
  return exact_;
}

// The image into the frame's pixmap.
void XRenderPresenter::PutImage() {
  XImage* image = frame_->Image();
  const auto w = static_cast<unsigned>(frameW_), h = static_cast<unsigned>(frameH_);
  if (frame_->shared)
    XShmPutImage(display_, frame_->pixmap.get(), frame_->gc.get(), image, 0, 0, 0, 0, w, h, False);
  else
    XPutImage(display_, frame_->pixmap.get(), frame_->gc.get(), image, 0, 0, 0, 0, w, h);
}

void XRenderPresenter::Upload(const TDIB& frame) {
  XImage* image = frame_->Image();
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
      XRenderSetPictureTransform(display_, frame_->picture.get(), &t);
      // The source point of a target pixel is its index within the frame's rectangle.
      XRenderComposite(display_, PictOpSrc, frame_->picture.get(), 0, dst, x0 - to_.Left - dx, y0 - to_.Top - dy, 0, 0, x0,
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
  XImage* image = frame_->Image();
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
    const XPixmapHandle strip(
        display_, XCreatePixmap(display_, window_, static_cast<unsigned>(w), static_cast<unsigned>(h), 24));
    const XPictureHandle picture(
        display_,
        XRenderCreatePicture(display_, strip.get(), XRenderFindStandardFormat(display_, PictStandardRGB24), 0, nullptr));
    Composite(picture.get(), dx, dy, w, h);
    const XImagePtr got(XGetImage(display_, strip.get(), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                  AllPlanes, ZPixmap));
    return got && check(got.get());
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
      XRenderFillRectangle(display_, PictOpSrc, windowPicture_.get(), &black, x, y, static_cast<unsigned>(w),
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
    XRenderFillRectangle(display_, PictOpSrc, windowPicture_.get(), &c, x0, y0, static_cast<unsigned>(x1 - x0),
                         static_cast<unsigned>(y1 - y0));
  FillAround(to, windowW, windowH);
  XFlush(display_);
}

bool XRenderPresenter::Present(const TDIB& frame, const Rect& to, int windowW, int windowH) {
  const int bits = frame.BitCount();
  if (frame.Empty() || (bits != 24 && bits != 32)) return false;
  if (!Prepare(frame.Width(), frame.Height(), to, windowW, windowH)) return false;
  Upload(frame);
  Composite(windowPicture_.get(), 0, 0, windowW, windowH);
  FillAround(to, windowW, windowH);
  // The shared image is written again next frame: the server must be done with it.
  if (frame_->shared)
    XSync(display_, False);
  else
    XFlush(display_);
  return true;
}

}  // namespace tav
