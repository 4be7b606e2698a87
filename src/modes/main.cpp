#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "modes/change_password.hpp"
#include "modes/full_screen_form.hpp"
#include "modes/hosted_window.hpp"
#include "modes/lock_draw.hpp"
#include "modes/lock_prompt.hpp"
#include "modes/lock_start.hpp"
#include "modes/preview_window.hpp"
#include "modes/root_background.hpp"
#include "modes/settings_window.hpp"
#include "platform/application.hpp"
#include "settings/command_line.hpp"
#include "settings/host_window_request.hpp"

namespace {

// "/s" and every other switch: in our own windows, inside a screen-saver
// host's window (XScreenSaver's), or as the desktop's live background.
int RunFullScreenMode(int argc, char** argv) {
  const tav::FullScreenOptions options = tav::ParseFullScreenOptions(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "tavorensia: %s\n", options.error.c_str());
    return 2;
  }
  const char* host = std::getenv("XSCREENSAVER_WINDOW");
  if (const auto window = tav::HostWindowRequest(argc, argv, host))
    return tav::RunHostedFullScreen(*window, options.settings);
  if (tav::DesktopBackgroundRequest(argc, argv, host)) return tav::RunDesktopBackground(options.settings);
  // With a password, the lock is kept by a small process of its own that
  // outlives whatever the picture or the prompt does.
  if (tav::LockHolderWanted()) return tav::ExecLockHolder(argc, argv);
  return tav::RunFullScreen(options.settings);
}

int RunMode(int argc, char** argv) {
  switch (tav::InformationRequestOf(argc, argv)) {
    case tav::InformationRequest::Help: std::fputs(tav::SaverUsage(), stdout); return 0;
    case tav::InformationRequest::Version: std::printf("tavorensia %s\n", tav::ProgramVersion()); return 0;
    case tav::InformationRequest::Neither: break;
  }
  // The lock holder's children: reached only through their own switches.
  if (argc > 1 && std::strcmp(argv[1], "--lock-prompt") == 0) return tav::RunLockPrompt(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--lock-draw") == 0) return tav::RunLockDraw(argc, argv);
  switch (tav::ModeFor(tav::ModeLetter(argc, argv))) {
    case tav::Mode::Settings: return tav::RunSettingsWindow(argc, argv);
    case tav::Mode::Preview: return tav::RunPreview(argc, argv);
    case tav::Mode::ChangePassword: return tav::RunChangePassword(argc, argv);
    case tav::Mode::FullScreen: break;
  }
  return RunFullScreenMode(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // What escapes a mode happened before it had a window to show it in.
  try {
    return RunMode(argc, argv);
  } catch (const tav::ENoDisplay& e) {
    std::fprintf(stderr, "tavorensia: cannot open display (%s)\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavorensia: %s\n", e.what());
  }
  return 1;
}
