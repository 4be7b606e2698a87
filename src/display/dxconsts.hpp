#pragma once
// The messages of the display layer, in one place. Texts with %s or %d are
// format strings for FormatMessage.
#include <cstdio>
#include <string>

namespace tav::dxconsts {

inline constexpr const char* SDirectDraw = "DirectDraw";
inline constexpr const char* SDirectDrawPrimarySurface = "Primary Surface";
inline constexpr const char* SDirectDrawSurface = "Surface";

inline constexpr const char* SDLLNotLoaded = "%s not loaded";
inline constexpr const char* SCannotInitialized = "%s cannot be initialized";
inline constexpr const char* SCannotMade = "%s cannot be made";
inline constexpr const char* SSinceDirectX7 = "Necessary since DirectX 7";
inline constexpr const char* SSinceDirectX6 = "Necessary since DirectX 6";
inline constexpr const char* SNotFoundForm = "Form not found";
inline constexpr const char* SDisplaymodeChange = "Display mode cannot be changed (%dx%d %dbit)";
inline constexpr const char* SInvalidDIBBitCount = "It should be either of 8 or 16 or 24 or 32";

template <typename... Args>
std::string FormatMessage(const char* format, Args... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  std::snprintf(out.data(), out.size() + 1, format, args...);
  return out;
}

}  // namespace tav::dxconsts
