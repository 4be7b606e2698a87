#include "app/settings_store.hpp"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "app/registry.hpp"

namespace tav {
namespace fs = std::filesystem;

namespace {

// Reads the eight values in their fixed order, then Wall_Size; an error stops the reading
// with the values before it already taken.
void ReadAll(Settings& s) {
  Registry reg;
  if (!reg.OpenKey(kSettingsKey, false)) return;
  s.Fast = reg.ReadInteger("Fast");
  s.Bright = reg.ReadInteger("Bright");
  s.Satiation = reg.ReadInteger("Satiation");
  s.Picture = reg.ReadInteger("Picture");
  s.Blur = reg.ReadInteger("Blur");
  s.Color = reg.ReadInteger("Color");
  s.Rands = reg.ReadInteger("Rands");
  s.Path_Wall = reg.ReadString("Path_Wall");
  s.Wall_Size = reg.ReadString("Wall_Size");
}

void WriteAll(const Settings& s, bool withPath) {
  Registry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
  reg.WriteInteger("Fast", s.Fast);
  reg.WriteInteger("Bright", s.Bright);
  reg.WriteInteger("Satiation", s.Satiation);
  reg.WriteInteger("Picture", s.Picture);
  reg.WriteInteger("Blur", s.Blur);
  reg.WriteInteger("Color", s.Color);
  reg.WriteInteger("Rands", s.Rands);
  if (withPath) reg.WriteString("Path_Wall", s.Path_Wall);
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

void LoadFullScreenSettings(Settings& s, RandomGenerator& rng) {
  try {
    ReadAll(s);
    if (NoSettingsYet(s)) {
      s.Fast = 20;
      s.Bright = 2;
      s.Satiation = 80;
      s.Picture = 25;
      s.Blur = 0;
      s.Color = 5;
      s.Rands = 1;
      if (s.Path_Wall.empty()) s.Path_Wall = DefaultPicturesFolder();
      WriteAll(s, true);
    }
    if (s.Rands == 1) {
      s.Picture = rng.Random(100);
      s.Blur = rng.Random(100);
      s.Color = rng.Random(10);
    }
  } catch (...) {
    ClampForGenerator(s);
    throw;
  }
  ClampForGenerator(s);
}

void LoadSettingsWindowSettings(Settings& s, RandomGenerator& rng, int screenWidth) {
  ReadAll(s);
  if (NoSettingsYet(s) && s.Path_Wall.empty()) {
    s.Fast = 20;
    s.Satiation = 100;
    s.Picture = 25;
    s.Blur = 0;
    s.Color = 0;
    s.Rands = 1;
    s.Path_Wall = DefaultPicturesFolder();
    s.Bright = BrightForScreenWidth(screenWidth);
    WriteAll(s, true);
  }
  if (s.Rands == 1) {
    s.Picture = rng.Random(100);
    s.Blur = rng.Random(100);
    s.Color = rng.Random(5);
  }
}

void SaveSettings(const Settings& s) {
  WriteAll(s, false);
  // After the seven that every version knows; older ones keep it untouched.
  Registry reg;
  if (reg.OpenKey(kSettingsKey, true)) reg.WriteString("Wall_Size", s.Wall_Size);
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
  if (reg.OpenKey(kSettingsKey, true)) reg.WriteString("Path_Wall", path);
}

WallpaperSaveChoices ReadWallpaperSaveChoices() {
  WallpaperSaveChoices c;
  Registry reg;
  if (!reg.OpenKey(kSettingsKey, false)) return c;
  if (reg.ReadString("Wall_Type") == "png") c.Type = "png";
  if (reg.ValueExists("Wall_Background")) c.SetBackground = reg.ReadInteger("Wall_Background") == 1;
  return c;
}

void WriteWallpaperSaveChoices(const WallpaperSaveChoices& choices) {
  Registry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
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
