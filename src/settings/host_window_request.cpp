#include "settings/host_window_request.hpp"

#include <string_view>

#include "settings/command_line.hpp"

namespace tav {

std::optional<uint32_t> HostWindowRequest(int argc, const char* const* argv,
                                          const char* xscreensaverWindow) {
  if (const auto id = ParseFullScreenOptions(argc, argv).windowId) return id;
  if (xscreensaverWindow && *xscreensaverWindow) return ParseWindowHandle(xscreensaverWindow);
  return std::nullopt;
}

bool DesktopBackgroundRequest(int argc, const char* const* argv, const char* xscreensaverWindow) {
  // "-root" with one dash, as XScreenSaver's hacks take it, is no switch R.
  return argc >= 2 && argv[1] && (std::string_view(argv[1]) == "--root" || std::string_view(argv[1]) == "-root") &&
         !HostWindowRequest(argc, argv, xscreensaverWindow);
}

}  // namespace tav
