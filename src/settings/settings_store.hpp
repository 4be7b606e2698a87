#pragma once
// Loading, defaulting and storing the settings under "\Software\Tavorensia\".
// Writes raise ERegistryException (settings/registry.hpp) as the store raises it.
// The loaders never stop half-way: a damaged key (a value missing, unreadable
// or of another type) leaves every value that reads in place and puts the
// mode's first-run default in each one that does not, writes nothing, and
// hands back the error of the first bad value for the caller to report once
// its start is done. A key that cannot be opened is skipped silently.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "settings/registry.hpp"
#include "generator/settings.hpp"
#include "generator/random.hpp"

namespace tav {

inline constexpr const char* kSettingsKey = "\\Software\\Tavorensia\\";

// The full-screen mode's first-run values, Path_Wall and Wall_Size aside.
void SetFullScreenDefaults(Settings& s);

// Full-screen start: read all eight values, write the first-run defaults when
// Fast, Bright, Satiation and Picture are all 0, then (Rands = 1) draw
// Picture, Blur and Color from rng, which the caller has seeded. Fast,
// Satiation, Picture and Blur are clamped to 0..100 in memory, so
// hand-edited values never reach the generator. The options of this run
// come last: Rands decides the draws, and each value given replaces the
// stored or drawn one; none of them is written.
[[nodiscard]] std::optional<ERegistryException> LoadFullScreenSettings(Settings& s, RandomGenerator& rng,
                                                                       const SettingsOverrides& options = {});

// Full-screen start inside a screen-saver host's window: the host's settings
// tool leaves out every option at its default, so the first-run defaults
// stand in for the hive, which is neither read nor written; then the draws
// and the options as above.
void LoadHostedSettings(Settings& s, RandomGenerator& rng, const SettingsOverrides& options);

// Settings-window start: as above with the window's first-run test (Path_Wall
// empty too) and defaults; Bright of a first run comes from screenWidth.
// Nothing is clamped here: the window's sliders confine the values.
// Its defaults for a damaged key: Satiation 100, Color 0, Bright from the width.
[[nodiscard]] std::optional<ERegistryException> LoadSettingsWindowSettings(Settings& s, RandomGenerator& rng,
                                                                           int screenWidth);

// The random draws of a full-screen start (Rands = 1: Picture, Blur and
// Color from rng), then this run's options on top: a value given as an
// option wins over its draw. tavorensia-render starts from the defaults.
void DrawAndOverride(Settings& s, RandomGenerator& rng, const SettingsOverrides& options);

// Bright of a first run of the settings window: 640 -> 1, 800 -> 2,
// 1024 -> 3, 1152 -> 4, 1280 -> 5, 1600 -> 6, any other width -> 0.
int32_t BrightForScreenWidth(int screenWidth);

// Fast, Satiation, Picture and Blur confined to 0..100.
void ClampForGenerator(Settings& s);

// "Save Settings": the seven integers, then Wall_Size; not Path_Wall.
void SaveSettings(const Settings& s);

// The save-wallpaper dialog's folder: Path_Wall as stored ("" when the key
// is missing). LoadWallpaperPath leaves pathWall as it is when the key
// cannot be opened.
std::string ReadWallpaperPath();
void LoadWallpaperPath(std::string& pathWall);
void WriteWallpaperPath(const std::string& path);

// The save dialog's remembered choices: Wall_Type ("bmp" or "png") and
// Wall_Background (1: set a saved wallpaper as the desktop background).
// Missing values read as these defaults.
struct WallpaperSaveChoices {
  std::string Type = "bmp";
  bool SetBackground = false;
  friend bool operator==(const WallpaperSaveChoices&, const WallpaperSaveChoices&) = default;
};
WallpaperSaveChoices ReadWallpaperSaveChoices();
// Whether the hive holds both values (rather than reading as the defaults).
bool WallpaperSaveChoicesStored();
void WriteWallpaperSaveChoices(const WallpaperSaveChoices& choices);

// Stands for "C:\Windows" as the default wallpaper folder: XDG_PICTURES_DIR
// from user-dirs.dirs, else ~/Pictures when it exists, else the home folder.
std::string DefaultPicturesFolder();

}  // namespace tav
