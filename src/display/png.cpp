#include "display/png.hpp"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tav {
namespace {

// How the image data is packed, chosen for speed: a wallpaper of up to
// 7680 x 4320 is written while the user waits, and a 3840 x 2160 one at
// zlib level 3 with the Up filter took longer than rendering it. Run-length
// matching (Z_RLE: distance 1 only, where zlib's level makes no difference)
// with the Paeth filter, on every row, packs a rendered picture smaller than
// level 3 did at a fraction of its time; the rows are cut into bands that
// are packed side by side on every processor.
constexpr int kStrategy = Z_RLE;
constexpr int kLevel = 1;
constexpr uint8_t kFilterPaeth = 4;  // the filter-type byte that starts each row
// A band is at least this many bytes of filtered rows (a thread is not
// worth starting for less), and a picture has at most kMostBands of them.
constexpr std::size_t kLeastBandBytes = 1 << 20;
constexpr std::size_t kMostBands = 8;

void Put32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v >> 24);
  at[1] = static_cast<uint8_t>(v >> 16);
  at[2] = static_cast<uint8_t>(v >> 8);
  at[3] = static_cast<uint8_t>(v);
}

// The CRC of a chunk: of its type and its data.
uint32_t ChunkCrc(const char (&type)[5], const uint8_t* data, std::size_t n) {
  const uLong crc = crc32_z(0, reinterpret_cast<const Bytef*>(type), 4);
  // No data (IEND): zlib would take the null pointer as a request for its
  // initial value and answer 0.
  return n == 0 ? static_cast<uint32_t>(crc) : static_cast<uint32_t>(crc32_z(crc, data, n));
}

// Appends a chunk: length, type, data, CRC.
void AppendChunk(std::vector<uint8_t>& out, const char (&type)[5], const uint8_t* data, std::size_t n,
                 uint32_t crc) {
  uint8_t head[8];
  Put32(head, static_cast<uint32_t>(n));
  std::memcpy(head + 4, type, 4);
  out.insert(out.end(), head, head + 8);
  if (n) out.insert(out.end(), data, data + n);
  uint8_t tail[4];
  Put32(tail, crc);
  out.insert(out.end(), tail, tail + 4);
}
void AppendChunk(std::vector<uint8_t>& out, const char (&type)[5], const uint8_t* data, std::size_t n) {
  AppendChunk(out, type, data, n, ChunkCrc(type, data, n));
}

// Row y of the bitmap as PNG holds it: red, green, blue.
void RgbRow(const TDIB& bitmap, int y, uint8_t* out) {
  const uint8_t* in = bitmap.ScanLineRead(y);
  const std::size_t n = static_cast<std::size_t>(bitmap.Width()) * 3;
  for (std::size_t i = 0; i < n; i += 3) {
    out[i] = in[i + 2];
    out[i + 1] = in[i + 1];
    out[i + 2] = in[i];
  }
}

// The Paeth predictor of a byte from its left (a), upper (b) and upper-left
// (c) neighbours: whichever is nearest to a + b - c, a before b before c.
inline int Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

#if defined(__SSE2__)
// The predictor of eight bytes at once, widened to 16 bits.
inline __m128i Paeth8(__m128i a, __m128i b, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  const auto abs16 = [&](__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(zero, x)); };
  const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
  const __m128i pa = abs16(bc), pb = abs16(ac), pc = abs16(_mm_add_epi16(bc, ac));
  const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
  const __m128i useC = _mm_cmpgt_epi16(pb, pc);
  const __m128i bOrC = _mm_or_si128(_mm_and_si128(useC, c), _mm_andnot_si128(useC, b));
  return _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
}
#endif

// The Paeth filter of one row of n bytes, 3 to a pixel, above it `up` (all
// zeros over the top row): each byte minus its predictor, where the pixel
// left of the first one counts as zeros.
void PaethRow(const uint8_t* row, const uint8_t* up, std::size_t n, uint8_t* out) {
  std::size_t i = 0;
  for (; i < 3 && i < n; ++i) out[i] = static_cast<uint8_t>(row[i] - up[i]);  // a = c = 0: b
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  for (; i + 16 <= n; i += 16) {
    const __m128i a = load(row + i - 3), b = load(up + i), c = load(up + i - 3);
    const __m128i lo = Paeth8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
    const __m128i hi = Paeth8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi8(load(row + i), _mm_packus_epi16(lo, hi)));
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<uint8_t>(row[i] - Paeth(row[i - 3], up[i], up[i - 3]));
}

// One band's rows [first, end), filtered and packed as raw deflate data
// that the next band's data continues (a sync flush ends it on a byte
// boundary), or that ends the stream when `last`.
struct Band {
  int first = 0, end = 0;
  bool last = false;
  std::vector<uint8_t> packed;
  uint32_t crc = 0;  // of packed as an IDAT chunk
  uLong adler = 1;   // of the band's filtered bytes
  std::size_t filteredBytes = 0;
  std::exception_ptr error;
};

void PackBand(const TDIB& bitmap, Band& band) {
  const std::size_t rowBytes = static_cast<std::size_t>(bitmap.Width()) * 3;
  std::vector<uint8_t> rows[2] = {std::vector<uint8_t>(rowBytes, 0), std::vector<uint8_t>(rowBytes)};
  std::vector<uint8_t> filtered(rowBytes + 1);
  filtered[0] = kFilterPaeth;
  if (band.first > 0) RgbRow(bitmap, band.first - 1, rows[0].data());

  // Raw deflate data (no zlib header or check: PngBytes adds those once for
  // all the bands), the largest memory level for the longest Huffman blocks.
  z_stream z{};
  if (deflateInit2(&z, kLevel, Z_DEFLATED, -15, 9, kStrategy) != Z_OK) throw EWriteError("Stream write error");
  struct End {
    z_stream* z;
    ~End() { deflateEnd(z); }
  } end{&z};
  band.filteredBytes = static_cast<std::size_t>(band.end - band.first) * (rowBytes + 1);
  band.packed.resize(deflateBound(&z, static_cast<uLong>(band.filteredBytes)) + 64);
  z.next_out = band.packed.data();
  z.avail_out = static_cast<uInt>(band.packed.size());
  bool ok = true;
  const auto pack = [&](const uint8_t* data, std::size_t n, int flush) {
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(n);
    do {
      if (z.avail_out == 0) {  // past the bound: cannot happen, but grow rather than fail
        const std::size_t used = band.packed.size();
        band.packed.resize(used * 2);
        z.next_out = band.packed.data() + used;
        z.avail_out = static_cast<uInt>(band.packed.size() - used);
      }
      const int r = deflate(&z, flush);
      if (r == Z_STREAM_END) break;
      if (r != Z_OK && r != Z_BUF_ERROR) {
        ok = false;
        break;
      }
    } while (z.avail_in > 0 || z.avail_out == 0);
  };
  for (int y = band.first; y < band.end; ++y) {
    uint8_t* row = rows[(y - band.first + 1) % 2].data();
    const uint8_t* up = rows[(y - band.first) % 2].data();
    RgbRow(bitmap, y, row);
    PaethRow(row, up, rowBytes, filtered.data() + 1);
    band.adler = adler32_z(band.adler, filtered.data(), filtered.size());
    pack(filtered.data(), filtered.size(), Z_NO_FLUSH);
    if (!ok) break;
  }
  if (ok) pack(nullptr, 0, band.last ? Z_FINISH : Z_SYNC_FLUSH);
  band.packed.resize(band.packed.size() - z.avail_out);
  if (!ok) throw EWriteError("Stream write error");
  band.crc = ChunkCrc("IDAT", band.packed.data(), band.packed.size());
}

}  // namespace

std::vector<uint8_t> PngBytes(const TDIB& bitmap) {
  if (bitmap.Empty()) return {};
  // A band per kLeastBandBytes, up to kMostBands: the count, and so the
  // file's bytes, depend on the picture only, not on the machine.
  const std::size_t bytes = (static_cast<std::size_t>(bitmap.Width()) * 3 + 1) * bitmap.Height();
  return PngBytes(bitmap, static_cast<int>(std::clamp<std::size_t>(bytes / kLeastBandBytes, 1, kMostBands)));
}

std::vector<uint8_t> PngBytes(const TDIB& bitmap, int bandCount) {
  if (bitmap.Empty()) return {};
  if (bitmap.BitCount() != 24) {
    throw EInvalidGraphicOperation("Bitcount in invalid (" + std::to_string(bitmap.BitCount()) +
                                   ")");
  }
  const int w = bitmap.Width(), h = bitmap.Height();
  const int count = std::clamp(bandCount, 1, h);
  std::vector<Band> bands(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    Band& b = bands[static_cast<std::size_t>(k)];
    b.first = static_cast<int>(static_cast<int64_t>(h) * k / count);
    b.end = static_cast<int>(static_cast<int64_t>(h) * (k + 1) / count);
    b.last = k == count - 1;
  }
  const auto run = [&bitmap](Band& b) {
    try {
      PackBand(bitmap, b);
    } catch (...) {
      b.error = std::current_exception();
    }
  };
  // Each thread takes the next band not yet taken, this one as well.
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t k; (k = next.fetch_add(1)) < bands.size();) run(bands[k]);
  };
  {
    const std::size_t threads =
        std::min<std::size_t>(bands.size(), std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
  }
  for (const Band& b : bands)
    if (b.error) std::rethrow_exception(b.error);

  std::size_t total = 8 + 25 + 12 + 2 + 12 + 4 + 12;
  for (const Band& b : bands) total += b.packed.size() + 12;
  std::vector<uint8_t> out;
  out.reserve(total);
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  out.insert(out.end(), kSignature, kSignature + 8);
  uint8_t header[13] = {};
  Put32(header, static_cast<uint32_t>(w));
  Put32(header + 4, static_cast<uint32_t>(h));
  header[8] = 8;  // bits per channel
  header[9] = 2;  // colour type: RGB; compression, filter method, interlace: 0
  AppendChunk(out, "IHDR", header, sizeof header);
  // The zlib stream: its header (deflate, 32K window, fastest), the bands'
  // data in turn, and the Adler-32 of all the filtered bytes.
  static constexpr uint8_t kZlibHeader[2] = {0x78, 0x01};
  AppendChunk(out, "IDAT", kZlibHeader, 2);
  uLong adler = 1;
  for (const Band& b : bands) {
    AppendChunk(out, "IDAT", b.packed.data(), b.packed.size(), b.crc);
    adler = b.first == 0 ? b.adler : adler32_combine(adler, b.adler, static_cast<z_off_t>(b.filteredBytes));
  }
  uint8_t check[4];
  Put32(check, static_cast<uint32_t>(adler));
  AppendChunk(out, "IDAT", check, 4);
  AppendChunk(out, "IEND", nullptr, 0);
  return out;
}

void SavePngToFile(const TDIB& bitmap, const std::string& fileName) {
  if (bitmap.Empty()) return;
  const std::vector<uint8_t> bytes = PngBytes(bitmap);
  WriteFileAtomically(fileName, bytes.data(), bytes.size());
}

std::optional<ImageFileType> ImageFileTypeOf(std::string_view fileName) {
  if (fileName.size() < 4) return std::nullopt;
  std::string ext(fileName.substr(fileName.size() - 4));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".bmp") return ImageFileType::Bitmap;
  if (ext == ".png") return ImageFileType::Png;
  return std::nullopt;
}

void SaveImageFile(const TDIB& bitmap, const std::string& fileName, ImageFileType type) {
  if (type == ImageFileType::Png) {
    SavePngToFile(bitmap, fileName);
  } else {
    bitmap.SaveToFile(fileName);
  }
}

}  // namespace tav
