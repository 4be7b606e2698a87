#pragma once
// What both of the lock holder's children (modes/lock_draw, modes/lock_prompt)
// start with: SDL's software renderer, since the holder may destroy their
// windows at any moment and GL must not be drawing into one then; the X
// errors of those windows caught for the whole run; the application telling
// errors on stderr only (no box: the holder's cover is over everything); and
// a sub-window of ours in each window the holder gave.
#include <memory>
#include <vector>

#include "display/x11_handles.hpp"
#include "modes/hosted_window.hpp"
#include "platform/application.hpp"

namespace tav {

class LockChild {
 public:
  LockChild();
  Application& App() { return app_; }
  // One hosted window in each of the holder's; empty (the reason said on
  // stderr) when any of them cannot be used.
  static std::vector<std::unique_ptr<HostedWindow>> HostIn(const std::vector<unsigned long>& windows);

 private:
  struct Hints {
    Hints();
  } hints_;
  XErrorTrap expected_;
  Application app_;
};

}  // namespace tav
