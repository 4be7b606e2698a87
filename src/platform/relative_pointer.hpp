#pragma once
// Where a Wayland session gives no global pointer position: one made up from
// the motion over our own surfaces. Each surface reports positions in its own
// coordinates, so only the steps within one surface add up; the first
// position on a surface (the pointer came from elsewhere) is only a new start.
#include <cstdint>

namespace tav {

class RelativePointer {
 public:
  struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
  };
  // The pointer is at (x, y) on the surface with this id.
  void Moved(uint32_t surface, int x, int y);
  // The motion summed since the start, from (0, 0).
  Point Position() const { return sum_; }

 private:
  uint32_t surface_ = 0;  // 0: none seen yet
  Point last_, sum_;
};

}  // namespace tav
