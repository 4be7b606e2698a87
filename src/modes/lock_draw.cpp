#include "modes/lock_draw.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "display/x11_handles.hpp"
#include "lock/lock_protocol.hpp"
#include "modes/full_screen_form.hpp"
#include "modes/hosted_window.hpp"
#include "modes/lock_child.hpp"
#include "platform/application.hpp"
#include "settings/command_line.hpp"

namespace tav {

namespace {

constexpr uint32_t kPulseMs = 50;       // the windows are looked at this often
constexpr uint32_t kHeartbeatMs = 500;  // the holder wants one a second at least

}  // namespace

int RunLockDraw(int argc, char** argv) {
  int heartbeatFd = lock::kChildFd;
  std::optional<std::vector<unsigned long>> windows;
  // The saver's options without ours, for the usual parser.
  std::vector<const char*> saverArgs{argv[0], "/s"};  // the parser reads options after the mode
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--heartbeat-fd" && i + 1 < argc) heartbeatFd = std::atoi(argv[++i]);
    else if (arg == "--windows" && i + 1 < argc) windows = lock::ParseWindowList(argv[++i]);
    else saverArgs.push_back(argv[i]);
  }
  if (!windows || windows->empty()) {
    std::fprintf(stderr, "tavorensia: --lock-draw needs --windows ID,ID,...\n");
    return 2;
  }
  const FullScreenOptions options = ParseFullScreenOptions(static_cast<int>(saverArgs.size()), saverArgs.data());
  if (!options.error.empty()) {
    std::fprintf(stderr, "tavorensia: %s\n", options.error.c_str());
    return 2;
  }
  LockChild child(LockChild::Renderer::AsFullScreen);
  Application& app = child.App();
  // A sub-window of ours in each of the holder's windows (one a monitor):
  // the first is the form's, the others show the same frames.
  const std::vector<std::unique_ptr<HostedWindow>> hosted = LockChild::HostIn(*windows);
  if (hosted.empty()) return 1;
  // The stored settings, as the full-screen mode has them.
  TForm1 form(app, TForm1::Hosted{hosted.front()->Window(), false}, options.settings);
  for (std::size_t i = 1; i < hosted.size(); ++i) form.AddHostedWindow(hosted[i]->Window());
  uint32_t beatAt = 0;
  bool beaten = false;
  app.SetPulse(kPulseMs, [&] {
    for (auto& window : hosted)
      if (!window->Follow()) {
        app.Terminate(1);  // the holder replaces its windows with a new child
        return;
      }
    if (beaten && SDL_GetTicks() - beatAt < kHeartbeatMs) return;
    if (!lock::WriteHeartbeat(heartbeatFd)) {
      app.Terminate(1);  // the holder is gone
      return;
    }
    beaten = true;
    beatAt = SDL_GetTicks();
  });
  app.SetMainWindow(form.Window(), [&](const SDL_Event& e) {
    // The holder owns keyboard and mouse.
    if (!IsInputEvent(e)) form.HandleEvent(e);
  });
  app.Run();
  return app.ExitStatus();
}

}  // namespace tav
