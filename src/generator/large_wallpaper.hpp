#pragma once
// Wallpapers of any size. Up to kLargestWallpaper (7680 x 4320) a wallpaper
// is rendered at its own size: a field that the generator's tables hold
// through them, a larger one a batch of points at a time
// (PatternGenerator::RenderWallpaperInChunks). A size beyond that is
// rendered at the largest size of its own aspect that fits and scaled up,
// nearest pixel, so rings stay round.
#include <cstdint>

#include "display/dib.hpp"
#include "generator/settings.hpp"

namespace tav {

class PatternGenerator;

// width x height itself when it fits maxWidth x maxHeight, else the largest
// size of (nearly) the same aspect that does, each side at least 1.
WallpaperSize FitWithin(int32_t width, int32_t height, int32_t maxWidth, int32_t maxHeight);

// RenderWallpaper at the fitting size, then the result scaled over a
// width x height wallpaper. Up to the largest wallpaper this is
// RenderWallpaper. Returns the points the frame walked.
int32_t RenderWallpaperOfSize(PatternGenerator& gen, int32_t width, int32_t height,
                              TDIB& wallpaper);

}  // namespace tav
