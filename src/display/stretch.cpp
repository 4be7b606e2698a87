#include "display/stretch.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TAV_STRETCH_X86 1
#endif

namespace tav {
namespace {


inline uint32_t Pack(uint8_t r, uint8_t g, uint8_t b, const PixelLayout& l) {
  return l.opaque | (uint32_t{static_cast<uint8_t>(r >> l.rLoss)} << l.rShift) |
         (uint32_t{static_cast<uint8_t>(g >> l.gLoss)} << l.gShift) |
         (uint32_t{static_cast<uint8_t>(b >> l.bLoss)} << l.bShift);
}

void ConvertScalar(const uint8_t* src, int n, int bytesPerPixel, const PixelLayout& l, uint32_t* out) {
  for (int x = 0; x < n; ++x, src += bytesPerPixel) out[x] = Pack(src[2], src[1], src[0], l);
}

#ifdef TAV_STRETCH_X86
// Four BGR pixels (12 bytes) a step through one byte shuffle; a 16-byte load
// reads 4 bytes ahead, so the last steps are left to the scalar loop.
__attribute__((target("ssse3"))) int ConvertBgrSsse3(const uint8_t* src, int n, const uint8_t* mask,
                                                     uint32_t opaque, uint32_t* out) {
  const __m128i shuffle = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask));
  const __m128i fill = _mm_set1_epi32(static_cast<int>(opaque));
  int x = 0;
  for (; x + 6 <= n; x += 4) {  // bytes 3x .. 3x + 15 lie inside the row
    const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_shuffle_epi8(bgr, shuffle), fill));
  }
  return x;
}

bool HasSsse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}
#endif

bool ByteChannels(const PixelLayout& l) {
  const auto whole = [](uint8_t shift, uint8_t loss) { return loss == 0 && shift % 8 == 0 && shift <= 24; };
  return whole(l.rShift, l.rLoss) && whole(l.gShift, l.gLoss) && whole(l.bShift, l.bLoss);
}

}  // namespace

std::vector<FixedPointRun> FixedPointRuns(int from, int to, int margin) {
  std::vector<FixedPointRun> runs;
  if (from <= 0 || to <= 0) return runs;
  constexpr int64_t kOne = 65536;
  // Target pixel i shows source pixel d when d * kOne <= slope * i + offset
  // < (d + 1) * kOne: for each slope near from / to, the offsets left over
  // the pixels so far are an interval, and a run ends where it closes.
  const int64_t exact = from * kOne / to;
  int first = 0;
  while (first < to) {
    FixedPointRun best{first, first};
    for (int64_t slope = exact - 3; slope <= exact + 4; ++slope) {
      if (slope <= 0) continue;
      int64_t low = INT64_MIN, high = INT64_MAX;
      int i = first;
      for (; i < to; ++i) {
        const int64_t d = PixelCentreSource(i, from, to);
        const int64_t lo = std::max(low, d * kOne + margin - slope * i);
        const int64_t hi = std::min(high, (d + 1) * kOne - 1 - margin - slope * i);
        if (lo > hi) break;
        low = lo;
        high = hi;
      }
      if (i > best.end) best = FixedPointRun{first, i, slope, low + (high - low) / 2};
    }
    if (best.end == first) return {};  // no slope serves even one pixel: margin too wide
    runs.push_back(best);
    first = best.end;
  }
  return runs;
}

void FrameStretcher::Prepare(int srcW, int srcH, const Rect& to, const PixelTarget& t) {
  if (srcW == srcW_ && srcH == srcH_ && t.width == dstW_ && t.height == dstH_ && to.Left == to_.Left &&
      to.Top == to_.Top && to.Right == to_.Right && to.Bottom == to_.Bottom && t.layout == layout_)
    return;
  srcW_ = srcW;
  srcH_ = srcH;
  dstW_ = t.width;
  dstH_ = t.height;
  to_ = to;
  layout_ = t.layout;

  const int toW = to.Right - to.Left, toH = to.Bottom - to.Top;
  const int x0 = std::clamp(to.Left, 0, t.width), x1 = std::clamp(to.Right, 0, t.width);
  const int y0 = std::clamp(to.Top, 0, t.height), y1 = std::clamp(to.Bottom, 0, t.height);
  columns_ = toW > 0 && srcW > 0 ? Span{x0, std::max(x1 - x0, 0)} : Span{};
  rows_ = toH > 0 && srcH > 0 ? Span{y0, std::max(y1 - y0, 0)} : Span{};
  columnOf_.resize(static_cast<size_t>(columns_.count));
  for (int i = 0; i < columns_.count; ++i)
    columnOf_[static_cast<size_t>(i)] = static_cast<uint32_t>(PixelCentreSource(columns_.first + i - to.Left, srcW, toW));
  rowOf_.resize(static_cast<size_t>(rows_.count));
  for (int i = 0; i < rows_.count; ++i)
    rowOf_[static_cast<size_t>(i)] = PixelCentreSource(rows_.first + i - to.Top, srcH, toH);
  identityColumns_ = toW == srcW;
  runOf_.clear();
  if (toW > srcW && columns_.count > 0) {
    // Enlarging skips no frame column: runs of 1 or more.
    firstColumn_ = columnOf_.front();
    runOf_.assign(columnOf_.back() - firstColumn_ + 1, 0);
    for (uint32_t c : columnOf_) ++runOf_[c - firstColumn_];
  }
  line_.assign(static_cast<size_t>(std::max(srcW, 0)) + 4, 0);
  row_.assign(static_cast<size_t>(t.width) + 4, t.layout.opaque);  // 4: a run's last store may reach past the row

  byteChannels_ = ByteChannels(layout_);
  if (byteChannels_) {
    for (int px = 0; px < 4; ++px)
      for (int byte = 0; byte < 4; ++byte) {
        uint8_t from = 0x80;  // zero
        if (layout_.bShift == 8 * byte) from = static_cast<uint8_t>(3 * px);
        if (layout_.gShift == 8 * byte) from = static_cast<uint8_t>(3 * px + 1);
        if (layout_.rShift == 8 * byte) from = static_cast<uint8_t>(3 * px + 2);
        shuffle_[4 * px + byte] = from;
      }
  }
}

void FrameStretcher::SpreadRow(uint32_t* span) const {
  // Each frame pixel once, as a run of copies: four at a time, the last
  // store of a run reaching at most three pixels into the next run, whose
  // first store covers them again. Runs that could reach past the span's
  // end are written one pixel at a time.
  const uint32_t* from = line_.data() + firstColumn_;
  uint32_t* out = span;
  uint32_t* const end = span + columns_.count;
  const size_t n = runOf_.size();
  size_t i = 0;
#ifdef TAV_STRETCH_X86
  for (; i < n; ++i) {
    const int run = runOf_[i];
    if (out + ((run + 3) & ~3) > end) break;
    const __m128i v = _mm_set1_epi32(static_cast<int>(from[i]));
    int k = 0;
    do {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), v);
      k += 4;
    } while (k < run);
    out += run;
  }
#endif
  for (; i < n; ++i) out = std::fill_n(out, runOf_[i], from[i]);
}

void FrameStretcher::ConvertRow(const uint8_t* src, int bytesPerPixel, const PixelLayout& layout) {
  int done = 0;
#ifdef TAV_STRETCH_X86
  static const bool ssse3 = HasSsse3();
  if (ssse3 && byteChannels_ && bytesPerPixel == 3) done = ConvertBgrSsse3(src, srcW_, shuffle_, layout.opaque, line_.data());
#endif
  ConvertScalar(src + static_cast<ptrdiff_t>(done) * bytesPerPixel, srcW_ - done, bytesPerPixel, layout,
                line_.data() + done);
}

namespace {
bool Drawable(const TDIB& frame) {
  const int bytesPerPixel = frame.BitCount() / 8;
  return !frame.Empty() && (bytesPerPixel == 3 || bytesPerPixel == 4);
}
}  // namespace

void FrameStretcher::Draw(const TDIB& frame, DXDrawOptions options, const PixelTarget& t) {
  const int srcW = Drawable(frame) ? frame.Width() : 0, srcH = Drawable(frame) ? frame.Height() : 0;
  Draw(frame, PresentRect(options, Rect{0, 0, t.width, t.height}, srcW, srcH), t);
}

void FrameStretcher::Draw(const TDIB& frame, const Rect& to, const PixelTarget& t) {
  if (!t.pixels || t.width <= 0 || t.height <= 0) return;
  const int bytesPerPixel = frame.BitCount() / 8;
  const int srcW = Drawable(frame) ? frame.Width() : 0, srcH = Drawable(frame) ? frame.Height() : 0;
  Prepare(srcW, srcH, to, t);

  const uint32_t black = t.layout.opaque;
  const size_t rowBytes = static_cast<size_t>(t.width) * 4;
  const auto rowAt = [&](int y) { return reinterpret_cast<uint32_t*>(t.pixels + y * t.pitch); };
  const auto fillBlack = [&](uint32_t* p, int n) {
    if (black == 0)
      std::memset(p, 0, static_cast<size_t>(n) * 4);
    else
      std::fill_n(p, n, black);
  };

  const int firstRow = rows_.count > 0 && columns_.count > 0 ? rows_.first : t.height;
  const int endRow = rows_.count > 0 && columns_.count > 0 ? rows_.first + rows_.count : t.height;
  for (int y = 0; y < firstRow; ++y) fillBlack(rowAt(y), t.width);
  // Each screen row is put together in a row of our own that stays in the
  // cache (black margins made once by Prepare) and copied out whole: one
  // bulk copy per screen row, however many rows show the same frame row.
  uint32_t* const composed = row_.data();
  uint32_t* const span = composed + columns_.first;
  int32_t lastRow = -1;
  for (int y = firstRow; y < endRow; ++y) {
    const int32_t sy = rowOf_[static_cast<size_t>(y - rows_.first)];
    if (sy != lastRow) {
      lastRow = sy;
      ConvertRow(frame.ScanLineRead(sy), bytesPerPixel, t.layout);
      if (identityColumns_) {
        std::memcpy(span, line_.data() + (columns_.first - to_.Left), static_cast<size_t>(columns_.count) * 4);
      } else if (!runOf_.empty()) {
        SpreadRow(span);
      } else {
        const uint32_t* line = line_.data();
        const uint32_t* map = columnOf_.data();
        for (int i = 0; i < columns_.count; ++i) span[i] = line[map[i]];
      }
    }
    std::memcpy(rowAt(y), composed, rowBytes);
  }
  for (int y = endRow; y < t.height; ++y) fillBlack(rowAt(y), t.width);
}

}  // namespace tav
