#include "app/command_line.hpp"
// Placeholder until the command line lands.
namespace tav {
std::optional<char32_t> ModeLetter(int, const char* const*) { return std::nullopt; }
uint32_t ParseWindowHandle(std::string_view) { return 0; }
}  // namespace tav
