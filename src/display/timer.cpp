#include "display/timer.hpp"

#include <algorithm>
#include <chrono>

namespace tav {

uint32_t MillisecondClock() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

TDXTimer::TDXTimer(IdleHost& host, Clock clock) : host_(host), clock_(std::move(clock)) {
  host_.AddActivationListener(this);
}

TDXTimer::~TDXTimer() {
  Stop();
  host_.RemoveActivationListener(this);
}

void TDXTimer::SetEnabled(bool value) {
  if (enabled_ == value) return;
  enabled_ = value;
  if (loading_) return;
  if (enabled_)
    Start();
  else
    Stop();
}

void TDXTimer::SetInterval(int ms) {
  if (interval_ == ms) return;
  interval_ = std::max(ms, 0);
  divisor_ = static_cast<uint32_t>(std::max(ms, 1));
}

void TDXTimer::SetActiveOnly(bool value) {
  if (activeOnly_ == value) return;
  activeOnly_ = value;
  if (running_) Start();  // the hook depends on it
}

void TDXTimer::Loaded() {
  if (!loading_) return;
  loading_ = false;
  if (enabled_) Start();
}

void TDXTimer::Start() {
  Stop();
  if (!activeOnly_ || host_.Active()) Hook();
  running_ = true;
}

void TDXTimer::Stop() {
  if (!running_) return;
  Unhook();
  running_ = false;
}

void TDXTimer::Hook() {
  lastTick_ = clock_();
  host_.SetIdleHandler(this);
}

void TDXTimer::Unhook() {
  // Only our own hook: a timer that was replaced leaves its successor alone.
  if (host_.CurrentIdleHandler() == this) host_.SetIdleHandler(nullptr);
}

void TDXTimer::ApplicationActivated() {
  if (running_ && activeOnly_) Hook();  // fresh start: no catch-up ticks
  if (OnActivate) OnActivate();
}

void TDXTimer::ApplicationDeactivated() {
  if (running_ && activeOnly_) Unhook();
  if (OnDeactivate) OnDeactivate();
}

uint32_t TDXTimer::UntilNextTick(uint32_t now) const {
  const uint32_t elapsed = now - lastTick_;  // modulo 2^32: right across the wrap
  const auto interval = static_cast<uint32_t>(interval_);
  return elapsed >= interval ? 0 : interval - elapsed;
}

uint32_t TDXTimer::Idle() {
  const uint32_t t = clock_();
  const uint32_t elapsed = t - lastTick_;
  if (elapsed < static_cast<uint32_t>(interval_)) return static_cast<uint32_t>(interval_) - elapsed;
  lastTick_ = t;
  const uint32_t lagCount = std::max<uint32_t>(elapsed / divisor_, 1);
  if (OnTimer) OnTimer(*this, lagCount);
  // The handler may have stopped the timer or the application.
  if (host_.CurrentIdleHandler() != this) return IdleHost::kWaitForever;
  return UntilNextTick(clock_());
}

}  // namespace tav
