#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/command_line.hpp"
#include "settings/registry.hpp"
#include "settings/settings_store.hpp"
#include "temp_config.hpp"

namespace {

namespace fs = std::filesystem;
using tav::Settings;
using tavtest::ReadFile;
using tavtest::TempConfig;

enum class Start { FullScreen, SettingsWindow };

// The eight values as a hive would hold them; Path_Wall absent when nullopt.
struct Stored {
  int32_t Fast, Bright, Satiation, Picture, Blur, Color, Rands;
  std::optional<std::string> Path_Wall;
};

void Store(const Stored& v) {
  tav::Registry reg;
  ASSERT_TRUE(reg.OpenKey(tav::kSettingsKey, true));
  reg.WriteInteger("Fast", v.Fast);
  reg.WriteInteger("Bright", v.Bright);
  reg.WriteInteger("Satiation", v.Satiation);
  reg.WriteInteger("Picture", v.Picture);
  reg.WriteInteger("Blur", v.Blur);
  reg.WriteInteger("Color", v.Color);
  reg.WriteInteger("Rands", v.Rands);
  if (v.Path_Wall) reg.WriteString("Path_Wall", *v.Path_Wall);
}

Settings ReadBack() {
  Settings s;
  tav::Registry reg;
  if (!reg.OpenKey(tav::kSettingsKey, false)) return s;
  s.Fast = reg.ReadInteger("Fast");
  s.Bright = reg.ReadInteger("Bright");
  s.Satiation = reg.ReadInteger("Satiation");
  s.Picture = reg.ReadInteger("Picture");
  s.Blur = reg.ReadInteger("Blur");
  s.Color = reg.ReadInteger("Color");
  s.Rands = reg.ReadInteger("Rands");
  s.Path_Wall = reg.ReadString("Path_Wall");
  return s;
}

std::string Show(const Settings& s) {
  return "Fast " + std::to_string(s.Fast) + " Bright " + std::to_string(s.Bright) + " Satiation " +
         std::to_string(s.Satiation) + " Picture " + std::to_string(s.Picture) + " Blur " +
         std::to_string(s.Blur) + " Color " + std::to_string(s.Color) + " Rands " +
         std::to_string(s.Rands) + " Path_Wall '" + s.Path_Wall + "'";
}

constexpr const char* kPictures = "(pictures)";  // stands for DefaultPicturesFolder()

Settings Expect(int32_t fast, int32_t bright, int32_t sat, int32_t pic, int32_t blur, int32_t color,
                int32_t rands, std::string path) {
  return Settings{fast, bright, sat, pic, blur, color, rands, std::move(path)};
}

TEST(SettingsStore, LoadingAtEachStart) {
  constexpr uint32_t kSeed = 12345;
  const struct {
    const char* what;
    Start start;
    int width;
    std::optional<Stored> stored;
    Settings afterInStore;  // what the hive holds afterwards
    Settings inMemory;      // Picture/Blur/Color of -1: the draws of a seeded generator
    bool firstRun = true;   // the defaults were written
  } cases[] = {
      {"first full-screen run", Start::FullScreen, 1024, std::nullopt,
       Expect(20, 2, 80, 25, 0, 5, 1, kPictures), Expect(20, 2, 80, -1, -1, -1, 1, kPictures)},
      {"first settings-window run", Start::SettingsWindow, 1024, std::nullopt,
       Expect(20, 3, 100, 25, 0, 0, 1, kPictures), Expect(20, 3, 100, -1, -1, -1, 1, kPictures)},
      {"first settings-window run on 1366 pixels", Start::SettingsWindow, 1366, std::nullopt,
       Expect(20, 0, 100, 25, 0, 0, 1, kPictures), Expect(20, 0, 100, -1, -1, -1, 1, kPictures)},
      {"four zeros in full screen: defaults, stored folder kept", Start::FullScreen, 800,
       Stored{0, 0, 0, 0, 7, 3, 0, "/walls"},
       Expect(20, 2, 80, 25, 0, 5, 1, "/walls"), Expect(20, 2, 80, -1, -1, -1, 1, "/walls")},
      {"four zeros in the settings window with a folder: not a first run", Start::SettingsWindow, 800,
       Stored{0, 0, 0, 0, 7, 3, 0, "/walls"},
       Expect(0, 0, 0, 0, 7, 3, 0, "/walls"), Expect(0, 0, 0, 0, 7, 3, 0, "/walls"), false},
      {"four zeros in the settings window without a folder", Start::SettingsWindow, 1600,
       Stored{0, 0, 0, 0, 7, 3, 0, std::nullopt},
       Expect(20, 6, 100, 25, 0, 0, 1, kPictures), Expect(20, 6, 100, -1, -1, -1, 1, kPictures)},
      {"stored set, no random", Start::FullScreen, 800, Stored{30, 4, 50, 60, 70, 8, 0, "/w"},
       Expect(30, 4, 50, 60, 70, 8, 0, "/w"), Expect(30, 4, 50, 60, 70, 8, 0, "/w"), false},
      {"stored set, random in full screen", Start::FullScreen, 800, Stored{30, 4, 50, 100, 100, 10, 1, "/w"},
       Expect(30, 4, 50, 100, 100, 10, 1, "/w"), Expect(30, 4, 50, -1, -1, -1, 1, "/w"), false},
      {"stored set, random in the settings window", Start::SettingsWindow, 800,
       Stored{30, 4, 50, 100, 100, 10, 1, "/w"},
       Expect(30, 4, 50, 100, 100, 10, 1, "/w"), Expect(30, 4, 50, -1, -1, -1, 1, "/w"), false},
      {"hand-edited values clamped in full screen only", Start::FullScreen, 800,
       Stored{500, 9, 250, -3, 101, 42, 0, "/w"},
       Expect(500, 9, 250, -3, 101, 42, 0, "/w"), Expect(100, 9, 100, 0, 100, 42, 0, "/w"), false},
      {"hand-edited values left to the sliders", Start::SettingsWindow, 800,
       Stored{500, 9, 250, -3, 101, 42, 0, "/w"},
       Expect(500, 9, 250, -3, 101, 42, 0, "/w"), Expect(500, 9, 250, -3, 101, 42, 0, "/w"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempConfig cfg;
    const std::string pictures = tav::DefaultPicturesFolder();
    auto resolve = [&](Settings s) {
      if (s.Path_Wall == kPictures) s.Path_Wall = pictures;
      return s;
    };
    if (c.stored) Store(*c.stored);
    const std::string before = fs::exists(cfg.hive()) ? ReadFile(cfg.hive()) : "";

    Settings s;
    tav::RandomGenerator rng(kSeed);
    const auto error = c.start == Start::FullScreen ? tav::LoadFullScreenSettings(s, rng)
                                                    : tav::LoadSettingsWindowSettings(s, rng, c.width);
    EXPECT_FALSE(error.has_value());

    Settings want = resolve(c.inMemory);
    if (want.Picture == -1) {
      tav::RandomGenerator same(kSeed);
      want.Picture = same.Random(100);
      want.Blur = same.Random(100);
      want.Color = same.Random(c.start == Start::FullScreen ? 10 : 5);
    }
    EXPECT_EQ(Show(s), Show(want));
    EXPECT_EQ(Show(ReadBack()), Show(resolve(c.afterInStore)));
    if (!c.firstRun) {
      EXPECT_EQ(ReadFile(cfg.hive()), before);  // nothing rewritten
    }
  }
}

// The full-screen mode's options on a command line, through the load they
// feed: what the run uses, what the hive keeps, and the error (exit status 2)
// of a bad one. Picture/Blur/Color of -1: the draws of a seeded generator.
TEST(SettingsStore, CommandLineOptionsOverrideForOneRun) {
  constexpr uint32_t kSeed = 777;
  const Stored stored{30, 4, 50, 60, 70, 8, 0, "/w"};
  enum Load { Hive, FirstRun, Host };
  const struct {
    std::vector<const char*> args;  // after the program name
    Load load;
    Settings want;                  // in memory (Bright and Path_Wall as loaded)
    std::optional<uint32_t> window = std::nullopt;
    const char* error = nullptr;    // start of the one-line error
  } cases[] = {
      {{"/s"}, Hive, Expect(30, 4, 50, 60, 70, 8, 0, "/w")},
      {{"/s", "--speed", "0", "--detail", "100", "--vanguard", "100", "--picture", "0", "--color", "10"},
       Hive, Expect(0, 4, 100, 0, 100, 10, 0, "/w")},
      {{"/s", "--color", "0", "--speed", "100", "--detail", "0"}, Hive, Expect(100, 4, 0, 60, 70, 0, 0, "/w")},
      {{"/s", "--speed", "007"}, Hive, Expect(7, 4, 50, 60, 70, 8, 0, "/w")},
      {{"/s", "--speed", "1", "--speed", "2"}, Hive, Expect(2, 4, 50, 60, 70, 8, 0, "/w")},
      {{"/s", "--random"}, Hive, Expect(30, 4, 50, -1, -1, -1, 1, "/w")},
      {{"/s", "--picture", "3", "--random", "--color", "0"}, Hive, Expect(30, 4, 50, 3, -1, 0, 1, "/w")},
      {{"/s", "--random", "--no-random"}, Hive, Expect(30, 4, 50, 60, 70, 8, 0, "/w")},
      {{"/s", "junk", "--detail", "9", "-speed", "5"}, Hive, Expect(30, 4, 9, 60, 70, 8, 0, "/w")},
      {{"--root", "--window-id", "0x10", "--speed", "7"}, Hive, Expect(7, 4, 50, 60, 70, 8, 0, "/w"), 0x10u},
      {{"--root", "--speed", "7", "--window-id", "16"}, Hive, Expect(7, 4, 50, 60, 70, 8, 0, "/w"), 0x10u},
      {{"--root", "--speed", "7", "--window-id"}, Hive, Expect(7, 4, 50, 60, 70, 8, 0, "/w"), 0u},
      {{"--speed", "7"}, Hive, Expect(30, 4, 50, 60, 70, 8, 0, "/w")},  // the switch itself is no option
      {{"/s", "--detail", "10", "--no-random"}, FirstRun, Expect(20, 2, 10, 25, 0, 5, 0, kPictures)},
      {{"/s", "--speed", "90"}, FirstRun, Expect(90, 2, 80, -1, -1, -1, 1, kPictures)},
      {{"--root", "--detail", "0", "--color", "3"}, Host, Expect(20, 2, 0, -1, -1, 3, 1, "/w")},
      {{"--root", "--no-random"}, Host, Expect(20, 2, 80, 25, 0, 5, 0, "/w")},
      {{"/s", "--speed"}, Hive, {}, std::nullopt, "--speed needs a whole number from 0 to 100"},
      {{"/s", "--speed", "101"}, Hive, {}, std::nullopt, "--speed needs a whole number from 0 to 100"},
      {{"/s", "--detail", "-1"}, Hive, {}, std::nullopt, "--detail needs a whole number from 0 to 100"},
      {{"/s", "--vanguard", "1.5"}, Hive, {}, std::nullopt, "--vanguard needs a whole number from 0 to 100"},
      {{"/s", "--picture", ""}, Hive, {}, std::nullopt, "--picture needs a whole number from 0 to 100"},
      {{"/s", "--color", "11"}, Hive, {}, std::nullopt, "--color needs a whole number from 0 to 10"},
      {{"/s", "--color", "+3"}, Hive, {}, std::nullopt, "--color needs a whole number from 0 to 10"},
      {{"/s", "--color", "99999999999"}, Hive, {}, std::nullopt, "--color needs a whole number from 0 to 10"},
      {{"/s", "--speed", "--detail", "5"}, Hive, {}, std::nullopt, "--speed needs a whole number from 0 to 100"},
      {{"--root", "--window-id", "0x10", "--detail", "x"}, Hive, {}, std::nullopt,
       "--detail needs a whole number from 0 to 100"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"tavorensia"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string line;
    for (const char* a : c.args) line += std::string(a) + " ";
    SCOPED_TRACE(line);
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    const tav::FullScreenOptions options = tav::ParseFullScreenOptions(argc, argv.data());
    if (c.error) {
      EXPECT_TRUE(options.error.starts_with(c.error)) << options.error;
      EXPECT_EQ(options.error.find('\n'), std::string::npos);
      continue;
    }
    EXPECT_EQ(options.error, "");
    EXPECT_EQ(options.windowId, c.window);

    TempConfig cfg;
    if (c.load != FirstRun) Store(stored);
    const std::string before = ReadFile(cfg.hive());
    Settings s;
    if (c.load == Host) s.Path_Wall = "/w";  // a hosted run leaves it as it was
    tav::RandomGenerator rng(kSeed);
    if (c.load == Host) tav::LoadHostedSettings(s, rng, options.settings);
    else EXPECT_FALSE(tav::LoadFullScreenSettings(s, rng, options.settings));  // a sound hive

    Settings want = c.want;
    if (want.Path_Wall == kPictures) want.Path_Wall = tav::DefaultPicturesFolder();
    tav::RandomGenerator same(kSeed);
    if (want.Rands == 1) {  // drawn in this order whatever the options replace
      const int32_t picture = same.Random(100), blur = same.Random(100), color = same.Random(10);
      if (want.Picture == -1) want.Picture = picture;
      if (want.Blur == -1) want.Blur = blur;
      if (want.Color == -1) want.Color = color;
    }
    EXPECT_EQ(Show(s), Show(want));
    if (c.load == FirstRun) {  // the defaults are stored, never the options
      EXPECT_EQ(Show(ReadBack()), Show(Expect(20, 2, 80, 25, 0, 5, 1, want.Path_Wall)));
    } else {
      EXPECT_EQ(ReadFile(cfg.hive()), before);
    }
  }
}

TEST(SettingsStore, RandomValuesStayInTheirRanges) {
  TempConfig cfg;
  Store(Stored{30, 4, 50, 60, 70, 8, 1, "/w"});
  int maxColorFull = 0, maxColorWindow = 0, maxPicture = 0;
  for (uint32_t seed = 0; seed < 400; ++seed) {
    Settings full, window;
    tav::RandomGenerator a(seed * 2654435761u), b(seed * 2654435761u);
    EXPECT_FALSE(tav::LoadFullScreenSettings(full, a));
    EXPECT_FALSE(tav::LoadSettingsWindowSettings(window, b, 800));
    for (const Settings* s : {&full, &window}) {
      EXPECT_GE(s->Picture, 0);
      EXPECT_LE(s->Picture, 99);
      EXPECT_GE(s->Blur, 0);
      EXPECT_LE(s->Blur, 99);
      EXPECT_GE(s->Color, 0);
      maxPicture = std::max({maxPicture, s->Picture, s->Blur});
    }
    maxColorFull = std::max(maxColorFull, full.Color);
    maxColorWindow = std::max(maxColorWindow, window.Color);
  }
  EXPECT_EQ(maxColorFull, 9);
  EXPECT_EQ(maxColorWindow, 4);
  EXPECT_EQ(maxPicture, 99);
}

// A damaged key: the first bad value is reported, every value that reads is
// used, each one that does not gets the mode's first-run default, the usual
// clamping applies, and the file is left exactly as it was.
TEST(SettingsStore, DamagedKeysUseWhatReadsAndDefaultsForTheRest) {
  constexpr uint32_t kSeed = 99;
  // The stored set: Fast 500 (out of range), Bright 4, Satiation 50, Picture
  // 60, Blur 70, Color 8, Rands 0, Path_Wall "/w". Each case replaces lines.
  const std::vector<std::pair<std::string, std::string>> good = {
      {"Fast", "dword:000001f4"}, {"Bright", "dword:4"}, {"Satiation", "dword:32"}, {"Picture", "dword:3c"},
      {"Blur", "dword:46"},       {"Color", "dword:8"},  {"Rands", "dword:0"},      {"Path_Wall", "\"/w\""}};
  const struct {
    const char* what;
    std::map<std::string, std::string> changed;  // "" removes the value
    std::string message;
    Settings fullScreen, window;  // Picture/Blur/Color of -1: random draws
  } cases[] = {
      {"only Fast and Bright (a write cut short)",
       {{"Satiation", ""}, {"Picture", ""}, {"Blur", ""}, {"Color", ""}, {"Rands", ""}, {"Path_Wall", ""}},
       "Failed to get data for 'Satiation'", Expect(100, 4, 80, -1, -1, -1, 1, kPictures),
       Expect(500, 4, 100, -1, -1, -1, 1, kPictures)},
      {"Picture as a string", {{"Picture", "\"5\""}}, "Invalid data type for 'Picture'",
       Expect(100, 4, 50, 25, 70, 8, 0, "/w"), Expect(500, 4, 50, 25, 70, 8, 0, "/w")},
      {"Color as binary data", {{"Color", "hex:01,00,00,00"}}, "Invalid data type for 'Color'",
       Expect(100, 4, 50, 60, 70, 5, 0, "/w"), Expect(500, 4, 50, 60, 70, 0, 0, "/w")},
      {"Fast unreadable (a dword of two bytes)", {{"Fast", "hex(4):14,00"}}, "Failed to get data for 'Fast'",
       Expect(20, 4, 50, 60, 70, 8, 0, "/w"), Expect(20, 4, 50, 60, 70, 8, 0, "/w")},
      {"Satiation missing", {{"Satiation", ""}}, "Failed to get data for 'Satiation'",
       Expect(100, 4, 80, 60, 70, 8, 0, "/w"), Expect(500, 4, 100, 60, 70, 8, 0, "/w")},
      {"Blur missing and Rands a string: the first is reported", {{"Blur", ""}, {"Rands", "\"0\""}},
       "Failed to get data for 'Blur'", Expect(100, 4, 50, -1, -1, -1, 1, "/w"),
       Expect(500, 4, 50, -1, -1, -1, 1, "/w")},
      {"Path_Wall as a number", {{"Path_Wall", "dword:1"}}, "Invalid data type for 'Path_Wall'",
       Expect(100, 4, 50, 60, 70, 8, 0, kPictures), Expect(500, 4, 50, 60, 70, 8, 0, kPictures)},
      {"four zeros beside a damaged value: still no first run",
       {{"Fast", "dword:0"}, {"Bright", "dword:0"}, {"Satiation", "dword:0"}, {"Picture", "dword:0"},
        {"Color", "\"x\""}},
       "Invalid data type for 'Color'", Expect(0, 0, 0, 0, 70, 5, 0, "/w"), Expect(0, 0, 0, 0, 70, 0, 0, "/w")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempConfig cfg;
    std::string hive = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\n";
    for (const auto& [name, data] : good) {
      const auto it = c.changed.find(name);
      const std::string value = it == c.changed.end() ? data : it->second;
      if (!value.empty()) hive += "\"" + name + "\"=" + value + "\n";
    }
    cfg.WriteHive(hive);
    const std::string pictures = tav::DefaultPicturesFolder();
    for (const Start start : {Start::FullScreen, Start::SettingsWindow}) {
      SCOPED_TRACE(start == Start::FullScreen ? "full screen" : "settings window");
      Settings s{77, 77, 77, 77, 77, 77, 77, "old"};
      tav::RandomGenerator rng(kSeed);
      const auto error = start == Start::FullScreen ? tav::LoadFullScreenSettings(s, rng)
                                                    : tav::LoadSettingsWindowSettings(s, rng, 1024);
      ASSERT_TRUE(error.has_value());
      EXPECT_EQ(error->what(), c.message);
      Settings want = start == Start::FullScreen ? c.fullScreen : c.window;
      if (want.Path_Wall == kPictures) want.Path_Wall = pictures;
      if (want.Picture == -1) {
        tav::RandomGenerator same(kSeed);
        want.Picture = same.Random(100);
        want.Blur = same.Random(100);
        want.Color = same.Random(start == Start::FullScreen ? 10 : 5);
      }
      EXPECT_EQ(Show(s), Show(want));
      EXPECT_EQ(ReadFile(cfg.hive()), hive);  // nothing written
    }
    EXPECT_FALSE(fs::exists(cfg.folder() / "registry.reg.damaged"));
  }
}

// A value line cut short is left out: the key is there without it, which
// is a damaged key (reported, defaults in its place), not a first run, and
// the file stays as the user left it.
TEST(SettingsStore, ValueLineCutShortIsADamagedKey) {
  TempConfig cfg;
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\n\"Fast\"=dwo";
  cfg.WriteHive(text);
  Settings s;
  tav::RandomGenerator rng(3);
  EXPECT_TRUE(tav::LoadFullScreenSettings(s, rng));
  EXPECT_EQ(s.Fast, 20);
  EXPECT_EQ(ReadFile(cfg.folder() / "registry.reg"), text);
}

TEST(SettingsStore, SavingAndTheWallpaperFolder) {
  TempConfig cfg;
  std::string path = "kept";
  tav::LoadWallpaperPath(path);  // no key: the value in memory stays
  EXPECT_EQ(path, "kept");
  EXPECT_EQ(tav::ReadWallpaperPath(), "");
  tav::SaveSettings(Settings{1, 2, 3, 4, 5, 6, 0, "not written"});
  EXPECT_EQ(Show(ReadBack()), Show(Expect(1, 2, 3, 4, 5, 6, 0, "")));
  tav::WriteWallpaperPath("/home/u/My \"walls\"\\");
  tav::SaveSettings(Settings{9, 9, 9, 9, 9, 9, 1, "still not written"});
  EXPECT_EQ(tav::ReadWallpaperPath(), "/home/u/My \"walls\"\\");
  tav::LoadWallpaperPath(path);
  EXPECT_EQ(path, "/home/u/My \"walls\"\\");
  EXPECT_EQ(ReadBack().Rands, 1);
}

TEST(SettingsStore, PicturesFolder) {
  const struct {
    const char* what;
    std::optional<std::string> userDirs;
    bool picturesExists;
    std::string want;  // "~" stands for the home folder
  } cases[] = {
      {"home-relative", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", false, "~/Bilder"},
      {"braced", "XDG_PICTURES_DIR=\"${HOME}/Fotos\"\n", true, "~/Fotos"},
      {"absolute", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"/srv/pics\"\n", true, "/srv/pics"},
      {"escaped quote", "XDG_PICTURES_DIR=\"$HOME/My \\\"P\\\"\"\n", false, "~/My \"P\""},
      {"commented out", "#XDG_PICTURES_DIR=\"/srv/pics\"\n", true, "~/Pictures"},
      {"relative: ignored", "XDG_PICTURES_DIR=\"pics\"\n", false, "~"},
      {"$HOMEX is not $HOME", "XDG_PICTURES_DIR=\"$HOMEX/p\"\n", false, "~"},
      {"no file, Pictures present", std::nullopt, true, "~/Pictures"},
      {"no file, no Pictures", std::nullopt, false, "~"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempConfig cfg;
    if (c.userDirs) {
      fs::create_directories(cfg.config());
      std::ofstream(cfg.config() / "user-dirs.dirs") << *c.userDirs;
    }
    if (c.picturesExists) fs::create_directories(cfg.home() / "Pictures");
    std::string want = c.want;
    if (want.starts_with("~")) want = cfg.home().string() + want.substr(1);
    EXPECT_EQ(tav::DefaultPicturesFolder(), want);
  }
}

}  // namespace
