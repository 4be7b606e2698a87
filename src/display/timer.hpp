#pragma once
// TDXTimer: the frame timer of the windows. It runs from the application's
// idle processing and measures time with a millisecond clock, so frames come
// every Interval ms without a host timer message. The application it hooks
// into is seen through IdleHost, so the timer itself needs no display.
#include <cstdint>
#include <functional>

namespace tav {

// Milliseconds since an arbitrary start, kept as an unsigned 32-bit value
// that wraps after about 49.7 days.
uint32_t MillisecondClock();

// Called by the application whenever its event queue is empty.
class IdleHandler {
 public:
  // Does the idle work; answers how many milliseconds the application may
  // wait for the next event before calling again.
  virtual uint32_t Idle() = 0;

 protected:
  ~IdleHandler() = default;
};

// Told when the application comes to the front or loses it.
class ActivationListener {
 public:
  virtual void ApplicationActivated() = 0;
  virtual void ApplicationDeactivated() = 0;

 protected:
  ~ActivationListener() = default;
};

// What the timer needs of the application: one idle-handler slot, whether it
// is active, and activation notifications.
class IdleHost {
 public:
  static constexpr uint32_t kWaitForever = UINT32_MAX;

  // Installing replaces whatever handler was there; nullptr empties the slot.
  virtual void SetIdleHandler(IdleHandler* handler) = 0;
  virtual IdleHandler* CurrentIdleHandler() const = 0;
  virtual bool Active() const = 0;
  virtual void AddActivationListener(ActivationListener* listener) = 0;
  virtual void RemoveActivationListener(ActivationListener* listener) = 0;

 protected:
  ~IdleHost() = default;
};

class TDXTimer final : public IdleHandler, public ActivationListener {
 public:
  using Clock = std::function<uint32_t()>;
  using TimerEvent = std::function<void(TDXTimer& sender, uint32_t lagCount)>;

  // The timer starts out in the loading state, as a component of a form
  // being created: Enabled is only stored until Loaded() is called.
  explicit TDXTimer(IdleHost& host, Clock clock = MillisecondClock);
  ~TDXTimer();
  TDXTimer(const TDXTimer&) = delete;
  TDXTimer& operator=(const TDXTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  int Interval() const { return interval_; }
  void SetInterval(int ms);
  bool ActiveOnly() const { return activeOnly_; }
  void SetActiveOnly(bool value);
  // Ends the loading state; starts the timer when it is enabled.
  void Loaded();
  bool Loading() const { return loading_; }
  bool Running() const { return running_; }

  TimerEvent OnTimer;
  std::function<void()> OnActivate;
  std::function<void()> OnDeactivate;

  // One step of the idle processing: ticks when Interval has passed since the
  // previous tick and answers how long until the next one is due.
  uint32_t Idle() override;
  void ApplicationActivated() override;
  void ApplicationDeactivated() override;

 private:
  void Start();
  void Stop();
  void Hook();
  void Unhook();
  uint32_t UntilNextTick(uint32_t now) const;

  IdleHost& host_;
  Clock clock_;
  bool enabled_ = true;
  bool loading_ = true;
  bool activeOnly_ = true;
  bool running_ = false;
  int interval_ = 1000;
  uint32_t divisor_ = 1000;
  uint32_t lastTick_ = 0;
};

}  // namespace tav
