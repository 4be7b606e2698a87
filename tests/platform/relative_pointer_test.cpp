// The pointer made up from motion over our own surfaces, where a Wayland
// session tells no global position.
#include "platform/relative_pointer.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tav {
namespace {

struct Step {
  uint32_t surface;
  int x, y;
};

TEST(RelativePointer, SumsStepsWithinASurfaceOnly) {
  struct Case {
    const char* what;
    std::vector<Step> steps;
    RelativePointer::Point at;
  };
  const Case cases[] = {
      {"nothing seen", {}, {0, 0}},
      {"the first position is only a start", {{1, 640, 360}}, {0, 0}},
      {"steps within one surface add up", {{1, 100, 100}, {1, 103, 98}, {1, 106, 96}}, {6, -4}},
      {"back and forth cancels out", {{1, 10, 10}, {1, 40, 10}, {1, 12, 11}}, {2, 1}},
      // Coordinates of another surface say nothing about the way from the last one.
      {"a new surface starts again", {{1, 10, 10}, {1, 13, 10}, {2, 900, 500}, {2, 902, 501}}, {5, 1}},
      {"and so does coming back", {{1, 10, 10}, {2, 0, 0}, {1, 500, 500}, {1, 500, 507}}, {0, 7}},
      {"motion with no surface is ignored", {{0, 10, 10}, {0, 50, 50}, {1, 3, 3}}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RelativePointer p;
    for (const Step& s : c.steps) p.Moved(s.surface, s.x, s.y);
    EXPECT_EQ(p.Position(), c.at);
  }
}

}  // namespace
}  // namespace tav
