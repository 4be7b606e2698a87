#include "display/present_path.hpp"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tav {
namespace {

// Mesa's reading of a boolean variable.
bool EnvTrue(const char* name) {
  const char* v = std::getenv(name);
  if (!v) return false;
  const std::string_view s(v);
  return s == "1" || s == "true" || s == "y" || s == "yes";
}

bool HasRenderNode() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", ec))
    if (entry.path().filename().string().starts_with("renderD")) return true;
  return false;
}

}  // namespace

PresentPath ChoosePresentPath(const PresentFacts& f) {
  if (!f.x11) return PresentPath::Gl;  // no window framebuffer of ours elsewhere
  const PresentPath withoutGl = f.render ? PresentPath::XRender : PresentPath::Software;
  if (f.forced == "software") return PresentPath::Software;
  if (f.forced == "xrender") return withoutGl;
  if (f.forced == "gl") return PresentPath::Gl;
  const bool hardwareGl = f.renderNode && f.directRendering && !f.remoteDisplay && !f.softwareGl;
  return hardwareGl ? PresentPath::Gl : withoutGl;
}

PresentFacts PresentFactsFromEnvironment() {
  PresentFacts f;
  if (const char* v = std::getenv(kPresentPathVariable)) f.forced = v;
  if (const char* d = std::getenv("DISPLAY")) f.remoteDisplay = IsRemoteDisplay(d);
  f.softwareGl = EnvTrue("LIBGL_ALWAYS_SOFTWARE");
  f.renderNode = HasRenderNode();
  return f;
}

bool IsRemoteDisplay(std::string_view display) {
  if (display.empty() || display.front() == '/') return false;  // a socket path
  const auto colon = display.rfind(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view host = display.substr(0, colon);
  return !host.empty() && host != "unix";
}

}  // namespace tav
