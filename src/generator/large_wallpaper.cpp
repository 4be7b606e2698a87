#include "generator/large_wallpaper.hpp"

#include <algorithm>
#include <cmath>

#include "generator/generator.hpp"

namespace tav {

WallpaperSize FitWithin(int32_t width, int32_t height, int32_t maxWidth, int32_t maxHeight) {
  if (width <= maxWidth && height <= maxHeight) return {width, height};
  const double scale = std::min(static_cast<double>(maxWidth) / width,
                                static_cast<double>(maxHeight) / height);
  return {std::clamp(static_cast<int32_t>(std::lround(width * scale)), 1, maxWidth),
          std::clamp(static_cast<int32_t>(std::lround(height * scale)), 1, maxHeight)};
}

void RenderWallpaperOfSize(PatternGenerator& gen, int32_t width, int32_t height, TDIB& wallpaper) {
  const WallpaperSize fit =
      FitWithin(width, height, gen.Capacity().MaxFieldWidth, gen.Capacity().MaxFieldHeight);
  if (fit.Width == width && fit.Height == height) {
    gen.RenderWallpaper(width, height, wallpaper);
    return;
  }
  TDIB rendered;
  rendered.SetBitCount(24);
  gen.RenderWallpaper(fit.Width, fit.Height, rendered);
  if (wallpaper.BitCount() != 24) {
    wallpaper = TDIB();
    wallpaper.SetBitCount(24);
  }
  wallpaper.SetSize(width, height);
  wallpaper.DrawScaled(Rect{0, 0, width, height}, rendered);
}

}  // namespace tav
