// The command line on any bytes: the first NUL-terminated piece is the first
// argument, the next one the second.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/command_line.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string first = text.substr(0, text.find('\0'));
  const std::string second = first.size() < text.size() ? text.substr(first.size() + 1) : "";
  const char* argv[] = {"tavorensia", first.c_str(), second.c_str(), nullptr};

  const auto letter = tav::ModeLetter(3, argv);
  // A letter needs two characters; five bytes always hold at least two.
  if (first.size() < 2 && letter) std::abort();
  if (first.size() >= 5 && !letter) std::abort();
  if (letter && (*letter > 0x10FFFF || (*letter >= U'a' && *letter <= U'z'))) std::abort();
  (void)tav::ModeFor(letter);

  const uint32_t handle = tav::ParseWindowHandle(text);  // NULs included
  if (handle != 0 && text.find_first_not_of(" \t$xX0123456789abcdefABCDEF") != std::string::npos) {
    std::abort();
  }
  (void)tav::WindowHandleArgument(3, argv);

  // The full-screen options: a value taken is always within its range.
  const char* options[] = {"tavorensia", "/s", first.c_str(), second.c_str(), nullptr};
  const tav::FullScreenOptions o = tav::ParseFullScreenOptions(4, options);
  if (o.settings.Color && (*o.settings.Color < 0 || *o.settings.Color > 10)) std::abort();
  for (const auto& v : {o.settings.Fast, o.settings.Satiation, o.settings.Picture, o.settings.Blur}) {
    if (v && (*v < 0 || *v > 100)) std::abort();
  }
  return 0;
}
