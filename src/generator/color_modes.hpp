#pragma once
// The eleven colour modes, in two forms with the same numbering: the pixel
// form on 32-bit plane values (255 = full intensity) and the tile form on
// unit-range doubles (1 = full intensity). A mode outside 0..10 leaves the
// values unchanged.
#include <cstdint>

namespace tav {

// One channel of the pixel form.
int32_t ColorModePixelValue(int32_t v, int32_t mode);
// One channel of the tile form.
double ColorModeTileValue(double v, int32_t mode);

// Applies the pixel form to red, green and blue in place.
inline void ColorModePixel(int32_t& red, int32_t& green, int32_t& blue, int32_t mode) {
  red = ColorModePixelValue(red, mode);
  green = ColorModePixelValue(green, mode);
  blue = ColorModePixelValue(blue, mode);
}

// Applies the tile form to the three tile colour values in place.
inline void ColorModeTile(double& tr, double& tg, double& tb, int32_t mode) {
  tr = ColorModeTileValue(tr, mode);
  tg = ColorModeTileValue(tg, mode);
  tb = ColorModeTileValue(tb, mode);
}

}  // namespace tav
