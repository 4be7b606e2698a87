#pragma once
// Reading the screen-saver switch and the window handle from the command line.
#include <cstdint>
#include <optional>
#include <string_view>

namespace tav {

// The second character (a UTF-8 code point) of the first argument, with ASCII
// a..z upper-cased; none when there is no first argument or it is shorter
// than two characters. Malformed UTF-8 counts byte by byte.
std::optional<char32_t> ModeLetter(int argc, const char* const* argv);

// A window id: leading blanks skipped, then decimal, or hexadecimal after
// "$", "x", "X", "0x" or "0X". Anything else, or a value above 32 bits, is 0.
uint32_t ParseWindowHandle(std::string_view text);

}  // namespace tav
