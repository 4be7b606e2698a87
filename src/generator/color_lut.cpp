#include "generator/color_lut.hpp"

namespace tav::fastgen {

void PixelModeTable::Prepare(int32_t mode, DirectFn direct) {
  if (mode == mode_ && direct == direct_) return;
  mode_ = mode;
  direct_ = direct;
  active_ = mode >= 0 && mode <= 10;
  if (!active_) return;
  for (int32_t v = -kHalf; v < kHalf; ++v) table_[static_cast<std::size_t>(v + kHalf)] = direct(v, mode);
}

}  // namespace tav::fastgen
