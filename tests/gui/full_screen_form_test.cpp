// The full-screen form's handlers on SDL's dummy video driver, with a
// password dialog of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/application.hpp"
#include "modes/full_screen_form.hpp"
#include "harness.hpp"
#include "desktop/password.hpp"
#include "desktop/scripted_prompt.hpp"

namespace tav {
namespace {

using tavtest::ScriptedPrompt;

// An application and a form on the dummy driver with a fresh hive.
struct DummyScreen {
  DummyScreen() : config(tavtest::TempDir()) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  }
  ~DummyScreen() {
    form.reset();
    app.reset();
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    std::filesystem::remove_all(config, ec);
  }
  void Start() {
    app = std::make_unique<Application>(kApplicationTitle);
    form = std::make_unique<TForm1>(*app, &prompt);
    form->CursorPos = [this] { return cursor; };
    form->SavedCursorPos = cursor;
  }
  // What the event loop hands the form.
  void Pump() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) form->HandleEvent(e);
  }
  void MoveMouseTo(int x, int y) {
    cursor = {x, y};
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(form->Window());
    e.motion.x = x;
    e.motion.y = y;
    form->HandleEvent(e);
  }
  void PressKey() {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(form->Window());
    e.key.keysym.sym = SDLK_a;
    form->HandleEvent(e);
  }

  std::string config;
  ScriptedPrompt prompt;
  SDL_Point cursor{400, 300};
  std::unique_ptr<Application> app;
  std::unique_ptr<TForm1> form;
};

TEST(FullScreenForm, CreationCoversTheScreenHidesTheCursorAndSetsTheFlag) {
  DummyScreen s;
  s.Start();
  EXPECT_GT(s.form->ScreenWidth, 0);
  int w = 0, h = 0;
  SDL_GetWindowSize(s.form->Window(), &w, &h);
  EXPECT_EQ(w, s.form->ScreenWidth);
  EXPECT_EQ(h, s.form->ScreenHeight);
  EXPECT_TRUE(s.form->DXDraw.ReadyToDraw());
  EXPECT_TRUE(s.form->DXDraw.NowOptions().Has(TDXDrawOption::doFullScreen));
  EXPECT_TRUE(s.form->Running());
  EXPECT_EQ(s.app->CursorCount(), -1);

  // One tick puts the field bitmap on the surface.
  s.form->DXTimerTimer(s.form->DXTimer, 1);
  EXPECT_EQ(s.form->DXDraw.SurfaceWidth(), s.form->generator.FieldBitmap().Width());
  EXPECT_EQ(s.form->DXDraw.SurfaceHeight(), s.form->generator.FieldBitmap().Height());
}

TEST(FullScreenForm, MouseTravelOfMoreThanFivePixelsEnds) {
  struct Case {
    int dx, dy;
    bool ends;
  } cases[] = {{5, 0, false}, {0, -5, false}, {-5, 5, false}, {6, 0, true}, {0, 6, true}, {-6, -1, true}};
  for (const auto& c : cases) {
    DummyScreen s;
    s.Start();
    s.MoveMouseTo(400 + c.dx, 300 + c.dy);
    EXPECT_EQ(s.app->Terminated(), c.ends) << c.dx << "," << c.dy;
    EXPECT_EQ(s.form->Running(), !c.ends) << c.dx << "," << c.dy;
    EXPECT_EQ(s.app->CursorCount(), c.ends ? 0 : -1) << c.dx << "," << c.dy;
  }
}

TEST(FullScreenForm, InputWhileTheSurfaceIsLostReinitialisesInsteadOfEnding) {
  DummyScreen s;
  s.Start();
  SDL_HideWindow(s.form->Window());
  s.Pump();
  ASSERT_FALSE(s.form->DXDraw.ReadyToDraw());
  s.PressKey();
  EXPECT_FALSE(s.app->Terminated());
  EXPECT_TRUE(s.form->DXDraw.ReadyToDraw());
  s.PressKey();
  EXPECT_TRUE(s.app->Terminated());

  // A mouse movement re-initialises too and measures from where it happened.
  DummyScreen m;
  m.Start();
  SDL_HideWindow(m.form->Window());
  m.Pump();
  m.MoveMouseTo(600, 500);
  EXPECT_FALSE(m.app->Terminated());
  EXPECT_TRUE(m.form->DXDraw.ReadyToDraw());
  EXPECT_EQ(m.form->SavedCursorPos.x, 600);
  EXPECT_EQ(m.form->SavedCursorPos.y, 500);
  m.MoveMouseTo(605, 505);
  EXPECT_FALSE(m.app->Terminated());
  m.MoveMouseTo(606, 505);
  EXPECT_TRUE(m.app->Terminated());
}

TEST(FullScreenForm, PasswordDecidesWhetherAKeyEnds) {
  DummyScreen s;
  ASSERT_EQ(ChangePassword(SecureString(), SecureString("secret"), SecureString("secret")), PasswordChange::Stored);
  s.Start();
  s.prompt.answers.emplace_back(std::nullopt);              // Cancel
  s.prompt.answers.emplace_back(SecureString("wrong"));
  s.prompt.answers.emplace_back(SecureString("secret"));
  s.PressKey();
  EXPECT_FALSE(s.app->Terminated());
  EXPECT_TRUE(s.form->Running());
  EXPECT_EQ(s.app->CursorCount(), -1);  // cancelled: still hidden
  s.PressKey();                          // wrong: told so, with a second's delay
  EXPECT_FALSE(s.app->Terminated());
  EXPECT_EQ(s.app->CursorCount(), -1);
  EXPECT_EQ(s.prompt.wrongNotices, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1000)});
  s.PressKey();
  EXPECT_TRUE(s.app->Terminated());
  EXPECT_FALSE(s.form->Running());
  EXPECT_EQ(s.app->CursorCount(), 0);
  EXPECT_EQ(s.prompt.asked, 3);
}

TEST(FullScreenForm, DisplayThatCannotBeSetUpShowsTheErrorAndKeepsTheWindow) {
  DummyScreen s;
  s.Start();
  s.form->DisplayBitCount = 15;  // as a 15-bit desktop reports itself
  SDL_HideWindow(s.form->Window());
  s.Pump();
  for (int attempt = 0; attempt < 2; ++attempt) {
    testing::internal::CaptureStderr();
    // As the event loop calls a handler: an escaping error goes to the box
    // (stderr without a display) and the loop carries on.
    EXPECT_FALSE(s.app->Guard([&] { s.PressKey(); }));
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("It should be either of 8 or 16 or 24 or 32"), std::string::npos) << shown;
    EXPECT_FALSE(s.app->Terminated());
    EXPECT_FALSE(s.form->DXDraw.ReadyToDraw());
  }
  // Ticks still render into the bitmap while nothing can be shown.
  s.form->DXTimerTimer(s.form->DXTimer, 1);
  const TDIB before = s.form->generator.FieldBitmap();  // shares the store until the next write
  s.form->DXTimerTimer(s.form->DXTimer, 1);
  const TDIB& after = s.form->generator.FieldBitmap();
  ASSERT_EQ(after.Height(), before.Height());
  const size_t bytes = after.WidthBytes() * static_cast<size_t>(after.Height());
  EXPECT_FALSE(after.SharesStoreWith(before));
  EXPECT_NE(std::memcmp(after.Bits(), before.Bits(), bytes), 0);
}

// Several monitors (SDL's dummy display and made-up ones around it): the
// pointer is measured in global coordinates whichever window it moves over,
// the password dialog goes to the monitor under it, and monitors that go
// take their windows with them.
TEST(FullScreenForm, EveryMonitorHasAWindowAndThePointerCountsInGlobalCoordinates) {
  const SDL_Rect first{0, 0, 1024, 768};  // the dummy driver's one display
  struct Case {
    const char* layout;
    std::vector<SDL_Rect> monitors;  // after the first
    size_t on;                       // the monitor the pointer moves over (0: the first)
    SDL_Point from, to;              // global
    bool ends;
  } cases[] = {
      {"right", {{1024, 0, 1280, 720}}, 1, {1300, 100}, {1305, 105}, false},
      {"right", {{1024, 0, 1280, 720}}, 1, {1300, 100}, {1306, 100}, true},
      {"left, higher", {{-1280, -200, 1280, 1024}}, 1, {-600, -150}, {-600, -155}, false},
      {"left, higher", {{-1280, -200, 1280, 1024}}, 1, {-600, -150}, {-600, -144}, true},
      {"below and right", {{0, 768, 800, 600}, {1024, 0, 640, 480}}, 2, {1100, 50}, {1095, 45}, false},
      {"below and right", {{0, 768, 800, 600}, {1024, 0, 640, 480}}, 1, {10, 800}, {10, 806}, true},
      {"below and right", {{0, 768, 800, 600}, {1024, 0, 640, 480}}, 0, {1000, 700}, {1003, 702}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.layout) + ", monitor " + std::to_string(c.on));
    DummyScreen s;
    s.Start();
    std::vector<SDL_Rect> monitors{first};
    monitors.insert(monitors.end(), c.monitors.begin(), c.monitors.end());
    s.form->MonitorBounds = [&] { return monitors; };
    s.form->CoverMonitors();
    ASSERT_EQ(s.form->MonitorWindows.size(), c.monitors.size());
    // One tick shows the frame on every monitor.
    s.form->DXTimerTimer(s.form->DXTimer, 1);
    for (auto& m : s.form->MonitorWindows) {
      EXPECT_TRUE(s.app->OwnWindow(m->Window()));
      EXPECT_EQ(m->DXDraw.SurfaceWidth(), s.form->generator.FieldBitmap().Width());
    }

    SDL_Window* over = c.on == 0 ? s.form->Window() : s.form->MonitorWindows[c.on - 1]->Window();
    s.cursor = c.from;
    EXPECT_EQ(s.form->PromptWindow(), over);
    s.form->SavedCursorPos = c.from;
    s.cursor = c.to;
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(over);
    e.motion.x = c.to.x - monitors[c.on].x;  // the window's own coordinates
    e.motion.y = c.to.y - monitors[c.on].y;
    s.form->HandleEvent(e);
    EXPECT_EQ(s.app->Terminated(), c.ends);

    // The monitor the pointer was on goes; the others keep their windows.
    if (c.on == 0) continue;
    SDL_Window* kept = c.monitors.size() > 1 ? s.form->MonitorWindows[2 - c.on]->Window() : nullptr;
    monitors.erase(monitors.begin() + static_cast<ptrdiff_t>(c.on));
    s.form->CoverMonitors();
    ASSERT_EQ(s.form->MonitorWindows.size(), c.monitors.size() - 1);
    EXPECT_FALSE(s.app->OwnWindow(over));
    if (kept) {
      EXPECT_EQ(s.form->MonitorWindows[0]->Window(), kept);
    }
  }
}

TEST(FullScreenForm, WithoutPasswordNoDialogIsShown) {
  DummyScreen s;
  s.Start();
  s.PressKey();
  EXPECT_TRUE(s.app->Terminated());
  EXPECT_EQ(s.prompt.asked, 0);
}

}  // namespace
}  // namespace tav
