#include "app/host_window_request.hpp"

#include <string_view>

#include "app/command_line.hpp"

namespace tav {

std::optional<uint32_t> HostWindowRequest(int argc, const char* const* argv,
                                          const char* xscreensaverWindow) {
  if (argc >= 3 && argv[2] && std::string_view(argv[2]) == "--window-id") {
    return argc >= 4 && argv[3] ? ParseWindowHandle(argv[3]) : 0;
  }
  if (xscreensaverWindow && *xscreensaverWindow) return ParseWindowHandle(xscreensaverWindow);
  return std::nullopt;
}

}  // namespace tav
