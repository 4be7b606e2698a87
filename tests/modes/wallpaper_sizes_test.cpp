#include "modes/wallpaper_sizes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav {
namespace {

std::string Labels(const std::vector<WallpaperChoice>& choices) {
  std::string out;
  for (const auto& c : choices) {
    out += (out.empty() ? "" : " ") + c.Label;
    EXPECT_EQ(c.Label.rfind(std::to_string(c.Width) + "x" + std::to_string(c.Height), 0), 0u);
  }
  return out;
}

TEST(WallpaperSizeChoices, SixSizesThenEachNewMonitorLargestFirst) {
  const std::string six = "640x480 800x600 1024x768 1152x864 1280x1024 1600x1200";
  const struct {
    std::vector<WallpaperSize> monitors;
    std::string want;
  } cases[] = {
      {{}, six},
      {{{1024, 768}},
       "640x480 800x600 1024x768-Your Desktop 1152x864 1280x1024 1600x1200"},
      // Width alone is not a match: 1280x800 is a size of its own.
      {{{1280, 800}}, six + " 1280x800-Your Desktop"},
      {{{1920, 1080}, {3840, 2160}, {1920, 1080}},
       six + " 3840x2160-Your Desktop 1920x1080-Your Desktop"},
      // Equal areas: the wider first; a portrait monitor keeps its aspect.
      {{{1200, 1920}, {1920, 1200}, {1600, 1200}},
       "640x480 800x600 1024x768 1152x864 1280x1024 1600x1200-Your Desktop "
       "1920x1200-Your Desktop 1200x1920-Your Desktop"},
      {{{2560, 1440}, {1366, 768}, {7680, 4320}},
       six + " 7680x4320-Your Desktop 2560x1440-Your Desktop 1366x768-Your Desktop"},
      {{{0, 0}}, six},  // a monitor that reports no size adds nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(Labels(WallpaperSizeChoices(c.monitors)), c.want);
  }
}

}  // namespace
}  // namespace tav
