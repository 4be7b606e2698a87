// The frame stretcher against the pixel-centre rule, for stretched, centred
// and plain placements, sizes that divide evenly and sizes that do not.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "display/stretch.hpp"

namespace tav {
namespace {

using O = TDXDrawOption;

constexpr PixelLayout kAbgr{0, 8, 16, 0, 0, 0, 0xFF000000u};

TDIB RandomFrame(int w, int h, int bits, std::mt19937& rng) {
  TDIB d;
  d.SetBitCount(bits);
  d.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * bits / 8; ++x) d.ScanLine(y)[x] = static_cast<uint8_t>(rng());
  return d;
}

// The frame pixel whose on-screen extent holds the centre of screen pixel
// `at`: source pixel c spans [c, c + 1) * shown / size from `origin`; -1 when
// no frame pixel covers it.
int CoveringPixel(int at, int origin, int shown, int size) {
  for (int c = 0; c < size; ++c) {
    const long long centre2 = 2LL * (at - origin) + 1;  // twice the centre's offset
    if (2LL * c * shown <= centre2 * size && centre2 * size < 2LL * (c + 1) * shown) return c;
  }
  return -1;
}

TEST(FrameStretcher, EveryScreenPixelShowsTheFramePixelUnderItsCentre) {
  struct Case {
    int srcW, srcH, bits, dstW, dstH;
    DXDrawOptions options;
    PixelLayout layout;
  } cases[] = {
      {320, 240, 24, 1280, 960, {O::doStretch}, kXrgb8888},             // divides evenly
      {457, 343, 24, 1920, 1080, {O::doStretch, O::doCenter}, kXrgb8888},  // does not; stretch wins
      {640, 480, 24, 1920, 1080, {O::doStretch}, kAbgr},
      {5, 3, 24, 3, 2, {O::doStretch}, kXrgb8888},                       // shrinks
      {1, 1, 24, 5, 5, {O::doStretch}, kXrgb8888},
      {6, 4, 32, 17, 9, {O::doStretch}, kXrgb8888},
      {7, 5, 24, 10, 9, {O::doCenter}, kXrgb8888},                       // odd difference
      {9, 7, 24, 4, 4, {O::doCenter}, kAbgr},                            // larger: clipped
      {13, 3, 24, 20, 11, {}, kXrgb8888},                                // at the origin
  };
  std::mt19937 rng(14);
  FrameStretcher stretcher;  // one for all: each case changes what it has prepared
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH
                                    << " options " << c.options.Bits());
    const TDIB frame = RandomFrame(c.srcW, c.srcH, c.bits, rng);
    const int pad = 3;  // pixels past each row that must stay untouched
    std::vector<uint32_t> screen(static_cast<size_t>(c.dstW + pad) * c.dstH, 0xA5A5A5A5u);
    const PixelTarget target{reinterpret_cast<uint8_t*>(screen.data()), (c.dstW + pad) * 4, c.dstW, c.dstH,
                             c.layout};
    stretcher.Draw(frame, c.options, target);

    const bool stretch = c.options.Has(O::doStretch);
    const int shownW = stretch ? c.dstW : c.srcW, shownH = stretch ? c.dstH : c.srcH;
    const int left = !stretch && c.options.Has(O::doCenter) ? (c.dstW - c.srcW) / 2 : 0;
    const int top = !stretch && c.options.Has(O::doCenter) ? (c.dstH - c.srcH) / 2 : 0;
    std::vector<int> column(static_cast<size_t>(c.dstW)), row(static_cast<size_t>(c.dstH));
    for (int x = 0; x < c.dstW; ++x) column[static_cast<size_t>(x)] = CoveringPixel(x, left, shownW, c.srcW);
    for (int y = 0; y < c.dstH; ++y) row[static_cast<size_t>(y)] = CoveringPixel(y, top, shownH, c.srcH);

    int wrong = 0;
    for (int y = 0; y < c.dstH; ++y) {
      for (int x = 0; x < c.dstW + pad; ++x) {
        const uint32_t got = screen[static_cast<size_t>(y) * (c.dstW + pad) + x];
        uint32_t want = 0xA5A5A5A5u;
        if (x < c.dstW) {
          const int sx = column[static_cast<size_t>(x)], sy = row[static_cast<size_t>(y)];
          want = c.layout.opaque;  // black
          if (sx >= 0 && sy >= 0) {
            const uint8_t* p = frame.ScanLineRead(sy) + sx * c.bits / 8;
            want |= uint32_t{p[2]} << c.layout.rShift | uint32_t{p[1]} << c.layout.gShift |
                    uint32_t{p[0]} << c.layout.bShift;
          }
        }
        if (got != want && ++wrong <= 3)
          ADD_FAILURE() << "at (" << x << ", " << y << "): " << std::hex << got << " instead of " << want;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
}  // namespace tav
