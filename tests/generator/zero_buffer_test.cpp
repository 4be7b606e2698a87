#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

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

// A buffer gives its whole mapping back, guard pages included, when it is
// destroyed or replaced by a move: afterwards no page of the old range is
// mapped any more (mincore answers ENOMEM for unmapped pages).
TEST(ZeroBuffer, GivesItsMemoryBack) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  // Allocated before any buffer goes: an allocation between the unmapping
  // and the question (the sanitizers' own bookkeeping maps pages for one) may
  // be placed in the range just given back, which then reads as mapped.
  std::vector<unsigned char> resident((1000000 + 3 * page) / page);
  auto mapped = [&](const char* body, std::size_t bytes) {
    // The body and one guard page on each side.
    const char* begin = body - page;
    return mincore(const_cast<char*>(begin), bytes + 2 * page, resident.data()) == 0;
  };
  for (std::size_t count : {std::size_t{1}, std::size_t{4096}, std::size_t{1000000}}) {
    SCOPED_TRACE(count);
    const char* body = nullptr;
    {
      tav::ZeroBuffer<char> b(count);
      body = b.data();
      b[count - 1] = 1;
      ASSERT_TRUE(mapped(body, count));
    }
    EXPECT_FALSE(mapped(body, count)) << "destroyed buffer still mapped";

    tav::ZeroBuffer<char> target(count);
    const char* old = target.data();
    target = tav::ZeroBuffer<char>(count);
    EXPECT_FALSE(mapped(old, count)) << "replaced buffer still mapped";
  }
}

}  // namespace
