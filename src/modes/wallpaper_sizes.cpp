#include "modes/wallpaper_sizes.hpp"

#include <algorithm>

namespace tav {

std::vector<WallpaperChoice> WallpaperSizeChoices(const std::vector<WallpaperSize>& monitors) {
  auto isMonitor = [&](int32_t w, int32_t h) {
    return std::any_of(monitors.begin(), monitors.end(),
                       [&](const WallpaperSize& m) { return m.Width == w && m.Height == h; });
  };
  std::vector<WallpaperSize> sizes(kWallpaperSizes.begin(), kWallpaperSizes.end());
  std::vector<WallpaperSize> extra;
  for (const WallpaperSize& m : monitors) {
    if (m.Width <= 0 || m.Height <= 0) continue;
    auto same = [&](const WallpaperSize& s) { return s.Width == m.Width && s.Height == m.Height; };
    if (std::none_of(sizes.begin(), sizes.end(), same) &&
        std::none_of(extra.begin(), extra.end(), same)) {
      extra.push_back(m);
    }
  }
  std::sort(extra.begin(), extra.end(), [](const WallpaperSize& a, const WallpaperSize& b) {
    const int64_t areaA = int64_t{a.Width} * a.Height, areaB = int64_t{b.Width} * b.Height;
    return areaA != areaB ? areaA > areaB : a.Width > b.Width;
  });
  sizes.insert(sizes.end(), extra.begin(), extra.end());

  std::vector<WallpaperChoice> out;
  for (const WallpaperSize& s : sizes) {
    std::string label = std::to_string(s.Width) + "x" + std::to_string(s.Height);
    if (isMonitor(s.Width, s.Height)) label += "-Your Desktop";
    out.push_back({s.Width, s.Height, label});
  }
  return out;
}

}  // namespace tav
