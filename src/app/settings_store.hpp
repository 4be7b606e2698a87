#pragma once
// Loading, defaulting and storing the settings under "\Software\Tavorensia\".
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/settings.hpp"
#include "generator/random.hpp"

namespace tav {

// Full-screen start: read all eight values, write the first-run defaults when
// Fast, Bright, Satiation and Picture are all 0, then (Rands = 1) draw
// Picture, Blur and Color from rng, which the caller has seeded. Fast,
// Satiation, Picture and Blur are clamped to 0..100 in memory.
void LoadFullScreenSettings(Settings& s, TRandom& rng);

// Settings-window start: as above with the window's first-run test and
// defaults; Bright of a first run comes from screenWidth.
void LoadSettingsWindowSettings(Settings& s, TRandom& rng, int screenWidth);

// "Save Settings": the seven integers, not Path_Wall.
void SaveSettings(const Settings& s);

// The save-wallpaper dialog's folder.
std::string ReadWallpaperPath();
void WriteWallpaperPath(const std::string& path);

// Stands for "C:\Windows" as the default wallpaper folder: XDG_PICTURES_DIR,
// else ~/Pictures when it exists, else the home folder.
std::string DefaultPicturesFolder();

}  // namespace tav
