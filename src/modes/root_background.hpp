#pragma once
// "--root" by itself: the animation as the desktop's live background.
#include "generator/settings.hpp"

namespace tav {

// Draws in the root window or the virtual root a window manager announces
// (__SWM_VROOT), with the stored settings, until SIGTERM or SIGINT. Input,
// cursor and everything else stay the desktop's. The exit status.
int RunDesktopBackground(const SettingsOverrides& options);

}  // namespace tav
