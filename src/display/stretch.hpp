#pragma once
// Writes a frame bitmap once into a 32-bit destination (a window's
// framebuffer): scaled over the whole destination with doStretch, else at its
// own size, centred with doCenter; black wherever the frame does not reach.
// Nearest neighbour by pixel centres (PixelCentreSource in display/dib.hpp),
// the mapping GL's nearest filter uses: destination column x shows source
// column floor((x + 1/2) * srcW / dstW), and the same for rows, so this path
// and a GL texture show the same pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/dib.hpp"
#include "display/dxdraw_logic.hpp"

namespace tav {

// Where the channels of a 32-bit pixel sit: a channel's 8-bit value is
// shifted right by its loss, then left by its shift (SDL_PixelFormat's
// terms). `opaque` is set in every pixel written (an alpha channel).
struct PixelLayout {
  uint8_t rShift = 16, gShift = 8, bShift = 0;
  uint8_t rLoss = 0, gLoss = 0, bLoss = 0;
  uint32_t opaque = 0;
  friend bool operator==(const PixelLayout&, const PixelLayout&) = default;
};
// The layout of an X11 TrueColor window of depth 24 (SDL's RGB888).
inline constexpr PixelLayout kXrgb8888{};

// A block of 32-bit pixels: `pitch` bytes from one row to the next.
struct PixelTarget {
  uint8_t* pixels = nullptr;
  std::ptrdiff_t pitch = 0;
  int width = 0, height = 0;
  PixelLayout layout;
};

// A run [first, end) of target pixels over which an affine map in 16.16
// fixed point, floor((slope * i + offset) / 65536) for target pixel i,
// gives the pixel-centre rule's source pixel exactly, with `margin` units to
// spare on either side (for a scaler whose rounding of the products may be
// off by a unit or two). One slope cannot serve every size over a whole
// screen: its error grows with the distance, so the map is cut into runs.
struct FixedPointRun {
  int first = 0, end = 0;
  int64_t slope = 0, offset = 0;
};
// The runs, fewest first-fit, that cover target pixels [0, to) for a source
// of `from` pixels; empty when from or to is not positive.
std::vector<FixedPointRun> FixedPointRuns(int from, int to, int margin);

class FrameStretcher {
 public:
  // Draws the whole of frame (24 or 32 bits) into target as the options
  // say (doStretch, doCenter; the rest are not looked at). Every pixel of
  // the target is written exactly once. An empty frame leaves it black.
  void Draw(const TDIB& frame, DXDrawOptions options, const PixelTarget& target);
  // The same with the frame's rectangle given in target coordinates (it may
  // reach past the target's edges: that part is clipped).
  void Draw(const TDIB& frame, const Rect& to, const PixelTarget& target);

 private:
  struct Span {  // target columns or rows [first, first + count) that show the frame
    int first = 0, count = 0;
  };

  void Prepare(int srcW, int srcH, const Rect& to, const PixelTarget& target);
  void ConvertRow(const uint8_t* src, int bytesPerPixel, const PixelLayout& layout);
  void SpreadRow(uint32_t* span) const;

  // What the maps below were made for.
  int srcW_ = -1, srcH_ = -1, dstW_ = -1, dstH_ = -1;
  Rect to_{};
  PixelLayout layout_{};
  bool identityColumns_ = false;
  Span columns_, rows_;
  std::vector<uint32_t> columnOf_;  // frame column for each target column of the span
  // Enlarging, each frame column of the span shows on runOf_[i] target
  // columns in a row, from frame column firstColumn_ on; empty otherwise.
  std::vector<uint16_t> runOf_;
  uint32_t firstColumn_ = 0;
  std::vector<int32_t> rowOf_;      // frame row for each target row of the span
  std::vector<uint32_t> line_;      // one frame row in the target's layout
  std::vector<uint32_t> row_;       // one screen row as it is put together
  uint8_t shuffle_[16] = {};        // byte shuffle of 4 BGR pixels into the layout
  bool byteChannels_ = false;       // every channel whole bytes: the shuffle applies
};

}  // namespace tav
