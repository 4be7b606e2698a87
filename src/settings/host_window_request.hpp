#pragma once
// Whether the full-screen mode draws into a window that a screen-saver host
// such as XScreenSaver provides, instead of opening a window of its own.
#include <cstdint>
#include <optional>

namespace tav {

// The host window the full-screen mode must draw into, or none to run as
// usual. A "--window-id ID" pair anywhere after the switch wins (this is how a
// settings tool starts a preview); otherwise the XSCREENSAVER_WINDOW value
// (pass getenv's result; null or empty means unset). An id that does not
// parse gives 0: hosted, but no window to draw into.
std::optional<uint32_t> HostWindowRequest(int argc, const char* const* argv,
                                          const char* xscreensaverWindow);

// "--root" (or "-root") as the switch with no host window asked for: the full-screen
// mode becomes the desktop's live background instead of the screen saver.
bool DesktopBackgroundRequest(int argc, const char* const* argv, const char* xscreensaverWindow);

}  // namespace tav
