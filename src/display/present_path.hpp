#pragma once
// Which way frames reach the screen. Through SDL's renderer, which is GL on
// X11 and earns its keep only where GL runs on a GPU; or, where GL would be
// a software rasteriser, one of two ways without GL: the X server scales the
// field-sized frame itself (its RENDER extension, on the GPU in real X
// servers; only the frame crosses to the server, a twentieth of the screen's
// pixels), or, where it has no RENDER or cannot scale a size exactly by the
// pixel-centre rule, the software path: the frame stretched once by our own
// code into the window's framebuffer, which SDL hands to the X server as a
// shared-memory image (a plain image on a remote display).
//
// The choice is made from what is there, without loading GL: Mesa's GL
// stack is most of a GL process's resident memory (about 110 MiB under
// Xvfb), and a probe in a child would load it at every start of the saver
// just to learn the renderer's name. Hardware GL needs a render node, an X
// server that lets clients render directly (DRI3, DRI2 or NVIDIA's GLX), a
// local display and no request for Mesa's software rasteriser; Xvfb, Xvnc
// and remote desktops offer no direct rendering, so they get the software
// path.
#include <string>
#include <string_view>

namespace tav {

enum class PresentPath { Gl, Software, XRender };

// Forces a path: "gl", "xrender" or "software"; unset (or anything else)
// lets the machine decide. Off X11 SDL's own path is taken whatever it says,
// and "xrender" falls back to "software" where the server has no RENDER.
inline constexpr const char* kPresentPathVariable = "TAVORENSIA_PRESENT";

struct PresentFacts {
  std::string forced;            // the variable's value
  bool x11 = false;              // SDL runs on X11
  bool remoteDisplay = false;    // DISPLAY names another host
  bool softwareGl = false;       // LIBGL_ALWAYS_SOFTWARE asks Mesa for its rasteriser
  bool renderNode = false;       // a /dev/dri/renderD* exists
  bool directRendering = false;  // the X server offers DRI3, DRI2 or NVIDIA's GLX
  bool render = false;           // the X server scales pictures (RENDER 0.6 or later)
};

PresentPath ChoosePresentPath(const PresentFacts& facts);

// The facts that the environment and the file system tell; x11,
// directRendering and render are left for the caller, who has the display.
PresentFacts PresentFactsFromEnvironment();

// "host:0" or "localhost:10.0" (a forwarded display) against ":0",
// "unix:0" or a socket path.
bool IsRemoteDisplay(std::string_view display);

}  // namespace tav
