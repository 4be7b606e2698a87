#pragma once
// The positions of the settings window's "Wallpaper Size" slider: the six
// fixed sizes, then the size of each monitor that is not one of them, so a
// wallpaper can be made at a screen's own size and aspect.
#include <cstdint>
#include <string>
#include <vector>

#include "generator/settings.hpp"

namespace tav {

struct WallpaperChoice {
  int32_t Width = 0, Height = 0;
  std::string Label;  // "WxH", with "-Your Desktop" when a monitor is exactly that size
};

// The six sizes in their order (Bright 1..6), then every monitor size not
// already listed, largest area first (the wider first on a tie), each once.
std::vector<WallpaperChoice> WallpaperSizeChoices(const std::vector<WallpaperSize>& monitors);

}  // namespace tav
