#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "display/dib.hpp"
#include "temp_config.hpp"

namespace {

namespace fs = std::filesystem;
using tavtest::ReadFile;

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

tav::TDIB Make(int w, int h, uint8_t fill = 0) {
  tav::TDIB d;
  d.SetBitCount(24);
  d.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::fill_n(d.ScanLine(y), w * 3, fill);
  return d;
}

void Put(tav::TDIB& d, int x, int y, Rgb c) {
  uint8_t* p = d.ScanLine(y) + 3 * x;
  p[0] = c.b, p[1] = c.g, p[2] = c.r;
}
Rgb Get(const tav::TDIB& d, int x, int y) {
  const uint8_t* p = d.ScanLineRead(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

tav::TDIB FromRows(const std::vector<std::vector<Rgb>>& rows) {
  tav::TDIB d = Make(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
  for (std::size_t y = 0; y < rows.size(); ++y)
    for (std::size_t x = 0; x < rows[y].size(); ++x) Put(d, int(x), int(y), rows[y][x]);
  return d;
}

// The blur as defined: the truncated mean over the clipped window, each
// source pixel counted once.
tav::TDIB BlurByDefinition(const tav::TDIB& src, int r) {
  tav::TDIB out = Make(src.Width(), src.Height());
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) {
      unsigned s[3] = {0, 0, 0}, n = 0;
      for (int yy = std::max(0, y - r); yy <= std::min(src.Height() - 1, y + r); ++yy)
        for (int xx = std::max(0, x - r); xx <= std::min(src.Width() - 1, x + r); ++xx) {
          const Rgb c = Get(src, xx, yy);
          s[0] += c.r, s[1] += c.g, s[2] += c.b, ++n;
        }
      Put(out, x, y, {uint8_t(s[0] / n), uint8_t(s[1] / n), uint8_t(s[2] / n)});
    }
  return out;
}

std::vector<std::vector<Rgb>> Pixels(const tav::TDIB& d) {
  std::vector<std::vector<Rgb>> rows(d.Height());
  for (int y = 0; y < d.Height(); ++y)
    for (int x = 0; x < d.Width(); ++x) rows[y].push_back(Get(d, x, y));
  return rows;
}

TEST(BoxBlur, KnownResults) {
  const Rgb k{0, 0, 0}, w{255, 255, 255};
  const struct {
    const char* what;
    std::vector<std::vector<Rgb>> in, out;
  } cases[] = {
      {"one row: self and horizontal neighbours",
       {{{0, 3, 255}, {90, 6, 0}, {30, 9, 0}, {255, 12, 1}}},
       {{{45, 4, 127}, {40, 6, 85}, {125, 9, 0}, {142, 10, 0}}}},
      {"1 x 1 unchanged", {{{17, 99, 250}}}, {{{17, 99, 250}}}},
      {"uniform unchanged, edges included",
       std::vector<std::vector<Rgb>>(4, std::vector<Rgb>(5, Rgb{10, 200, 77})),
       std::vector<std::vector<Rgb>>(4, std::vector<Rgb>(5, Rgb{10, 200, 77}))},
      {"white right column",
       {{k, k, k, w}, {k, k, k, w}, {k, k, k, w}, {k, k, k, w}},
       {{k, k, {85, 85, 85}, {127, 127, 127}},
        {k, k, {85, 85, 85}, {127, 127, 127}},
        {k, k, {85, 85, 85}, {127, 127, 127}},
        {k, k, {85, 85, 85}, {127, 127, 127}}}},
      {"one column", {{{0, 0, 0}}, {{30, 0, 0}}, {{90, 0, 255}}},
       {{{15, 0, 0}}, {{40, 0, 85}}, {{60, 0, 127}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tav::TDIB d = FromRows(c.in);
    d.BoxBlur(24, 1);
    EXPECT_EQ(Pixels(d), c.out);
  }
}

TEST(BoxBlur, MatchesTheWindowDefinitionForEverySize) {
  std::mt19937 gen(7);
  for (const int r : {1, 2, -1}) {
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 5}, {5, 1}, {2, 2}, {3, 3}, {7, 5}, {6, 9}, {13, 4}}) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " r" + std::to_string(r));
      tav::TDIB d = Make(w, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) Put(d, x, y, {uint8_t(gen()), uint8_t(gen()), uint8_t(gen())});
      const tav::TDIB expected = BlurByDefinition(d, r < 0 ? -r : r);
      tav::TDIB keep = d;  // a copy sharing the store keeps the unblurred pixels
      const auto before = Pixels(d);
      d.BoxBlur(24, r);
      EXPECT_EQ(Pixels(d), Pixels(expected));
      EXPECT_EQ(Pixels(keep), before);
    }
  }
  // Large windows, with their sums at the top of the range (all 255) and at
  // random, on both sides of the largest window counted by multiplication.
  for (const int r : {31, 32}) {
    for (const bool full : {true, false}) {
      SCOPED_TRACE("r" + std::to_string(r) + (full ? " all 255" : " random"));
      tav::TDIB d = Make(70, 66);
      for (int y = 0; y < 66; ++y)
        for (int x = 0; x < 70; ++x)
          Put(d, x, y, full ? Rgb{255, 255, 255} : Rgb{uint8_t(gen()), uint8_t(gen()), uint8_t(gen())});
      const tav::TDIB expected = BlurByDefinition(d, r);
      d.BoxBlur(24, r);
      EXPECT_EQ(Pixels(d), Pixels(expected));
    }
  }
  tav::TDIB d = Make(3, 2, 9);
  Put(d, 1, 1, {200, 0, 0});
  const auto before = Pixels(d);
  d.BoxBlur(24, 0);  // radius 0 changes nothing
  EXPECT_EQ(Pixels(d), before);
  tav::TDIB empty;
  empty.BoxBlur(24, 1);
  EXPECT_TRUE(empty.Empty());
}

// Every byte of the store after a radius-1 blur, against the window
// definition worked on the raw bytes: rows of many widths (so that each
// column position meets the start, middle and end of a block of bytes), 24
// and 32 bits, random and all-255 pixels. The fourth byte of a 32-bit pixel
// and the row padding stay as they were.
TEST(BoxBlur, RadiusOneEveryByteOfTheStore) {
  std::mt19937 gen(11);
  for (const int bits : {24, 32}) {
    const int bpp = bits / 8;
    for (int w = 1; w <= 37; ++w) {
      for (const int h : {1, 2, 3, 6}) {
        for (const bool full : {false, true}) {
          SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(w) + "x" +
                       std::to_string(h) + (full ? " all 255" : " random"));
          tav::TDIB d;
          d.SetBitCount(bits);
          d.SetSize(w, h);
          for (int y = 0; y < h; ++y) {
            uint8_t* row = d.ScanLine(y);
            for (std::size_t k = 0; k < d.WidthBytes(); ++k) row[k] = full ? 255 : uint8_t(gen());
          }
          std::vector<std::vector<uint8_t>> before(h), expected(h);
          for (int y = 0; y < h; ++y) {
            before[y].assign(d.ScanLineRead(y), d.ScanLineRead(y) + d.WidthBytes());
          }
          for (int y = 0; y < h; ++y) {
            expected[y] = before[y];
            for (int x = 0; x < w; ++x)
              for (int c = 0; c < 3; ++c) {
                unsigned s = 0, n = 0;
                for (int yy = std::max(0, y - 1); yy <= std::min(h - 1, y + 1); ++yy)
                  for (int xx = std::max(0, x - 1); xx <= std::min(w - 1, x + 1); ++xx) {
                    s += before[yy][xx * bpp + c];
                    ++n;
                  }
                expected[y][x * bpp + c] = static_cast<uint8_t>(s / n);
              }
          }
          d.BoxBlur(bits, 1);
          for (int y = 0; y < h; ++y) {
            const std::vector<uint8_t> got(d.ScanLineRead(y), d.ScanLineRead(y) + d.WidthBytes());
            ASSERT_EQ(got, expected[y]) << "row " << y;
          }
        }
      }
    }
  }
}

TEST(TDIB, ScanLineBoundsAndRowOrder) {
  tav::TDIB d = Make(5, 3);
  for (const int y : {3, -1, 1000}) {
    try {
      d.ScanLine(y);
      ADD_FAILURE() << y;
    } catch (const tav::EInvalidGraphicOperation& e) {
      EXPECT_EQ(e.what(), "Index of the scanning line exceeded the range. (" + std::to_string(y) + ")");
    }
    EXPECT_THROW(d.ScanLineRead(y), tav::EInvalidGraphicOperation);
  }
  EXPECT_THROW(tav::TDIB().ScanLine(0), tav::EInvalidGraphicOperation);
  // Row 0 is the top row, stored last.
  EXPECT_EQ(d.ScanLineRead(0), d.Bits() + 2 * 16);
  EXPECT_EQ(d.ScanLineRead(2), d.Bits());
  EXPECT_EQ(d.ScanLine(1), d.Bits() + 16);
}

TEST(TDIB, SizeAndBitCount) {
  const struct {
    const char* what;
    void (*act)(tav::TDIB&);
    int bits, w, h;
    bool keepsPixels;  // of the 4 x 3 24-bit image it starts as
  } cases[] = {
      {"same width", [](tav::TDIB& d) { d.SetWidth(4); }, 24, 4, 3, true},
      {"same height", [](tav::TDIB& d) { d.SetHeight(3); }, 24, 4, 3, true},
      {"same size", [](tav::TDIB& d) { d.SetSize(4, 3); }, 24, 4, 3, true},
      {"bit count of a sized bitmap kept", [](tav::TDIB& d) { d.SetBitCount(24); }, 24, 4, 3, true},
      {"other width", [](tav::TDIB& d) { d.SetWidth(5); }, 24, 5, 3, false},
      {"other height", [](tav::TDIB& d) { d.SetHeight(2); }, 24, 4, 2, false},
      {"width 0 empties", [](tav::TDIB& d) { d.SetWidth(0); }, 0, 0, 0, false},
      {"negative height empties", [](tav::TDIB& d) { d.SetHeight(-1); }, 0, 0, 0, false},
      {"bit count 0 empties", [](tav::TDIB& d) { d.SetBitCount(0); }, 0, 0, 0, false},
      {"from empty, width first: 8 bits, height 1",
       [](tav::TDIB& d) { d.SetBitCount(0); d.SetWidth(6); }, 8, 6, 1, false},
      {"from empty, height first", [](tav::TDIB& d) { d.SetBitCount(0); d.SetHeight(6); }, 8, 1, 6, false},
      {"from empty, bit count first", [](tav::TDIB& d) { d.SetBitCount(0); d.SetBitCount(24); }, 24, 1, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tav::TDIB d = Make(4, 3, 0x5A);
    c.act(d);
    EXPECT_EQ(d.BitCount(), c.bits);
    EXPECT_EQ(d.Width(), c.w);
    EXPECT_EQ(d.Height(), c.h);
    if (!d.Empty()) {
      const bool kept = d.ScanLineRead(0)[0] == 0x5A;
      EXPECT_EQ(kept, c.keepsPixels);
      for (int y = 0; y < d.Height() && !c.keepsPixels; ++y)
        for (std::size_t i = 0; i < d.WidthBytes(); ++i) ASSERT_EQ(d.ScanLineRead(y)[i], 0);
    }
  }
  for (const auto& [w, bytes] : {std::pair{1, 4u}, {2, 8u}, {3, 12u}, {4, 12u}, {5, 16u}, {640, 1920u}}) {
    EXPECT_EQ(Make(w, 1).WidthBytes(), bytes) << w;
  }
  tav::TDIB d;
  try {
    d.SetBitCount(7);
    ADD_FAILURE();
  } catch (const tav::EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Bitcount in invalid (7)");
  }
}

TEST(TDIB, CopyKeepsItsPixelsAfterEitherIsWritten) {
  tav::TDIB a = Make(2, 2, 10);
  tav::TDIB b = a;
  EXPECT_TRUE(a.SharesStoreWith(b));
  a.ScanLine(0)[0] = 99;
  EXPECT_FALSE(a.SharesStoreWith(b));
  EXPECT_EQ(b.ScanLineRead(0)[0], 10);
  tav::TDIB c = b;
  c.ScanLine(1)[5] = 7;
  EXPECT_EQ(b.ScanLineRead(1)[5], 10);
  tav::TDIB e = b;
  e.SetSize(3, 3);  // a new store for e; b keeps its own
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.ScanLineRead(1)[0], 10);
}

TEST(TDIB, DrawScaledRepeatsOrDropsButNeverBlends) {
  const Rgb a{255, 0, 0}, b{0, 255, 0}, c{0, 0, 255}, d{10, 20, 30};
  const tav::TDIB src = FromRows({{a, b}, {c, d}});
  tav::TDIB big = Make(4, 4);
  big.DrawScaled({0, 0, 4, 4}, src);
  EXPECT_EQ(Pixels(big), (std::vector<std::vector<Rgb>>{{a, a, b, b}, {a, a, b, b}, {c, c, d, d}, {c, c, d, d}}));
  tav::TDIB small = Make(1, 1);
  small.DrawScaled({0, 0, 1, 1}, src);
  EXPECT_EQ(Get(small, 0, 0), d);  // the pixel under the centre
  // Shrinking 5 columns to 3 and 3 rows to 2 keeps whole source pixels.
  std::vector<std::vector<Rgb>> rows(3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) rows[y].push_back({uint8_t(x * 50), uint8_t(y * 100), 0});
  tav::TDIB shrunk = Make(3, 2);
  shrunk.DrawScaled({0, 0, 3, 2}, FromRows(rows));
  for (const auto& row : Pixels(shrunk))
    for (const Rgb& p : row) {
      EXPECT_EQ(p.r % 50, 0);
      EXPECT_EQ(p.g % 100, 0);
    }
  // A rectangle partly outside is clipped; the rest of the bitmap is untouched.
  tav::TDIB part = Make(3, 3, 1);
  part.DrawScaled({1, 1, 5, 5}, src);
  EXPECT_EQ(Get(part, 0, 0), (Rgb{1, 1, 1}));
  EXPECT_EQ(Get(part, 1, 1), a);
  EXPECT_EQ(Get(part, 2, 2), a);  // (1,1) of a 4 x 4 view of 2 x 2
}

// Target pixel i shows the source pixel under its centre i + 1/2: sizes
// that divide and ones that do not, enlarging and shrinking, and sizes whose
// products pass 32 bits. The small ones also through DrawScaled, along a
// row and down a column.
TEST(PixelCentreSource, TheSourcePixelUnderEachTargetCentre) {
  const struct {
    int from, to;
    std::vector<int> source;  // for target pixels 0, 1, ... (all of them when small)
    int first = 0;            // the target pixel source[0] is for
  } cases[] = {
      {3, 4, {0, 1, 1, 2}},
      {2, 4, {0, 0, 1, 1}},
      {3, 7, {0, 0, 1, 1, 1, 2, 2}},
      {1, 3, {0, 0, 0}},
      {4, 4, {0, 1, 2, 3}},
      {4, 2, {1, 3}},
      {6, 4, {0, 2, 3, 5}},
      {5, 3, {0, 2, 4}},
      {7, 3, {1, 3, 5}},
      {3, 1, {1}},
      {40000, 60000, {39998, 39999, 39999}, 59997},
      {60000, 40000, {59997, 59999}, 39998},
      {2147483647, 2147483647, {2147483645, 2147483646}, 2147483645},
      {2147483647, 3, {357913941, 1073741823, 1789569705}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
    std::vector<int> got;
    for (std::size_t k = 0; k < c.source.size(); ++k)
      got.push_back(tav::PixelCentreSource(c.first + static_cast<int64_t>(k), c.from, c.to));
    EXPECT_EQ(got, c.source);
    if (c.from > 64 || c.to > 64) continue;
    tav::TDIB row = Make(c.from, 1), column = Make(1, c.from);
    for (int k = 0; k < c.from; ++k) {
      Put(row, k, 0, {uint8_t(10 * (k + 1)), 0, 0});
      Put(column, 0, k, {uint8_t(10 * (k + 1)), 0, 0});
    }
    tav::TDIB wide = Make(c.to, 1), tall = Make(1, c.to);
    wide.DrawScaled({0, 0, c.to, 1}, row);
    tall.DrawScaled({0, 0, 1, c.to}, column);
    std::vector<int> across, down;
    for (int i = 0; i < c.to; ++i) {
      across.push_back(Get(wide, i, 0).r / 10 - 1);
      down.push_back(Get(tall, 0, i).r / 10 - 1);
    }
    EXPECT_EQ(across, c.source);
    EXPECT_EQ(down, c.source);
  }
}

// Every byte of the target against the nearest-pixel definition, for
// one-to-one copies (whole, shifted, clipped on any side) and for scaled
// ones, at each pixel size; bytes outside the rectangle stay as they were.
TEST(TDIB, DrawScaledEveryByteAsDefined) {
  std::mt19937 gen(5);
  const struct {
    int srcW, srcH, dstW, dstH;
    tav::Rect rect;
  } cases[] = {
      {7, 5, 7, 5, {0, 0, 7, 5}},    {7, 5, 9, 8, {1, 2, 8, 7}},   {7, 5, 7, 5, {-3, -1, 4, 4}},
      {7, 5, 7, 5, {2, 1, 9, 6}},    {6, 4, 17, 9, {0, 0, 17, 9}}, {17, 9, 6, 4, {0, 0, 6, 4}},
      {5, 5, 8, 8, {-2, 3, 6, 11}},
  };
  for (const int bits : {8, 16, 24, 32}) {
    const int bpp = bits / 8;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(c.srcW) + "x" +
                   std::to_string(c.srcH) + " into " + std::to_string(c.rect.Left) + "," +
                   std::to_string(c.rect.Top) + "-" + std::to_string(c.rect.Right) + "," +
                   std::to_string(c.rect.Bottom));
      auto random = [&](int w, int h) {
        tav::TDIB d;
        d.SetBitCount(bits);
        d.SetSize(w, h);
        for (int y = 0; y < h; ++y)
          for (int k = 0; k < w * bpp; ++k) d.ScanLine(y)[k] = uint8_t(gen());
        return d;
      };
      const tav::TDIB src = random(c.srcW, c.srcH);
      tav::TDIB dst = random(c.dstW, c.dstH);
      std::vector<uint8_t> want(dst.Bits(), dst.Bits() + dst.WidthBytes() * c.dstH);
      const int dw = c.rect.Right - c.rect.Left, dh = c.rect.Bottom - c.rect.Top;
      for (int y = std::max(0, c.rect.Top); y < std::min(c.dstH, c.rect.Bottom); ++y)
        for (int x = std::max(0, c.rect.Left); x < std::min(c.dstW, c.rect.Right); ++x) {
          // The source pixel under the target pixel's centre.
          const int sx = (2 * (x - c.rect.Left) + 1) * c.srcW / (2 * dw);
          const int sy = (2 * (y - c.rect.Top) + 1) * c.srcH / (2 * dh);
          std::memcpy(&want[(c.dstH - 1 - y) * dst.WidthBytes() + x * bpp],
                      src.ScanLineRead(sy) + sx * bpp, bpp);
        }
      dst.DrawScaled(c.rect, src);
      EXPECT_EQ(std::vector<uint8_t>(dst.Bits(), dst.Bits() + want.size()), want);
    }
  }
}

TEST(SaveToFile, FiveByThreeFileLayout) {
  const fs::path dir = fs::temp_directory_path() / ("tav-dib-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  tav::TDIB d = Make(5, 3);
  Put(d, 0, 0, {1, 2, 3});  // top left
  Put(d, 4, 2, {4, 5, 6});  // bottom right
  const fs::path file = dir / "a.bmp";
  d.SaveToFile(file.string());
  const std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), 102u);
  auto u32 = [&](int at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
  };
  auto u16 = [&](int at) { return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8; };
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  const struct { int at; uint32_t value; bool wide; } fields[] = {
      {2, 102, true}, {6, 0, false}, {8, 0, false}, {10, 54, true}, {14, 40, true}, {18, 5, true},
      {22, 3, true},  {26, 1, false}, {28, 24, false}, {30, 0, true}, {34, 48, true}, {38, 0, true},
      {42, 0, true},  {46, 0, true},  {50, 0, true},
  };
  for (const auto& f : fields) EXPECT_EQ(f.wide ? u32(f.at) : u16(f.at), f.value) << "offset " << f.at;
  // Bottom row first: its last pixel is the bottom-right one; padding is zero.
  EXPECT_EQ(bytes.substr(54 + 12, 3), std::string("\x06\x05\x04", 3));
  EXPECT_EQ(bytes.substr(54 + 15, 1), std::string(1, '\0'));
  EXPECT_EQ(bytes.substr(54 + 32, 3), std::string("\x03\x02\x01", 3));
  // An empty bitmap writes nothing.
  tav::TDIB().SaveToFile((dir / "empty.bmp").string());
  EXPECT_FALSE(fs::exists(dir / "empty.bmp"));
  fs::remove_all(dir);
}

TEST(SaveToFile, AnotherReaderDecodesTheSamePixels) {
  const fs::path dir = fs::temp_directory_path() / ("tav-dib-im-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const int w = 7, h = 5;  // odd width: padded rows
  tav::TDIB d = Make(w, h);
  std::string expected;  // RGB, top row first
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb c{uint8_t(x * 30 + 1), uint8_t(y * 50 + 2), uint8_t((x * 7 + y * 13) * 3)};
      Put(d, x, y, c);
      expected += {char(c.r), char(c.g), char(c.b)};
    }
  const fs::path file = dir / "pattern.bmp";
  d.SaveToFile(file.string());
  // ImageMagick (installed by scripts/deps) decodes it to raw RGB bytes.
  const std::string cmd = "/usr/bin/convert '" + file.string() + "' -depth 8 rgb:- 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string decoded;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) decoded.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << decoded;
  EXPECT_EQ(decoded, expected);
  fs::remove_all(dir);
}

TEST(SaveToFile, FailuresLeaveNoPartialOrDamagedFile) {
  const fs::path dir = fs::temp_directory_path() / ("tav-dib-fail-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  // A file that cannot be created names its path.
  const std::string missing = (dir / "no such folder" / "x.bmp").string();
  try {
    Make(2, 2).SaveToFile(missing);
    ADD_FAILURE();
  } catch (const tav::EFCreateError& e) {
    EXPECT_EQ(e.what(), "Cannot create file " + missing);
  }
  // A write cut short by a file-size limit (as a full disk would) leaves the
  // earlier file as it was and nothing else behind.
  const fs::path earlier = dir / "earlier.bmp", fresh = dir / "fresh.bmp";
  Make(3, 3, 0x11).SaveToFile(earlier.string());
  const std::string before = ReadFile(earlier);
  for (const fs::path& target : {earlier, fresh}) {
    SCOPED_TRACE(target.filename().string());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      try {
        Make(100, 100, 0x22).SaveToFile(target.string());  // 30054 bytes
      } catch (const tav::EWriteError& e) {
        ::_exit(std::string(e.what()) == "Stream write error: " + target.string() + ": File too large" ? 0 : 2);
      } catch (...) {
        ::_exit(3);
      }
      ::_exit(4);  // no error at all
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(ReadFile(earlier), before);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"earlier.bmp"}));
  // Without the limit the same save replaces the earlier file whole.
  Make(100, 100, 0x22).SaveToFile(earlier.string());
  EXPECT_EQ(fs::file_size(earlier), 30054u);
  fs::remove_all(dir);
}

}  // namespace
