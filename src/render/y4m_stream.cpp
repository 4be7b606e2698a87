#include "render/y4m_stream.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tav {

std::vector<int32_t> CentreSampleMap(int32_t in, int32_t out) {
  std::vector<int32_t> map(static_cast<std::size_t>(out > 0 ? out : 0));
  for (int32_t i = 0; i < out; ++i) {
    map[static_cast<std::size_t>(i)] =
        static_cast<int32_t>((2 * static_cast<int64_t>(i) + 1) * in / (2 * static_cast<int64_t>(out)));
  }
  return map;
}

Y4mStream::Y4mStream(int fd, int32_t width, int32_t height)
    : fd_(fd), width_(width), height_(height) {
  static constexpr char kFrame[] = "FRAME\n";
  const std::size_t plane = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  frame_.assign(sizeof kFrame - 1 + 3 * plane, 0);
  std::memcpy(frame_.data(), kFrame, sizeof kFrame - 1);
}

bool Y4mStream::WriteAll(const uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) return false;
      throw EWriteError("Stream write error");
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool Y4mStream::Write(const TDIB& field) {
  if (!headerWritten_) {
    // XCOLORRANGE is ffmpeg's own tag; readers that do not know it skip it.
    const std::string header = "YUV4MPEG2 W" + std::to_string(width_) + " H" +
                               std::to_string(height_) +
                               " F1000:31 Ip A1:1 C444 XCOLORRANGE=LIMITED\n";
    if (!WriteAll(reinterpret_cast<const uint8_t*>(header.data()), header.size())) return false;
    headerWritten_ = true;
  }
  const int32_t fw = field.Width(), fh = field.Height();
  if (fw != mappedWidth_ || fh != mappedHeight_) {
    cols_ = CentreSampleMap(fw, width_);
    rows_ = CentreSampleMap(fh, height_);
    fieldYuv_.assign(3 * static_cast<std::size_t>(fw) * static_cast<std::size_t>(fh), 0);
    mappedWidth_ = fw;
    mappedHeight_ = fh;
  }
  // Converted once per field pixel, then stretched by copying bytes: the
  // nearest-neighbour stretch picks whole pixels, so the order does not
  // change the result.
  const std::size_t fieldPlane = static_cast<std::size_t>(fw) * static_cast<std::size_t>(fh);
  uint8_t* const fy = fieldYuv_.data();
  uint8_t* const fu = fy + fieldPlane;
  uint8_t* const fv = fu + fieldPlane;
  for (int32_t y = 0; y < fh; ++y) {
    const uint8_t* p = field.ScanLineRead(y);
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(fw);
    for (int32_t x = 0; x < fw; ++x, p += 3) {
      const int b = p[0], g = p[1], r = p[2];
      // BT.601, limited range, rounded from 16-bit fixed point: the usual
      // 8-bit coefficients are off by up to 3 levels on the way back.
      fy[at + x] = static_cast<uint8_t>(((16829 * r + 33039 * g + 6416 * b + 32768) >> 16) + 16);
      fu[at + x] = static_cast<uint8_t>(((-9714 * r - 19070 * g + 28784 * b + 32768) >> 16) + 128);
      fv[at + x] = static_cast<uint8_t>(((28784 * r - 24103 * g - 4681 * b + 32768) >> 16) + 128);
    }
  }
  const std::size_t plane = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  uint8_t* out = frame_.data() + 6;
  for (int c = 0; c < 3; ++c) {
    const uint8_t* src = fy + c * fieldPlane;
    uint8_t* dst = out + c * plane;
    for (int32_t y = 0; y < height_; ++y) {
      const uint8_t* row = src + static_cast<std::size_t>(rows_[static_cast<std::size_t>(y)]) *
                                     static_cast<std::size_t>(fw);
      for (int32_t x = 0; x < width_; ++x) *dst++ = row[cols_[static_cast<std::size_t>(x)]];
    }
  }
  return WriteAll(frame_.data(), frame_.size());
}

}  // namespace tav
