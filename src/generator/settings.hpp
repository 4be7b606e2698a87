#pragma once
// The user's settings: one record per process, read by the mode that needs
// them and written back by the settings window.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tav {

struct Settings {
  int32_t Fast = 0;       // speed of the animation, 0..100
  int32_t Bright = 0;     // wallpaper size index, 1..6
  int32_t Satiation = 0;  // level of detail, 0..100
  int32_t Picture = 0;    // picture variant, 0..100
  int32_t Blur = 0;       // modulation strength, 0..100
  int32_t Color = 0;      // colour mode, 0..10
  int32_t Rands = 0;      // 1 = random Picture, Blur and Color at each start
  std::string Path_Wall;  // folder offered for saving wallpapers
  // A monitor's wallpaper size "WxH" chosen beyond the six, or "": then
  // Bright's size. Kept apart so that Bright keeps meaning one of the six.
  std::string Wall_Size = {};
};

// Values given for one run (the full-screen mode's command-line options):
// each one present replaces the stored value and is never written back.
struct SettingsOverrides {
  std::optional<int32_t> Fast, Satiation, Picture, Blur, Color, Rands;
};

// Wallpaper sizes by Bright (1..6).
struct WallpaperSize {
  int32_t Width, Height;
};
inline constexpr std::array<WallpaperSize, 6> kWallpaperSizes{
    {{640, 480}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200}}};

}  // namespace tav
