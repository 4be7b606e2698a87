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

// What the full-screen mode reads after the switch, in any order:
//   --speed N, --detail N, --vanguard N, --picture N  (0..100: Fast,
//   Satiation, Blur, Picture), --color N (0..10), --random / --no-random
//   (Rands), and --window-id ID (a host's window to draw into).
// Other arguments are ignored, as they always were. error is one line
// naming the first bad option and its range (empty when all is well).
struct FullScreenOptions {
  SettingsOverrides settings;
  std::optional<uint32_t> windowId;  // given; an id that does not parse is 0
  std::string error;
};
FullScreenOptions ParseFullScreenOptions(int argc, const char* const* argv);

}  // namespace tav
