#pragma once
// What the Wayland compositor's seat offers before any window exists.
#include <optional>

namespace tav {

// Whether the session's first seat has a keyboard right now, asked of the
// compositor named by WAYLAND_DISPLAY; nullopt when it cannot be asked.
//
// SDL 2.26's Wayland back end can crash (in xkbcommon, from its keyboard
// handler) when a keyboard appears on a seat that had none while our
// windows are up: a virtual keyboard (wtype, a remote desktop) typing into
// a headless or remote session. Such a session is better served through its
// Xwayland, where a keyboard that comes later is the X server's business.
std::optional<bool> WaylandSeatHasKeyboard();

}  // namespace tav
