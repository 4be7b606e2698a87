#include "display/dib.hpp"


#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "display/atomic_file.hpp"

namespace tav {
namespace {

bool ValidBitCount(int n) {
  return n == 1 || n == 4 || n == 8 || n == 16 || n == 24 || n == 32;
}

void Put16(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Writes all of data to fd; false on any short or failed write.
// Pixels of one row, each from the source column the map gives; the pixel
// size is fixed so that each copy is a plain move.
template <int kBytes>
void CopyPixels(uint8_t* out, const uint8_t* in, const std::vector<int>& srcCol) {
  for (const int sx : srcCol) {
    std::memcpy(out, in + static_cast<std::size_t>(sx) * kBytes, kBytes);
    out += kBytes;
  }
}

#if defined(__SSE2__)
// floor(s / n) as the high half of s * ceil(2^16 / n), for the 3 x 3 window's
// sums (at most 255 n). Checked here for every sum it is used for.
constexpr uint16_t HighHalfReciprocal(unsigned n) {
  return static_cast<uint16_t>(((1u << 16) + n - 1) / n);
}
constexpr bool HighHalfDividesExactly(unsigned n) {
  const unsigned m = HighHalfReciprocal(n);
  for (unsigned s = 0; s <= 255 * n; ++s) {
    if (((s * m) >> 16) != s / n) return false;
  }
  return true;
}
static_assert(HighHalfDividesExactly(3) && HighHalfDividesExactly(6) &&
              HighHalfDividesExactly(9));

// The blur with radius 1, the one the generator uses, a row at a time and in
// place: per row, the byte-wise sums of the rows above, on and below it
// (the channels never mix, so the bytes can be added as they lie), then the
// sums of each byte's left, own and right pixel, divided by the window's
// pixel count. Only the first and last pixel of a row have a narrower
// window. The row above is kept in `saved` before it is overwritten. For
// 32-bit pixels the fourth byte is left as it was.
void BoxBlur3x3(uint8_t* bits, std::size_t rowBytes, int w, int h, int bpp) {
  const std::size_t used = static_cast<std::size_t>(w) * static_cast<std::size_t>(bpp);
  const std::size_t step = static_cast<std::size_t>(bpp);
  std::vector<uint8_t> saved(used, 0);
  // Column sums with one zero pixel on either side, so that each byte's
  // horizontal sum is three plain loads whatever its column.
  std::vector<uint16_t> vert(used + 2 * step, 0);
  uint16_t* const v = vert.data() + step;
  const __m128i zero = _mm_setzero_si128();
  // Bytes of a 32-bit pixel that the blur writes.
  const __m128i written = bpp == 4 ? _mm_set1_epi32(0x00FFFFFF) : _mm_set1_epi8(-1);
  auto row = [&](int y) { return bits + static_cast<std::size_t>(h - 1 - y) * rowBytes; };

  for (int y = 0; y < h; ++y) {
    uint8_t* const cur = row(y);
    const uint8_t* const above = y > 0 ? saved.data() : nullptr;
    const uint8_t* const below = y + 1 < h ? row(y + 1) : nullptr;
    const unsigned rows = 1u + (above ? 1u : 0u) + (below ? 1u : 0u);

    std::size_t j = 0;
    for (; j + 16 <= used; j += 16) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + j));
      __m128i lo = _mm_unpacklo_epi8(c, zero), hi = _mm_unpackhi_epi8(c, zero);
      if (above) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + j));
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(a, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(a, zero));
      }
      if (below) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + j));
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(b, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(b, zero));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(v + j), lo);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(v + j + 8), hi);
    }
    for (; j < used; ++j) {
      v[j] = static_cast<uint16_t>(cur[j] + (above ? above[j] : 0) + (below ? below[j] : 0));
    }
    std::memcpy(saved.data(), cur, used);

    // Every byte as if its pixel had both neighbours...
    const __m128i m = _mm_set1_epi16(static_cast<short>(HighHalfReciprocal(3 * rows)));
    j = 0;
    for (; j + 16 <= used; j += 16) {
      __m128i q[2];
      for (int half = 0; half < 2; ++half) {
        const uint16_t* p = v + j + 8 * half;
        const __m128i s = _mm_add_epi16(
            _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p - step)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + step)));
        q[half] = _mm_mulhi_epu16(s, m);
      }
      const __m128i out = _mm_packus_epi16(q[0], q[1]);
      __m128i* const at = reinterpret_cast<__m128i*>(cur + j);
      const __m128i old = _mm_loadu_si128(at);
      _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(written, out), _mm_andnot_si128(written, old)));
    }
    // ...the rest of the row, and then the first and last pixel, whose
    // windows are narrower, by plain division.
    auto put = [&](std::size_t k) {
      if (bpp == 4 && k % 4 == 3) return;
      const std::size_t x = k / step;
      const unsigned cols = 1u + (x > 0 ? 1u : 0u) + (x + 1 < static_cast<std::size_t>(w) ? 1u : 0u);
      cur[k] = static_cast<uint8_t>((v[k - step] + v[k] + v[k + step]) / (rows * cols));
    };
    for (; j < used; ++j) put(j);
    for (std::size_t k = 0; k < step; ++k) {
      put(k);
      put(used - step + k);
    }
  }
}
#endif

}  // namespace

std::shared_ptr<TDIB::Store> TDIB::NewStore(int w, int h, int bitCount) {
  if (!ValidBitCount(bitCount)) {
    throw EInvalidGraphicOperation("Bitcount in invalid (" + std::to_string(bitCount) + ")");
  }
  auto s = std::make_shared<Store>();
  s->width = w;
  s->height = h;
  s->bitCount = bitCount;
  s->rowBytes = ((static_cast<std::size_t>(bitCount) * static_cast<std::size_t>(w) + 31) / 32) * 4;
  try {
    s->pixels.assign(s->rowBytes * static_cast<std::size_t>(h), 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("DIB cannot be made");
  } catch (const std::length_error&) {
    throw EOutOfResources("DIB cannot be made");
  }
  return s;
}

void TDIB::SetBitCount(int n) {
  if (n <= 0) {
    store_.reset();
    return;
  }
  if (!ValidBitCount(n)) {
    throw EInvalidGraphicOperation("Bitcount in invalid (" + std::to_string(n) + ")");
  }
  if (!store_) store_ = NewStore(1, 1, n);
  // Converting a non-empty bitmap is never needed here: the bit count is kept.
}

void TDIB::SetSize(int w, int h) {
  if (w <= 0 || h <= 0) {
    store_.reset();
    return;
  }
  if (store_ && store_->width == w && store_->height == h) return;
  store_ = NewStore(w, h, store_ ? store_->bitCount : 8);
}

void TDIB::SetWidth(int w) { SetSize(w, store_ ? store_->height : 1); }
void TDIB::SetHeight(int h) { SetSize(store_ ? store_->width : 1, h); }

void TDIB::MakePrivate() {
  if (store_ && store_.use_count() > 1) store_ = std::make_shared<Store>(*store_);
}

void TDIB::CheckRow(int y) const {
  if (y < 0 || y >= Height()) {
    throw EInvalidGraphicOperation("Index of the scanning line exceeded the range. (" +
                                   std::to_string(y) + ")");
  }
}

uint8_t* TDIB::ScanLine(int y) {
  CheckRow(y);
  MakePrivate();
  return store_->pixels.data() + static_cast<std::size_t>(store_->height - 1 - y) * store_->rowBytes;
}

const uint8_t* TDIB::ScanLineRead(int y) const {
  CheckRow(y);
  return store_->pixels.data() + static_cast<std::size_t>(store_->height - 1 - y) * store_->rowBytes;
}

void TDIB::DrawScaled(const Rect& dst, const TDIB& src) {
  if (Empty() || src.Empty()) return;
  const int dw = dst.Right - dst.Left;
  const int dh = dst.Bottom - dst.Top;
  if (dw <= 0 || dh <= 0) return;
  if (src.BitCount() != BitCount() || BitCount() < 8) return;  // only same-depth copies are needed
  const int bpp = BitCount() / 8;
  const TDIB source = src;  // keeps src's pixels even when src is this bitmap
  const int x0 = std::max(dst.Left, 0), x1 = std::min(dst.Right, Width());
  const int y0 = std::max(dst.Top, 0), y1 = std::min(dst.Bottom, Height());
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<int> srcCol(static_cast<std::size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    srcCol[static_cast<std::size_t>(x - x0)] = PixelCentreSource(x - dst.Left, source.Width(), dw);
  }
  // At one to one (a wallpaper as large as its field) a row is one copy.
  const bool sameColumns = dw == source.Width();
  for (int y = y0; y < y1; ++y) {
    const int sy = PixelCentreSource(y - dst.Top, source.Height(), dh);
    const uint8_t* in = source.ScanLineRead(sy);
    uint8_t* out = ScanLine(y) + static_cast<std::size_t>(x0) * bpp;
    if (sameColumns) {
      std::memcpy(out, in + static_cast<std::size_t>(srcCol.front()) * bpp,
                  static_cast<std::size_t>(x1 - x0) * bpp);
      continue;
    }
    switch (bpp) {
      case 1: CopyPixels<1>(out, in, srcCol); break;
      case 2: CopyPixels<2>(out, in, srcCol); break;
      case 3: CopyPixels<3>(out, in, srcCol); break;
      default: CopyPixels<4>(out, in, srcCol); break;
    }
  }
}

// Each output pixel is the truncated mean of the source pixels in its window,
// clipped at the edges so that every source pixel counts once. Running sums
// keep the cost per pixel independent of the radius: per column, the sums of
// the rows in the vertical window; along a row, the sum of the columns in the
// horizontal window.
void TDIB::BoxBlur(int bitCount, int radius) {
  if (Empty() || radius == 0) return;
  const int r = radius < 0 ? -radius : radius;
  if (bitCount != BitCount() || (bitCount != 24 && bitCount != 32)) return;
#if defined(__SSE2__)
  if (r == 1) {
    MakePrivate();
    BoxBlur3x3(store_->pixels.data(), store_->rowBytes, Width(), Height(), bitCount / 8);
    return;
  }
#endif
  const TDIB source = *this;  // shares the store: keeps the unblurred pixels
  const int w = Width(), h = Height(), bpp = bitCount / 8;

  struct ColumnSum {
    uint32_t b, g, r, n;
  };
  std::vector<ColumnSum> cols(static_cast<std::size_t>(w), ColumnSum{0, 0, 0, 0});
  // Dividing by the window's pixel count n, one of a few values, is a
  // multiplication by ceil(2^32 / n): exact for sums up to 255 n while
  // 255 n / 2^32 < 1 / n, that is for n up to 4096 (radius 31).
  const uint64_t most = static_cast<uint64_t>(2 * r + 1) * static_cast<uint64_t>(2 * r + 1);
  std::vector<uint64_t> reciprocal;
  const bool fastDivide = most <= 4096;
  if (fastDivide) {
    reciprocal.resize(most + 1, 0);
    for (uint64_t n = 1; n <= most; ++n) reciprocal[n] = ((uint64_t{1} << 32) + n - 1) / n;
  }
  auto addRow = [&](int y, int sign) {
    const uint8_t* p = source.ScanLineRead(y);
    for (int x = 0; x < w; ++x, p += bpp) {
      ColumnSum& c = cols[static_cast<std::size_t>(x)];
      c.b += static_cast<uint32_t>(sign * p[0]);
      c.g += static_cast<uint32_t>(sign * p[1]);
      c.r += static_cast<uint32_t>(sign * p[2]);
      c.n += static_cast<uint32_t>(sign);
    }
  };
  for (int y = 0; y <= std::min(h - 1, r); ++y) addRow(y, 1);

  for (int y = 0; y < h; ++y) {
    if (y > 0) {
      if (y - r - 1 >= 0) addRow(y - r - 1, -1);
      if (y + r < h) addRow(y + r, 1);
    }
    uint32_t sb = 0, sg = 0, sr = 0, sn = 0;
    for (int x = 0; x <= std::min(w - 1, r); ++x) {
      const ColumnSum& c = cols[static_cast<std::size_t>(x)];
      sb += c.b, sg += c.g, sr += c.r, sn += c.n;
    }
    uint8_t* out = ScanLine(y);
    for (int x = 0; x < w; ++x, out += bpp) {
      if (x > 0) {
        if (x - r - 1 >= 0) {
          const ColumnSum& c = cols[static_cast<std::size_t>(x - r - 1)];
          sb -= c.b, sg -= c.g, sr -= c.r, sn -= c.n;
        }
        if (x + r < w) {
          const ColumnSum& c = cols[static_cast<std::size_t>(x + r)];
          sb += c.b, sg += c.g, sr += c.r, sn += c.n;
        }
      }
      if (fastDivide) {
        const uint64_t m = reciprocal[sn];
        out[0] = static_cast<uint8_t>((sb * m) >> 32);
        out[1] = static_cast<uint8_t>((sg * m) >> 32);
        out[2] = static_cast<uint8_t>((sr * m) >> 32);
      } else {
        out[0] = static_cast<uint8_t>(sb / sn);
        out[1] = static_cast<uint8_t>(sg / sn);
        out[2] = static_cast<uint8_t>(sr / sn);
      }
    }
  }
}

std::vector<uint8_t> TDIB::FileBytes() const {
  if (Empty()) return {};
  const Store& s = *store_;
  const uint32_t paletteBytes = s.bitCount <= 8 ? (4u << s.bitCount) : 0u;
  // The file's size fields are 32 bits wide; a larger image has no file form.
  if (s.pixels.size() > UINT32_MAX - 54 - paletteBytes) throw EWriteError("Stream write error");
  const uint32_t imageSize = static_cast<uint32_t>(s.pixels.size());
  const uint32_t offset = 54 + paletteBytes;
  std::vector<uint8_t> out(offset + static_cast<std::size_t>(imageSize), 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, offset + imageSize);
  Put32(out, 10, offset);
  Put32(out, 14, 40);
  Put32(out, 18, static_cast<uint32_t>(s.width));
  Put32(out, 22, static_cast<uint32_t>(s.height));
  Put16(out, 26, 1);
  Put16(out, 28, static_cast<uint32_t>(s.bitCount));
  Put32(out, 30, 0);
  Put32(out, 34, imageSize);
  // A grey ramp for palette images, which this program never saves itself.
  for (uint32_t i = 0; i < paletteBytes / 4; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / ((paletteBytes / 4) - 1));
    out[54 + 4 * i] = out[55 + 4 * i] = out[56 + 4 * i] = v;
  }
  std::memcpy(out.data() + offset, s.pixels.data(), s.pixels.size());
  return out;
}

void WriteFileAtomically(const std::string& fileName, const uint8_t* data, std::size_t size) {
  switch (WriteFileAtomically(fileName, static_cast<const void*>(data), size, 0666)) {
    case AtomicWrite::Done:
      return;
    case AtomicWrite::NotWritten: {
      // The system's reason and the file, after the component's own words.
      const int why = errno;
      throw EWriteError("Stream write error: " + fileName + (why ? std::string(": ") + std::strerror(why) : ""));
    }
    case AtomicWrite::NotCreated:
    case AtomicWrite::NotRenamed:
      break;
  }
  throw EFCreateError("Cannot create file " + fileName);
}

void TDIB::SaveToFile(const std::string& fileName) const {
  if (Empty()) return;
  const std::vector<uint8_t> bytes = FileBytes();
  WriteFileAtomically(fileName, bytes.data(), bytes.size());
}

}  // namespace tav
