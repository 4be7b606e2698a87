// The frame timer against a clock and an application of our own.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "display/timer.hpp"

namespace tav {
namespace {

class FakeHost : public IdleHost {
 public:
  void SetIdleHandler(IdleHandler* h) override { idle = h; }
  IdleHandler* CurrentIdleHandler() const override { return idle; }
  bool Active() const override { return active; }
  void AddActivationListener(ActivationListener* l) override { listeners.push_back(l); }
  void RemoveActivationListener(ActivationListener* l) override { std::erase(listeners, l); }
  void SetActive(bool a) {
    active = a;
    for (auto* l : listeners) a ? l->ApplicationActivated() : l->ApplicationDeactivated();
  }
  // What the event loop does when the queue is empty.
  uint32_t RunIdle() { return idle ? idle->Idle() : kWaitForever; }

  IdleHandler* idle = nullptr;
  bool active = true;
  std::vector<ActivationListener*> listeners;
};

struct Fixture {
  explicit Fixture(uint32_t start) : now(start), timer(host, [this] { return now; }) {
    timer.SetInterval(31);
    timer.OnTimer = [this](TDXTimer&, uint32_t lag) { lags.push_back(lag); };
  }
  FakeHost host;
  uint32_t now;
  TDXTimer timer;
  std::vector<uint32_t> lags;
};

TEST(TDXTimer, LagCountFromElapsedTime) {
  struct Case {
    uint32_t start;
    uint32_t elapsed;
    std::vector<uint32_t> lags;
  } cases[] = {
      {1000, 20, {}},                  // not due yet
      {1000, 30, {}},
      {1000, 31, {1}},
      {1000, 61, {1}},
      {1000, 62, {2}},
      {1000, 100, {3}},
      {0xFFFFFFF0u, 100, {3}},         // measured across the clock's wrap
      {0xFFFFFFFFu, 31, {1}},
  };
  for (const auto& c : cases) {
    Fixture f(c.start);
    f.timer.Loaded();
    ASSERT_EQ(f.host.idle, &f.timer);
    f.now = c.start + c.elapsed;
    f.host.RunIdle();
    EXPECT_EQ(f.lags, c.lags) << "start " << c.start << " elapsed " << c.elapsed;
  }
}

TEST(TDXTimer, WaitIsTheTimeUntilTheNextTickMeasuredFromTheTickStart) {
  Fixture f(0xFFFFFFF0u);
  f.timer.Loaded();
  f.now += 10;
  EXPECT_EQ(f.host.RunIdle(), 21u);
  // A slow frame handler: the next tick is measured from this tick's start.
  f.timer.OnTimer = [&](TDXTimer&, uint32_t lag) { f.lags.push_back(lag); f.now += 20; };
  f.now += 21;
  EXPECT_EQ(f.host.RunIdle(), 11u);
  f.timer.OnTimer = [&](TDXTimer&, uint32_t lag) { f.lags.push_back(lag); f.now += 50; };
  f.now += 11;
  EXPECT_EQ(f.host.RunIdle(), 0u);  // overdue: no waiting, and no catch-up burst
  EXPECT_EQ(f.lags, (std::vector<uint32_t>{1, 1}));
}

TEST(TDXTimer, EnabledWhileLoadingIsOnlyStored) {
  Fixture f(0);
  f.timer.SetEnabled(false);
  f.timer.SetEnabled(true);
  EXPECT_FALSE(f.timer.Running());
  EXPECT_EQ(f.host.idle, nullptr);
  f.timer.Loaded();
  EXPECT_TRUE(f.timer.Running());
  EXPECT_EQ(f.host.idle, &f.timer);
  f.timer.SetEnabled(false);
  EXPECT_EQ(f.host.idle, nullptr);

  Fixture g(0);
  g.timer.SetEnabled(false);
  g.timer.Loaded();
  EXPECT_FALSE(g.timer.Running());
  EXPECT_EQ(g.host.idle, nullptr);
}

TEST(TDXTimer, IntervalStoresNonNegativeValueAndDividesByAtLeastOne) {
  Fixture f(500);
  f.timer.SetInterval(-5);
  EXPECT_EQ(f.timer.Interval(), 0);
  f.timer.Loaded();
  f.now += 7;
  EXPECT_EQ(f.host.RunIdle(), 0u);
  EXPECT_EQ(f.lags, (std::vector<uint32_t>{7}));
}

TEST(TDXTimer, ActiveOnlyPausesAndRestartsFresh) {
  Fixture f(1000);
  f.timer.Loaded();
  f.now = 1031;
  f.host.RunIdle();
  f.host.SetActive(false);
  EXPECT_EQ(f.host.idle, nullptr);
  f.now = 5000;  // a long time in the background
  f.host.SetActive(true);
  ASSERT_EQ(f.host.idle, &f.timer);
  f.now = 5030;
  f.host.RunIdle();
  EXPECT_EQ(f.lags, (std::vector<uint32_t>{1}));  // not yet: measured from the reactivation
  f.now = 5031;
  f.host.RunIdle();
  EXPECT_EQ(f.lags, (std::vector<uint32_t>{1, 1}));
}

TEST(TDXTimer, StartWhileInactiveWaitsForActivationUnlessActiveOnlyIsOff) {
  Fixture f(0);
  f.host.active = false;
  f.timer.Loaded();
  EXPECT_TRUE(f.timer.Running());
  EXPECT_EQ(f.host.idle, nullptr);
  f.timer.SetActiveOnly(false);
  EXPECT_EQ(f.host.idle, &f.timer);
  f.host.SetActive(true);
  f.host.SetActive(false);  // ignored without ActiveOnly
  EXPECT_EQ(f.host.idle, &f.timer);
}

TEST(TDXTimer, StoppingLeavesAnotherTimersHookAlone) {
  Fixture f(0);
  f.timer.Loaded();
  TDXTimer other(f.host, [&] { return f.now; });
  other.Loaded();  // one idle handler per application: the later one wins
  EXPECT_EQ(f.host.idle, &other);
  f.timer.SetEnabled(false);
  EXPECT_EQ(f.host.idle, &other);
}

}  // namespace
}  // namespace tav
