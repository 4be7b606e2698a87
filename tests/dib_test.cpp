#include <gtest/gtest.h>

#include "display/dib.hpp"

namespace {

tav::TDIB Make(int w, int h, uint8_t fill = 0) {
  tav::TDIB d;
  d.SetBitCount(24);
  d.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::fill_n(d.ScanLine(y), w * 3, fill);
  return d;
}

TEST(BoxBlur, WhiteRightColumnGivesHalfAndThirdAtTheEdge) {
  tav::TDIB d = Make(4, 3);
  for (int y = 0; y < 3; ++y) std::fill_n(d.ScanLine(y) + 3 * 3, 3, 255);
  d.BoxBlur(24, 1);
  for (int y = 0; y < 3; ++y) {
    SCOPED_TRACE(y);
    EXPECT_EQ(d.ScanLineRead(y)[3 * 3], 127);
    EXPECT_EQ(d.ScanLineRead(y)[2 * 3], 85);
    EXPECT_EQ(d.ScanLineRead(y)[1 * 3], 0);
  }
}

TEST(TDIB, CopyKeepsItsPixelsAfterTheOriginalIsWritten) {
  tav::TDIB a = Make(2, 2, 10);
  tav::TDIB b = a;
  EXPECT_TRUE(a.SharesStoreWith(b));
  a.ScanLine(0)[0] = 99;
  EXPECT_FALSE(a.SharesStoreWith(b));
  EXPECT_EQ(b.ScanLineRead(0)[0], 10);
}

}  // namespace
