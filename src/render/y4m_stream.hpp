#pragma once
// Frames as a YUV4MPEG2 stream, the raw video format that ffmpeg and mpv
// read from a pipe: 4:4:4, BT.601 limited range (what both assume for y4m),
// 1000/31 frames a second (the saver's 31 ms tick).
#include <cstdint>
#include <vector>

#include "display/dib.hpp"

namespace tav {

// For each of `out` destination pixels, the source pixel of `in` whose
// extent holds the destination pixel's centre: floor((i + 1/2) * in / out).
// This is how the saver's display stretches the field to the screen.
std::vector<int32_t> CentreSampleMap(int32_t in, int32_t out);

class Y4mStream {
 public:
  // Every frame is width x height; fields of another size are stretched.
  Y4mStream(int fd, int32_t width, int32_t height);
  // Writes the header before the first frame, then the frame. Returns false
  // once the reader has gone (EPIPE); raises EWriteError on other failures.
  bool Write(const TDIB& field);

 private:
  bool WriteAll(const uint8_t* data, std::size_t size);

  int fd_;
  int32_t width_, height_;
  bool headerWritten_ = false;
  int32_t mappedWidth_ = 0, mappedHeight_ = 0;
  std::vector<int32_t> cols_, rows_;
  std::vector<uint8_t> fieldYuv_;  // three planes at the field's size
  std::vector<uint8_t> frame_;     // "FRAME\n" and three planes at the stream's size
};

}  // namespace tav
