#pragma once
// The pixel colour mode as a lookup table. The fine pass feeds the mode
// values within about +-2,500 (its largest sums divided by coefficients down
// to about 0.69), so one table over -4096 .. 4095 answers every value a frame
// produces; anything beyond is computed by the straightforward form. The
// table is filled from that same form, so both give the same result.
#include <array>
#include <cstdint>

namespace tav::fastgen {

class PixelModeTable {
 public:
  static constexpr int32_t kHalf = 4096;
  using DirectFn = int32_t (*)(int32_t value, int32_t mode);

  // Fills the table for mode with direct(v, mode), unless it already holds
  // that mode. Modes outside 0..10 change nothing and have no table.
  void Prepare(int32_t mode, DirectFn direct);
  // Table indexed by v + kHalf, or null for a mode that changes nothing.
  const int32_t* Data() const { return active_ ? table_.data() : nullptr; }
  int32_t Mode() const { return mode_; }
  // The mode on one value, from the table where it reaches.
  int32_t Apply(int32_t v) const {
    if (!active_) return v;
    const uint32_t at = static_cast<uint32_t>(v) + static_cast<uint32_t>(kHalf);
    if (at < 2u * static_cast<uint32_t>(kHalf)) return table_[at];
    return direct_(v, mode_);
  }

 private:
  std::array<int32_t, 2 * kHalf> table_{};
  int32_t mode_ = INT32_MIN;
  bool active_ = false;
  DirectFn direct_ = nullptr;
};

}  // namespace tav::fastgen
