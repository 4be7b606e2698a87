#pragma once
// TDIB: a device-independent bitmap in plain memory. Rows are stored
// bottom-up and padded to 4 bytes; a 24-bit pixel is blue, green, red.
// Copies share one pixel store until one of them writes (copy on write).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tav {

// Raised for a bad row index or bit count.
class EInvalidGraphicOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Raised when no memory can be had for a pixel store.
class EOutOfResources : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Raised when a file cannot be created ("Cannot create file %s").
class EFCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Raised when a file cannot be written completely ("Stream write error",
// then the file and the system's reason when it is the disk that refused).
class EWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes bytes to fileName complete or not at all: under a temporary name in
// the same folder, flushed, then renamed over the target. Raises
// EFCreateError or EWriteError.
void WriteFileAtomically(const std::string& fileName, const uint8_t* data, std::size_t size);

struct Rect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Nearest-pixel scaling by pixel centres: when `from` source pixels are
// spread over `to` target pixels, target pixel i shows the source pixel under
// its centre, floor((i + 1/2) * from / to) (GL's nearest filter maps the same
// way). The one rule for every scaling of ours: the wallpaper's (DrawScaled)
// and the frame's stretch onto the screen. In 64 bits: for i in [0, to) and
// sizes up to INT32_MAX, (2i + 1) * from stays below 2^63.
inline int32_t PixelCentreSource(int64_t i, int64_t from, int64_t to) {
  return static_cast<int32_t>(((2 * i + 1) * from) / (2 * to));
}

class TDIB {
 public:
  TDIB() = default;
  TDIB(const TDIB&) = default;             // shares the pixel store
  TDIB& operator=(const TDIB&) = default;  // shares the pixel store
  TDIB(TDIB&&) noexcept = default;
  TDIB& operator=(TDIB&&) noexcept = default;

  bool Empty() const { return !store_; }
  int BitCount() const { return store_ ? store_->bitCount : 0; }
  int Width() const { return store_ ? store_->width : 0; }
  int Height() const { return store_ ? store_->height : 0; }
  // Bytes per row, padded to a multiple of 4.
  std::size_t WidthBytes() const { return store_ ? store_->rowBytes : 0; }

  // n <= 0 empties; on an empty bitmap makes a 1 x 1 image of n bits.
  void SetBitCount(int n);
  // w <= 0 empties; an unchanged width keeps the pixels, another one
  // replaces the image (pixels are not kept).
  void SetWidth(int w);
  void SetHeight(int h);
  // Both at once (one new store instead of two).
  void SetSize(int w, int h);

  // Row y counted from the top, made private first (copy on write).
  uint8_t* ScanLine(int y);
  // Row y counted from the top, for reading only (no copy).
  const uint8_t* ScanLineRead(int y) const;
  // The whole store, bottom row first; for reading only.
  const uint8_t* Bits() const { return store_ ? store_->pixels.data() : nullptr; }

  // Draws the whole of src into dst, nearest pixel by PixelCentreSource
  // (columns and rows are dropped or repeated, never blended). Parts outside
  // this bitmap are clipped.
  void DrawScaled(const Rect& dst, const TDIB& src);

  // Box blur with a clipped (2r+1) x (2r+1) window; see dib.cpp.
  void BoxBlur(int bitCount, int radius);

  // Writes a BMP file: complete or not at all. An empty bitmap writes nothing.
  void SaveToFile(const std::string& fileName) const;
  // The file image that SaveToFile writes.
  std::vector<uint8_t> FileBytes() const;

  // True when this bitmap and other share one pixel store.
  bool SharesStoreWith(const TDIB& other) const { return store_ && store_ == other.store_; }

 private:
  struct Store {
    int width = 0, height = 0, bitCount = 0;
    std::size_t rowBytes = 0;
    std::vector<uint8_t> pixels;  // bottom row first
  };
  static std::shared_ptr<Store> NewStore(int w, int h, int bitCount);
  void MakePrivate();
  void CheckRow(int y) const;

  std::shared_ptr<Store> store_;
};

}  // namespace tav
