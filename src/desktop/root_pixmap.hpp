#pragma once
// The background of a plain X11 desktop: a pixmap set as the root window's
// background and named in the _XROOTPMAP_ID and ESETROOT_PMAP_ID properties,
// which compositors, panels and terminals read to draw the background
// themselves. The pixmap outlives this process (its connection closes with
// RetainPermanent); the pixmap a previous program left there is freed.
#include "desktop/desktop_background.hpp"
#include "display/dib.hpp"

namespace tav {

// Draws the 24-bit image over the whole root window of the display
// (nullptr: $DISPLAY), scaled to cover it with its aspect kept (the middle
// part is shown when the aspects differ), nearest pixel.
BackgroundResult SetRootPixmap(const TDIB& image, const char* displayName = nullptr);

}  // namespace tav
