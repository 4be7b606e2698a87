#pragma once
// Reading the screen-saver switch and the window handle from the command line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "generator/settings.hpp"

namespace tav {

// The second character (a UTF-8 code point) of the first argument, with ASCII
// a..z upper-cased; none when there is no first argument or it is shorter
// than two characters. Bytes that are not well-formed UTF-8 count one by one,
// each as the character of its byte value.
std::optional<char32_t> ModeLetter(int argc, const char* const* argv);
std::optional<char32_t> ModeLetter(std::string_view firstArgument);

// A window id: leading blanks skipped, then decimal, or hexadecimal after
// "$", "x", "X", "0x" or "0X". Anything else, or a value above 32 bits, is 0.
uint32_t ParseWindowHandle(std::string_view text);

// The mode a switch starts: "C" settings window, "P" preview, "A" password
// change, anything else (or none) the full-screen screen saver.
enum class Mode { FullScreen, Settings, Preview, ChangePassword };
Mode ModeFor(std::optional<char32_t> letter);

// The window id of the preview and password-change modes: the second
// argument alone (0 when it is missing).
uint32_t WindowHandleArgument(int argc, const char* const* argv);

// The options that set a setting for one run. Both programs take both
// names: the saver's (as XScreenSaver's dialog passes them) and
// tavorensia-render's (named after the stored values).
struct SettingOption {
  std::string_view name, alias;
  std::optional<int32_t> SettingsOverrides::*field;
  int32_t max;  // 0..max; 0 for a switch without a value
  int32_t value = 0;  // what a switch sets
};
inline constexpr SettingOption kSettingOptions[] = {
    {"--speed", "--fast", &SettingsOverrides::Fast, 100},
    {"--detail", "--satiation", &SettingsOverrides::Satiation, 100},
    {"--vanguard", "--blur", &SettingsOverrides::Blur, 100},
    {"--picture", "", &SettingsOverrides::Picture, 100},
    {"--color", "", &SettingsOverrides::Color, 10},
    {"--random", "", &SettingsOverrides::Rands, 0, 1},
    {"--no-random", "", &SettingsOverrides::Rands, 0, 0},
};

// Reads the setting option at argv[i], under either of its names, into out:
// the count of arguments it took (1 or 2), or 0 when argv[i] is none of
// them. A bad or missing value gives 0 and error one line naming the
// option (as given) and its range.
int ParseSettingOption(int argc, const char* const* argv, int i, SettingsOverrides& out, std::string& error);

// "--help" or "--version" as the first argument: a deliberate extension of
// the switches, which no host passes.
enum class InformationRequest { Neither, Help, Version };
InformationRequest InformationRequestOf(int argc, const char* const* argv);

// The version of this build, "0.1" and so on.
const char* ProgramVersion();

// What "tavorensia --help" prints: the switches and the options.
const char* SaverUsage();

// What the full-screen mode reads after the switch, in any order: the
// setting options above and --window-id ID (a host's window to draw into).
// Other arguments are ignored, as they always were. error is one line
// naming the first bad option and its range (empty when all is well).
struct FullScreenOptions {
  SettingsOverrides settings;
  std::optional<uint32_t> windowId;  // given; an id that does not parse is 0
  std::string error;
};
FullScreenOptions ParseFullScreenOptions(int argc, const char* const* argv);

}  // namespace tav
