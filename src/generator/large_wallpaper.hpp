#pragma once
// Wallpapers of any size from 16 x 16 to 7680 x 4320, for monitors larger
// than the six sizes. The generator's tables and planes hold a field of at
// most its shape's largest size (1600 x 1200 for the settings window); a
// larger wallpaper is rendered at the largest size of its own aspect that
// fits and scaled up, nearest pixel, so rings stay round.
#include <cstdint>

#include "display/dib.hpp"
#include "generator/settings.hpp"

namespace tav {

class PatternGenerator;

// width x height itself when it fits maxWidth x maxHeight, else the largest
// size of (nearly) the same aspect that does, each side at least 1.
WallpaperSize FitWithin(int32_t width, int32_t height, int32_t maxWidth, int32_t maxHeight);

// RenderWallpaper at the fitting size, then the result scaled over a
// width x height wallpaper. Up to the largest field this is RenderWallpaper.
void RenderWallpaperOfSize(PatternGenerator& gen, int32_t width, int32_t height, TDIB& wallpaper);

}  // namespace tav
