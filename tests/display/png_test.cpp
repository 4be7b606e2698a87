// PNG files decoded by libpng's reader hold the bitmap's pixels, however the
// rows are cut into bands.
#include <png.h>
#include <zlib.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "display/png.hpp"

namespace {

TEST(PngBytes, DecodesToTheBitmapsPixelsForAnyBands) {
  const struct {
    int w, h, bands;
  } cases[] = {
      {1, 1, 1},      // no pixel to the left or above
      {2, 3, 3},      // rows shorter than a 16-byte step, one band per row
      {5, 4, 9},      // more bands than rows
      {7, 9, 4},      // 21-byte rows: one step and a tail; bands of 2 and 3 rows
      {333, 64, 2},
      {1000, 301, 3},
      {1001, 300, 0},  // no band asked for: one
  };
  std::mt19937 gen(11);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " in " + std::to_string(c.bands) + " bands");
    tav::TDIB bitmap;
    bitmap.SetBitCount(24);
    bitmap.SetSize(c.w, c.h);
    // Smooth areas, steps and noise, so that every Paeth choice is taken.
    for (int y = 0; y < c.h; ++y) {
      uint8_t* row = bitmap.ScanLine(y);
      for (int x = 0; x < c.w; ++x)
        for (int ch = 0; ch < 3; ++ch) {
          const int zone = (x / 13 + y / 7 + ch) % 3;
          row[3 * x + ch] = zone == 0   ? static_cast<uint8_t>(x * 2 + y * 3 + ch * 80)
                            : zone == 1 ? static_cast<uint8_t>((x / 5 + y / 3) % 2 ? 250 : 4)
                                        : static_cast<uint8_t>(gen());
        }
    }
    const std::vector<uint8_t> file = tav::PngBytes(bitmap, c.bands);

    // Every chunk's checksum holds, to the last one, IEND (libpng's reader
    // stops before it; stricter readers do not).
    std::string last;
    for (std::size_t at = 8; at + 12 <= file.size();) {
      const uint32_t n = (uint32_t{file[at]} << 24) | (uint32_t{file[at + 1]} << 16) | (uint32_t{file[at + 2]} << 8) |
                         file[at + 3];
      ASSERT_LE(at + 12 + n, file.size());
      const uint8_t* crcAt = &file[at + 8 + n];
      const uint32_t stored =
          (uint32_t{crcAt[0]} << 24) | (uint32_t{crcAt[1]} << 16) | (uint32_t{crcAt[2]} << 8) | crcAt[3];
      last.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
      EXPECT_EQ(stored, static_cast<uint32_t>(crc32(0, &file[at + 4], n + 4))) << last;
      at += 12 + n;
    }
    EXPECT_EQ(last, "IEND");

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size())) << image.message;
    EXPECT_EQ(image.width, static_cast<png_uint_32>(c.w));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(c.h));
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    image.format = PNG_FORMAT_BGR;  // the bitmap's order
    std::vector<uint8_t> bgr(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, bgr.data(), 0, nullptr)) << image.message;
    EXPECT_EQ(image.warning_or_error, 0u) << image.message;
    std::vector<uint8_t> want;
    for (int y = 0; y < c.h; ++y) want.insert(want.end(), bitmap.ScanLineRead(y), bitmap.ScanLineRead(y) + 3 * c.w);
    EXPECT_EQ(bgr, want);
  }
}

}  // namespace
