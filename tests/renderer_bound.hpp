#pragma once
// How far the frames of the fast renderer may stray from the reference
// renderer's: of the bitmap bytes compared, at most 1 in 1,000 differ, and
// at most 1 in 10,000 by more than 1 (255 and 0 count as neighbours).
#include <gtest/gtest.h>

#include <cstdint>

namespace tavtest {

// The distance of two byte values on the circle of 256.
inline int ByteDistance(uint8_t a, uint8_t b) {
  const uint8_t up = static_cast<uint8_t>(a - b);
  return up < 128 ? up : 256 - up;
}

inline testing::AssertionResult WithinRendererBound(int64_t bytes, int64_t differing,
                                                    int64_t beyondOne) {
  if (bytes > 0 && differing * 1000 <= bytes && beyondOne * 10000 <= bytes) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << differing << " of " << bytes << " bytes differ, "
                                     << beyondOne << " by more than 1";
}

}  // namespace tavtest
