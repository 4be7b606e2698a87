#include "settings/settings_store.hpp"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>

#include "settings/registry.hpp"

namespace tav {
namespace fs = std::filesystem;

namespace {

// Reads the eight values in their fixed order, then Wall_Size. A value that does not read
// (missing, unreadable, stored with another type) is marked in `unread` and
// the reading goes on; the first such error is kept to be reported.
struct ReadOutcome {
  std::array<bool, 9> unread{};  // Fast, Bright, Satiation, Picture, Blur, Color, Rands, Path_Wall, Wall_Size
  std::optional<ERegistryException> error;
};

ReadOutcome ReadAll(Settings& s) {
  ReadOutcome out;
  Registry reg;
  if (!reg.OpenKey(kSettingsKey, false)) return out;
  const auto read = [&](size_t slot, auto&& f) {
    try {
      f();
    } catch (const ERegistryException& e) {
      out.unread[slot] = true;
      if (!out.error) out.error = e;
    }
  };
  read(0, [&] { s.Fast = reg.ReadInteger("Fast"); });
  read(1, [&] { s.Bright = reg.ReadInteger("Bright"); });
  read(2, [&] { s.Satiation = reg.ReadInteger("Satiation"); });
  read(3, [&] { s.Picture = reg.ReadInteger("Picture"); });
  read(4, [&] { s.Blur = reg.ReadInteger("Blur"); });
  read(5, [&] { s.Color = reg.ReadInteger("Color"); });
  read(6, [&] { s.Rands = reg.ReadInteger("Rands"); });
  read(7, [&] { s.Path_Wall = reg.ReadString("Path_Wall"); });
  read(8, [&] { s.Wall_Size = reg.ReadString("Wall_Size"); });
  return out;
}

// The first-run values, in memory, for the values of a damaged key that did
// not read. A missing Path_Wall reads as "" without an error, but in a key
// cut short it is as lost as the rest: an empty one gets its default too.
void PutDefaults(Settings& s, const Settings& defaults, std::array<bool, 9> which) {
  which[7] = which[7] || s.Path_Wall.empty();
  if (which[0]) s.Fast = defaults.Fast;
  if (which[1]) s.Bright = defaults.Bright;
  if (which[2]) s.Satiation = defaults.Satiation;
  if (which[3]) s.Picture = defaults.Picture;
  if (which[4]) s.Blur = defaults.Blur;
  if (which[5]) s.Color = defaults.Color;
  if (which[6]) s.Rands = defaults.Rands;
  if (which[7]) s.Path_Wall = defaults.Path_Wall;
  if (which[8]) s.Wall_Size = defaults.Wall_Size;
}

void WriteValues(Registry& reg, const Settings& s, bool withPath) {
  reg.WriteInteger("Fast", s.Fast);
  reg.WriteInteger("Bright", s.Bright);
  reg.WriteInteger("Satiation", s.Satiation);
  reg.WriteInteger("Picture", s.Picture);
  reg.WriteInteger("Blur", s.Blur);
  reg.WriteInteger("Color", s.Color);
  reg.WriteInteger("Rands", s.Rands);
  if (withPath) reg.WriteString("Path_Wall", s.Path_Wall);
}

// Opens the key for writing; a key that cannot be made raises, naming the
// file and the reason.
void OpenForWriting(Registry& reg) {
  if (!reg.OpenKey(kSettingsKey, true)) throw ERegistryException("Cannot save the settings: " + reg.WriteError());
}

// A first run's defaults: a key that cannot be made is skipped, so that a
// hive that cannot be written does not keep the program from starting.
void WriteAll(const Settings& s, bool withPath) {
  Registry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
  WriteValues(reg, s, withPath);
}

bool NoSettingsYet(const Settings& s) {
  return s.Fast == 0 && s.Bright == 0 && s.Satiation == 0 && s.Picture == 0;
}

std::string Home() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

// XDG_PICTURES_DIR from user-dirs.dirs: "$HOME/..." or an absolute path,
// as xdg-user-dirs writes it; anything else is ignored.
std::string PicturesFromUserDirs(const std::string& home) {
  fs::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') config = xdg;
  else config = fs::path(home) / ".config";
  std::ifstream in(config / "user-dirs.dirs");
  std::string line, found;
  while (std::getline(in, line)) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    std::string_view rest = std::string_view(line).substr(start);
    if (!rest.starts_with("XDG_PICTURES_DIR")) continue;
    rest.remove_prefix(16);
    rest = rest.substr(std::min(rest.find_first_not_of(" \t"), rest.size()));
    if (!rest.starts_with('=')) continue;
    rest.remove_prefix(1);
    rest = rest.substr(std::min(rest.find_first_not_of(" \t"), rest.size()));
    if (!rest.starts_with('"')) continue;
    std::string value;
    bool closed = false;
    for (std::size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] == '\\' && i + 1 < rest.size()) {
        value += rest[++i];
      } else if (rest[i] == '"') {
        closed = true;
        break;
      } else {
        value += rest[i];
      }
    }
    if (!closed) continue;
    for (const std::string_view var : {"$HOME", "${HOME}"}) {
      if (value.starts_with(var) && (value.size() == var.size() || value[var.size()] == '/')) {
        value = home + value.substr(var.size());
        break;
      }
    }
    if (!value.empty() && value.front() == '/') found = value;  // the last setting counts
  }
  return found;
}

}  // namespace

void SetFullScreenDefaults(Settings& s) {
  s.Fast = 20;
  s.Bright = 2;
  s.Satiation = 80;
  s.Picture = 25;
  s.Blur = 0;
  s.Color = 5;
  s.Rands = 1;
}

void DrawAndOverride(Settings& s, RandomGenerator& rng, const SettingsOverrides& o) {
  s.Rands = o.Rands.value_or(s.Rands);
  if (s.Rands == 1) {
    s.Picture = rng.Random(100);
    s.Blur = rng.Random(100);
    s.Color = rng.Random(10);
  }
  s.Fast = o.Fast.value_or(s.Fast);
  s.Satiation = o.Satiation.value_or(s.Satiation);
  s.Picture = o.Picture.value_or(s.Picture);
  s.Blur = o.Blur.value_or(s.Blur);
  s.Color = o.Color.value_or(s.Color);
}

int32_t BrightForScreenWidth(int screenWidth) {
  switch (screenWidth) {
    case 640: return 1;
    case 800: return 2;
    case 1024: return 3;
    case 1152: return 4;
    case 1280: return 5;
    case 1600: return 6;
    default: return 0;
  }
}

void ClampForGenerator(Settings& s) {
  for (int32_t* v : {&s.Fast, &s.Satiation, &s.Picture, &s.Blur}) *v = std::clamp(*v, 0, 100);
}

std::optional<ERegistryException> LoadFullScreenSettings(Settings& s, RandomGenerator& rng,
                                                         const SettingsOverrides& options) {
  const ReadOutcome read = ReadAll(s);
  if (read.error) {
    // A damaged key is no first run: defaults stand in for what did not
    // read, and the file stays as the user left it.
    PutDefaults(s, Settings{20, 2, 80, 25, 0, 5, 1, DefaultPicturesFolder()}, read.unread);
  } else if (NoSettingsYet(s)) {
    SetFullScreenDefaults(s);
    if (s.Path_Wall.empty()) s.Path_Wall = DefaultPicturesFolder();
    WriteAll(s, true);
  }
  DrawAndOverride(s, rng, options);
  ClampForGenerator(s);
  return read.error;
}

void LoadHostedSettings(Settings& s, RandomGenerator& rng, const SettingsOverrides& options) {
  SetFullScreenDefaults(s);
  DrawAndOverride(s, rng, options);
  ClampForGenerator(s);
}

std::optional<ERegistryException> LoadSettingsWindowSettings(Settings& s, RandomGenerator& rng, int screenWidth) {
  const ReadOutcome read = ReadAll(s);
  const Settings defaults{20, BrightForScreenWidth(screenWidth), 100, 25, 0, 0, 1, DefaultPicturesFolder()};
  if (read.error) {
    PutDefaults(s, defaults, read.unread);  // as in full screen: nothing written
  } else if (NoSettingsYet(s) && s.Path_Wall.empty()) {
    const std::string wallSize = s.Wall_Size;
    s = defaults;
    s.Wall_Size = wallSize;
    WriteAll(s, true);
  }
  if (s.Rands == 1) {
    s.Picture = rng.Random(100);
    s.Blur = rng.Random(100);
    s.Color = rng.Random(5);
  }
  return read.error;
}

void SaveSettings(const Settings& s) {
  Registry reg;
  OpenForWriting(reg);
  WriteValues(reg, s, false);
  // After the seven that every version knows; older ones keep it untouched.
  reg.WriteString("Wall_Size", s.Wall_Size);
}

std::string ReadWallpaperPath() {
  std::string path;
  LoadWallpaperPath(path);
  return path;
}

void LoadWallpaperPath(std::string& pathWall) {
  Registry reg;
  if (reg.OpenKey(kSettingsKey, false)) pathWall = reg.ReadString("Path_Wall");
}

void WriteWallpaperPath(const std::string& path) {
  Registry reg;
  OpenForWriting(reg);
  reg.WriteString("Path_Wall", path);
}

WallpaperSaveChoices ReadWallpaperSaveChoices() {
  WallpaperSaveChoices c;
  Registry reg;
  if (!reg.OpenKey(kSettingsKey, false)) return c;
  if (reg.ReadString("Wall_Type") == "png") c.Type = "png";
  if (reg.ValueExists("Wall_Background")) c.SetBackground = reg.ReadInteger("Wall_Background") == 1;
  return c;
}

bool WallpaperSaveChoicesStored() {
  Registry reg;
  return reg.OpenKey(kSettingsKey, false) && reg.ValueExists("Wall_Type") && reg.ValueExists("Wall_Background");
}

void WriteWallpaperSaveChoices(const WallpaperSaveChoices& choices) {
  Registry reg;
  OpenForWriting(reg);
  reg.WriteString("Wall_Type", choices.Type);
  reg.WriteInteger("Wall_Background", choices.SetBackground ? 1 : 0);
}

std::string DefaultPicturesFolder() {
  const std::string home = Home();
  if (std::string p = PicturesFromUserDirs(home); !p.empty()) return p;
  std::error_code ec;
  const fs::path pictures = fs::path(home) / "Pictures";
  if (fs::is_directory(pictures, ec)) return pictures.string();
  return home;
}

}  // namespace tav
