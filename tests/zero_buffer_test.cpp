#include <gtest/gtest.h>

#include <cstdint>

#include "generator/zero_buffer.hpp"

namespace {

// Prefaulting makes pages resident without touching what they hold: written
// entries keep their values, the rest still read as zero, and ranges that
// reach past the end are cut at the end.
TEST(ZeroBuffer, PrefaultKeepsTheContents) {
  constexpr std::size_t kCount = 300000;  // several pages, not a whole number of them
  const struct {
    std::size_t first, count;
  } ranges[] = {{0, 0}, {0, kCount}, {1000, 5}, {4095, 2}, {kCount - 3, 100}, {kCount + 7, 10}};
  for (const auto& r : ranges) {
    SCOPED_TRACE(std::to_string(r.first) + " + " + std::to_string(r.count));
    tav::ZeroBuffer<int32_t> b(kCount);
    for (std::size_t i = 0; i < kCount; i += 997) b[i] = static_cast<int32_t>(i) + 1;
    b.Prefault(r.first, r.count);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < kCount; ++i) {
      const int32_t want = i % 997 == 0 ? static_cast<int32_t>(i) + 1 : 0;
      if (b[i] != want) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
  }
}

}  // namespace
