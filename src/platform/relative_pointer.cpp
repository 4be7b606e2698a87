#include "platform/relative_pointer.hpp"

namespace tav {

void RelativePointer::Moved(uint32_t surface, int x, int y) {
  if (surface != 0 && surface == surface_) {
    sum_.x += x - last_.x;
    sum_.y += y - last_.y;
  }
  surface_ = surface;
  last_ = {x, y};
}

}  // namespace tav
