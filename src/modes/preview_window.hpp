#pragma once
// The preview mode on Xlib: a window of our own inside the host's X11 window,
// repainted about every 40 ms by a worker thread, each paint one step of the
// preview renderer.
#include <functional>

namespace tav {

// Runs the preview inside the host window `parent` and returns the exit
// status once it has ended. A parent of 0, or an id that names no window,
// gets a topmost 320 x 240 pop-up at (0, 0) instead; a key press there ends
// the preview when verifyPassword says so. In the host's window the preview
// runs until the host destroys that window.
int PreviewRun(unsigned long parent, const std::function<bool()>& verifyPassword);

// The preview mode ("/p ID"): the exit status.
int RunPreview(int argc, char** argv);

}  // namespace tav
