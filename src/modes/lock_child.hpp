#pragma once
// What both of the lock holder's children (modes/lock_draw, modes/lock_prompt)
// start with: the X errors of the holder's windows, which it may destroy at
// any moment, caught for the whole run; the application telling errors on
// stderr only (no box: the holder's cover is over everything); and a
// sub-window of ours in each window the holder gave. The prompt draws with
// SDL's software renderer (a small dialog; no GL stack in the process that
// holds the typed password); the picture takes the way to the screen that
// "/s" would, GL included: a drawing child that GL brings down is replaced.
#include <memory>
#include <vector>

#include "display/x11_handles.hpp"
#include "modes/hosted_window.hpp"
#include "platform/application.hpp"

namespace tav {

class LockChild {
 public:
  enum class Renderer { AsFullScreen, Software };
  explicit LockChild(Renderer renderer);
  Application& App() { return app_; }
  // One hosted window in each of the holder's; empty (the reason said on
  // stderr) when any of them cannot be used.
  static std::vector<std::unique_ptr<HostedWindow>> HostIn(const std::vector<unsigned long>& windows);

 private:
  struct Hints {
    explicit Hints(Renderer renderer);
  } hints_;
  XErrorTrap expected_;
  Application app_;
};

}  // namespace tav
