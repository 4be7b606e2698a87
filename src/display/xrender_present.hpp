#pragma once
// Frames scaled by the X server: the field-sized frame goes to a pixmap of
// its own size (through shared memory on a local display) and the RENDER
// extension stretches it over the window with its nearest filter. Only the
// frame crosses to the server, and the server writes each screen pixel once
// (on the GPU where it accelerates RENDER).
//
// RENDER maps with a 16.16 fixed-point transform; one transform over the
// whole screen would drift from the pixel-centre rule the other paths keep,
// so the target is cut into runs that each map exactly (display/stretch),
// and the map is read back from the server once per size: a server whose
// arithmetic differs is not used for that size.
#include <cstdint>
#include <memory>
#include <vector>

#include "display/dib.hpp"
#include "display/dxdraw_logic.hpp"
#include "display/stretch.hpp"
#include "display/x11_handles.hpp"

namespace tav {

class XRenderPresenter {
 public:
  // For an X window (its visual decides the picture format); null when the
  // server has no RENDER 0.6 or later or no format for the visual.
  static std::unique_ptr<XRenderPresenter> Create(_XDisplay* display, unsigned long window);
  ~XRenderPresenter();
  XRenderPresenter(const XRenderPresenter&) = delete;
  XRenderPresenter& operator=(const XRenderPresenter&) = delete;

  // Shows frame (24 or 32 bits) at `to` (window coordinates, it may reach
  // past the window) and black elsewhere in the windowW x windowH window.
  // False when this size cannot be shown exactly here: the caller draws it.
  bool Present(const TDIB& frame, const Rect& to, int windowW, int windowH);
  // A surface filled with one colour (0x00RRGGBB) and nothing loaded since:
  // that colour at `to`, black elsewhere. The window's framebuffer, which
  // this way is never touched, then costs no memory.
  void PresentColour(uint32_t colour, const Rect& to, int windowW, int windowH);

 private:
  struct Resources;
  XRenderPresenter(_XDisplay* display, unsigned long window, XPictureHandle windowPicture);
  bool Prepare(int frameW, int frameH, const Rect& to, int windowW, int windowH);
  void ReleaseFrame();
  void Upload(const TDIB& frame);
  void PutImage();
  // The runs composited into dst, shifted by (dx, dy) and clipped to w x h.
  void Composite(unsigned long dst, int dx, int dy, int w, int h);
  bool MapReadsBack();
  void FillAround(const Rect& to, int windowW, int windowH);

  _XDisplay* display_;
  unsigned long window_;
  XPictureHandle windowPicture_;
  std::unique_ptr<Resources> frame_;  // pixmap, picture and image at the frame's size
  int frameW_ = 0, frameH_ = 0, windowW_ = 0, windowH_ = 0;
  Rect to_{};
  bool exact_ = false;  // the prepared size reads back exactly
  std::vector<FixedPointRun> columns_, rows_;
  FrameStretcher converter_;  // frame rows into the image, at 1:1
};

}  // namespace tav
