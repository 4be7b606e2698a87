#include "app/host_window_request.hpp"

#include "app/command_line.hpp"

namespace tav {

std::optional<uint32_t> HostWindowRequest(int argc, const char* const* argv,
                                          const char* xscreensaverWindow) {
  if (const auto id = ParseFullScreenOptions(argc, argv).windowId) return id;
  if (xscreensaverWindow && *xscreensaverWindow) return ParseWindowHandle(xscreensaverWindow);
  return std::nullopt;
}

}  // namespace tav
