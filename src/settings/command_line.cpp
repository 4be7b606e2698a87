#include "settings/command_line.hpp"

#include <charconv>
#include <string>

namespace tav {
namespace {

// Length of the well-formed UTF-8 sequence at the start of s and its code
// point; a byte that starts no well-formed sequence is one character on its own.
std::size_t NextCodePoint(std::string_view s, char32_t& cp) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  cp = c;
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 1;
  }
  if (s.size() < len) return 1;
  if (b(1) < lo || b(1) > hi) return 1;
  for (std::size_t i = 2; i < len; ++i) {
    if (b(i) < 0x80 || b(i) > 0xBF) return 1;
  }
  char32_t v = c & (0xFF >> (len + 1));
  for (std::size_t i = 1; i < len; ++i) v = (v << 6) | (b(i) & 0x3F);
  cp = v;
  return len;
}

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

}  // namespace

std::optional<char32_t> ModeLetter(std::string_view arg) {
  if (arg.empty()) return std::nullopt;
  char32_t first = 0;
  const std::size_t skip = NextCodePoint(arg, first);  // whatever it is: '/', '-', ...
  arg.remove_prefix(skip);
  if (arg.empty()) return std::nullopt;
  char32_t letter = 0;
  NextCodePoint(arg, letter);
  if (letter >= U'a' && letter <= U'z') letter -= U'a' - U'A';
  return letter;
}

std::optional<char32_t> ModeLetter(int argc, const char* const* argv) {
  if (argc < 2 || argv == nullptr || argv[1] == nullptr) return std::nullopt;
  return ModeLetter(std::string_view(argv[1]));
}

uint32_t ParseWindowHandle(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  text.remove_prefix(i);
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  uint64_t value = 0;
  for (const char c : text) {
    const int d = DigitValue(c, base);
    if (d < 0) return 0;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (value > UINT32_MAX) return 0;  // no X11 window id is that large
  }
  return static_cast<uint32_t>(value);
}

Mode ModeFor(std::optional<char32_t> letter) {
  if (letter == U'C') return Mode::Settings;
  if (letter == U'P') return Mode::Preview;
  if (letter == U'A') return Mode::ChangePassword;
  return Mode::FullScreen;
}

uint32_t WindowHandleArgument(int argc, const char* const* argv) {
  if (argc < 3 || argv == nullptr || argv[2] == nullptr) return 0;
  return ParseWindowHandle(argv[2]);
}

int ParseSettingOption(int argc, const char* const* argv, int i, SettingsOverrides& out, std::string& error) {
  if (argv == nullptr || i >= argc || argv[i] == nullptr) return 0;
  const std::string_view arg = argv[i];
  for (const SettingOption& o : kSettingOptions) {
    if (arg != o.name && (o.alias.empty() || arg != o.alias)) continue;
    if (o.max == 0) {
      out.*o.field = o.value;
      return 1;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    int32_t v = -1;
    const std::string_view text = value ? value : "";
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < 0 || v > o.max) {
      error = std::string(arg) + " needs a whole number from 0 to " + std::to_string(o.max) +
              (value ? ", not \"" + std::string(text) + "\"" : ", and none was given");
      return 0;
    }
    out.*o.field = v;
    return 2;
  }
  return 0;
}

InformationRequest InformationRequestOf(int argc, const char* const* argv) {
  if (argc < 2 || argv == nullptr || argv[1] == nullptr) return InformationRequest::Neither;
  const std::string_view first = argv[1];
  if (first == "--help") return InformationRequest::Help;
  if (first == "--version") return InformationRequest::Version;
  return InformationRequest::Neither;
}

const char* ProgramVersion() { return TAVORENSIA_VERSION; }

const char* SaverUsage() {
  return "Usage: tavorensia [SWITCH] [OPTION]...\n"
         "A generated-art screen saver. Only the second character of the first\n"
         "argument counts: /s, -s, /S:123 and xs are the same switch.\n"
         "\n"
         "  /s, none, or any other   the full-screen screen saver (locks when a\n"
         "                           password is set)\n"
         "  /c                       the settings window\n"
         "  /p ID                    preview inside the host's X11 window ID\n"
         "  /a ID                    change the screen-saver password\n"
         "  --root, -root            a live desktop background in the root window\n"
         "  --help, --version        print this text, or the version, and exit\n"
         "\n"
         "Options after the switch, for this run only (never stored):\n"
         "  --speed N, --fast N          speed, 0..100\n"
         "  --detail N, --satiation N    level of detail, 0..100\n"
         "  --vanguard N, --blur N       modulation strength, 0..100\n"
         "  --picture N                  picture variant, 0..100\n"
         "  --color N                    colour mode, 0..10\n"
         "  --random, --no-random        draw picture, vanguard and colour at random\n"
         "                               (except those given), or not\n"
         "  --window-id ID               draw into the host's window ID\n";
}

FullScreenOptions ParseFullScreenOptions(int argc, const char* const* argv) {
  FullScreenOptions out;
  if (argv == nullptr) return out;
  for (int i = 2; i < argc && argv[i] != nullptr; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--window-id") {
      const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
      out.windowId = value ? ParseWindowHandle(value) : 0;
      if (value) ++i;
      continue;
    }
    const int taken = ParseSettingOption(argc, argv, i, out.settings, out.error);
    if (!out.error.empty()) return out;
    if (taken > 1) i += taken - 1;
  }
  return out;
}

}  // namespace tav
