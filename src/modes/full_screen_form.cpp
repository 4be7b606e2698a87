#include "modes/full_screen_form.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "platform/application.hpp"
#include "settings/settings_store.hpp"
#include "platform/window_icon.hpp"
#include "desktop/screen_saver_running.hpp"
#include "display/window_system.hpp"
#include "modes/password_prompt.hpp"


namespace tav {

using O = TDXDrawOption;

// The password dialog on the monitor under the pointer, drawn with that
// window's renderer, which a re-initialisation may have replaced since the
// last time. With more monitors the others go on showing frames meanwhile.
class TForm1::WindowPrompt final : public PasswordPrompt, private ModalBackdrop {
 public:
  explicit WindowPrompt(TForm1& form) : form_(form) {}
  std::optional<SecureString> Ask() override {
    std::optional<SecureString> answer;
    Run([&](SdlPasswordPrompt& prompt) { answer = prompt.Ask(); });
    return answer;
  }
  void WrongPassword(std::chrono::milliseconds delay) override {
    Run([&](SdlPasswordPrompt& prompt) { prompt.WrongPassword(delay); });
  }

 private:
  void Run(const std::function<void(SdlPasswordPrompt&)>& ask) {
    TDXDraw& draw = form_.PromptDraw();
    SDL_Window* const window = draw.Window();
    const bool elsewhere = window != form_.window_;
    if (elsewhere) {
      // The keys go to the window with the focus (the grabs stay ours).
      SDL_RaiseWindow(window);
      SDL_SetWindowInputFocus(window);
    }
    struct Open {
      TForm1& form;
      ~Open() { form.promptDraw_ = nullptr; }
    } open{form_};
    form_.promptDraw_ = &draw;
    SdlPasswordPrompt prompt(window, draw.Renderer(), this);
    ask(prompt);
    if (elsewhere && form_.running_) ScreenSaverRunning(form_.window_, true);
  }
  uint32_t ShowBehind(const std::function<void()>& drawDialog) override {
    return form_.ServeBehindPrompt(*form_.promptDraw_, drawDialog);
  }

  TForm1& form_;
};

namespace {


// On X11 the windows of the further monitors are override-redirect, as
// XScreenSaver's are, and placed by us: a window manager puts a full-screen
// window on the monitor it chooses (sway: the focused output), whatever
// place the window asked for. The form's own window stays managed: the
// window manager gives it the focus, which the frame timer runs on (and
// Xwayland lets the focus move only among windows of a client it focused).
// SDL reads this when it makes the X window, which it does again for a GL
// renderer: the set-up runs inside it too.
class PlacedByUs {
 public:
  explicit PlacedByUs(bool on) : on_(on) {
    if (on_) SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1");
  }
  ~PlacedByUs() {
    if (on_) SDL_ResetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT);
  }
  PlacedByUs(const PlacedByUs&) = delete;
  PlacedByUs& operator=(const PlacedByUs&) = delete;

 private:
  const bool on_;
};

// Borderless and on top, shown by the display set-up or the event loop.
// Made over the whole monitor from the start: a renderer may have SDL
// re-create the window, at the place it was created (and SDL picks the
// monitor of a full screen by the window's place).
SdlWindow CreateScreenWindow(const SDL_Rect& monitor, bool placedByUs) {
  PlacedByUs placed(placedByUs);
  SdlWindow w(SDL_CreateWindow(kApplicationTitle, monitor.x, monitor.y, monitor.w, monitor.h,
                               SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_HIDDEN));
  if (!w) throw std::runtime_error(SDL_GetError());
  SetWindowIcon(w.get());
  return w;
}

bool SameRect(const SDL_Rect& a, const SDL_Rect& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }

bool Contains(const SDL_Rect& r, SDL_Point p) { return p.x >= r.x && p.x < r.x + r.w && p.y >= r.y && p.y < r.y + r.h; }

// How often the monitors are looked at besides SDL's own display events
// (which say nothing of a monitor that changed its size).
constexpr uint32_t kMonitorCheckMs = 500;

}  // namespace

SdlWindow TForm1::CreateFormWindow() {
  SDL_Rect screen{0, 0, 640, 480};
  SDL_GetDisplayBounds(0, &screen);
  return CreateScreenWindow(screen, false);
}

TForm1::TMonitorWindow::TMonitorWindow(const SDL_Rect& bounds)
    : Bounds(bounds), window_(CreateScreenWindow(bounds, SdlOnX11())), DXDraw(window_.get()) {}

TForm1::TMonitorWindow::TMonitorWindow(const SDL_Rect& bounds, SDL_Window* hosted)
    : Bounds(bounds), hosted_(hosted), DXDraw(hosted) {}

TForm1::TForm1(Application& app, PasswordPrompt* prompt, const SettingsOverrides& options)
    : TForm1(app, prompt, CreateFormWindow(), nullptr, false, options) {}

TForm1::TForm1(Application& app, Hosted hosted, const SettingsOverrides& options)
    : TForm1(app, nullptr, nullptr, hosted.window, hosted.hostDefaults, options) {}

TForm1::TForm1(Application& app, PasswordPrompt* prompt, SdlWindow own, SDL_Window* hosted,
               bool hostDefaults, const SettingsOverrides& options)
    : generator(GeneratorShape::FullScreen, settings, random),
      app_(app),
      hosted_(!own),
      hostDefaults_(hostDefaults),
      options_(options),
      ownWindow_(std::move(own)),
      window_(hosted_ ? hosted : ownWindow_.get()),
      DXDraw(window_),
      DXTimer(app),
      ownPrompt_(prompt ? nullptr : std::make_unique<WindowPrompt>(*this)),
      verifier_(prompt ? *prompt : *ownPrompt_, [this](bool show) { app_.ShowCursor(show); }) {
  CursorPos = [this] { return Application::CursorScreenPos(window_); };
  MonitorBounds = [] { return Application::MonitorBounds(); };
  // The components as the form designer left them.
  DXDraw.SetOptions(kDefaultDXDrawOptions);  // doAllowReboot, doWaitVBlank, doCenter, ...
  DXDraw.AutoSize = true;
  DXDraw.OnMouseMove = [this](int x, int y) { DXDrawMouseMove(x, y); };
  DXTimer.SetInterval(31);
  DXTimer.SetActiveOnly(true);
  DXTimer.OnTimer = [this](TDXTimer& sender, uint32_t lag) { DXTimerTimer(sender, lag); };
  DXTimer.Loaded();
  if (!hosted_) {
    app_.HoldErrorsUntilRun();
    app_.SetErrorBox([this](const std::string& message, uint32_t closeAfterMs) {
      return ShowErrorOverAnimation(message, closeAfterMs);
    });
  }
  app_.Guard([this] { FormCreate(); });
}

TForm1::~TForm1() {
  if (!hosted_) app_.SetErrorBox(nullptr);
  DXTimer.SetEnabled(false);
  while (!MonitorWindows.empty()) ReleaseMonitorWindow(MonitorWindows.begin());
  if (running_) ScreenSaverRunning(window_, false);
  // Then DXDraw gives the screen back, and our window goes after it.
}

void TForm1::FormCreate() {
  random.Randomize();
  // A damaged settings key is reported once the saver runs, with defaults
  // standing in for the values that did not read. Under a host the hive is
  // not read at all.
  std::optional<ERegistryException> damaged;
  if (hostDefaults_)
    LoadHostedSettings(settings, random, options_);
  else
    damaged = LoadFullScreenSettings(settings, random, options_);

  try {
    SDL_DisplayMode desktop{};
    const int index = std::max(SDL_GetWindowDisplayIndex(window_), 0);
    if (SDL_GetDesktopDisplayMode(index, &desktop) != 0) throw std::runtime_error(SDL_GetError());
    DisplayBitCount = static_cast<int32_t>(SDL_BITSPERPIXEL(desktop.format));

    // Hosted, the host's window is our screen.
    if (!hosted_) SDL_SetWindowSize(window_, desktop.w, desktop.h);
    SDL_GetWindowSize(window_, &ScreenWidth, &ScreenHeight);

    generator.SetupFullScreen();

    DisplaySetup();
    // The other monitors: a window each. Hosted, the host covers them.
    if (!hosted_) CoverMonitors();
  } catch (...) {
    // No frame has been shown and none could be: a black window that only
    // repeats the error at every key would be all that is left. The error
    // box, then the end, with status 1.
    app_.Terminate(1);
    throw;
  }
  if (!hosted_) {  // hosted, the host owns cursor, input and locking
    SavedCursorPos = CursorPos();
    running_ = true;
    TakeGrabs();
    app_.ShowCursor(false);
  }
  if (damaged) throw *damaged;
}

void TForm1::DisplaySetup() {
  DXDraw.Finalize();
  DXDrawOptions options = DXDraw.Options();
  if (!hosted_) options.Add(O::doFullScreen);  // hosted: the host's window, not the display
  options.Add(O::doStretch);
  DXDraw.SetOptions(options);
  SizeDisplayAndSurface(DXDraw, ScreenWidth, ScreenHeight, DisplayBitCount);
  if (!hosted_) CentreWindow();
  DXDraw.Initialize();
}

void TForm1::CoverMonitors() {
  if (hosted_) return;
  monitorsCheckedAt_ = SDL_GetTicks();
  std::vector<SDL_Rect> monitors = MonitorBounds();
  if (monitors.empty()) return;  // between two outputs: wait for the next look
  monitorsSeen_ = monitors;
  // The form's own window covers the monitor it is on: a window manager
  // puts a full screen where it likes (sway: on the focused output). Off
  // every monitor (its own went) it moves to the first.
  const SDL_Point centre = MainCentre();
  auto own = std::find_if(monitors.begin(), monitors.end(), [&](const SDL_Rect& m) { return Contains(m, centre); });
  if (own == monitors.end()) {
    own = monitors.begin();
    if (promptDraw_ != &DXDraw) {
      DXDraw.Finalize();
      SDL_SetWindowPosition(window_, own->x, own->y);
      SDL_DisplayMode desktop{};
      if (SDL_GetDesktopDisplayMode(std::max(SDL_GetWindowDisplayIndex(window_), 0), &desktop) == 0)
        SDL_SetWindowSize(window_, desktop.w, desktop.h);
      SDL_GetWindowSize(window_, &ScreenWidth, &ScreenHeight);
      app_.Guard([this] { DisplaySetup(); });
    }
  }
  MainBounds = *own;
  monitors.erase(own);
  // Monitors gone (or changed): their windows go, but not the one the
  // password dialog is open in.
  for (auto it = MonitorWindows.begin(); it != MonitorWindows.end();) {
    const bool still = std::any_of(monitors.begin(), monitors.end(),
                                   [&](const SDL_Rect& m) { return SameRect(m, (*it)->Bounds); });
    if (still || &(*it)->DXDraw == promptDraw_)
      ++it;
    else
      ReleaseMonitorWindow(it);
  }
  for (const SDL_Rect& m : monitors) {
    const bool covered = std::any_of(MonitorWindows.begin(), MonitorWindows.end(),
                                     [&](const auto& w) { return SameRect(w->Bounds, m); });
    if (covered) continue;
    // One that cannot be set up says so once; the others run on.
    app_.Guard([&] {
      MonitorWindows.push_back(std::make_unique<TMonitorWindow>(m));
      TMonitorWindow& monitor = *MonitorWindows.back();
      app_.AddOwnWindow(monitor.Window());
      monitor.DXDraw.OnMouseMove = [this](int x, int y) { DXDrawMouseMove(x, y); };
      MonitorSetup(monitor);
    });
  }
}

void TForm1::MonitorSetup(TMonitorWindow& monitor) {
  // As the form's own display set-up, at that monitor's own size and depth.
  SDL_Window* const w = monitor.Window();
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(std::max(SDL_GetWindowDisplayIndex(w), 0), &desktop) != 0)
    throw std::runtime_error(SDL_GetError());
  SDL_SetWindowSize(w, desktop.w, desktop.h);
  TDXDraw& draw = monitor.DXDraw;
  draw.Finalize();
  DXDrawOptions options = DXDraw.Options();
  // One window waits for the blank, not each in turn: the frame timer paces.
  options.Remove(O::doWaitVBlank).Add(O::doFullScreen).Add(O::doStretch);
  draw.SetOptions(options);
  SizeDisplayAndSurface(draw, desktop.w, desktop.h, static_cast<int>(SDL_BITSPERPIXEL(desktop.format)));
  PlacedByUs placed(SdlOnX11());
  draw.Initialize();
}

void TForm1::AddHostedWindow(SDL_Window* window) {
  app_.Guard([&] {
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    MonitorWindows.push_back(std::make_unique<TMonitorWindow>(SDL_Rect{0, 0, w, h}, window));
    app_.AddOwnWindow(window);
    TDXDraw& draw = MonitorWindows.back()->DXDraw;
    // As the form's own hosted display: the window's size, stretched; the
    // frame timer paces, so no wait for the blank.
    DXDrawOptions options = DXDraw.Options();
    options.Remove(O::doWaitVBlank).Remove(O::doFullScreen).Add(O::doStretch);
    draw.SetOptions(options);
    draw.AutoSize = true;
    SizeDisplayAndSurface(draw, w, h, DisplayBitCount);
    draw.Initialize();
  });
}

void TForm1::ReleaseMonitorWindow(std::vector<std::unique_ptr<TMonitorWindow>>::iterator it) {
  app_.RemoveOwnWindow((*it)->Window());
  MonitorWindows.erase(it);
}

void TForm1::WatchMonitors() {
  if (hosted_ || SDL_GetTicks() - monitorsCheckedAt_ < kMonitorCheckMs) return;
  monitorsCheckedAt_ = SDL_GetTicks();
  const std::vector<SDL_Rect> monitors = MonitorBounds();
  const bool same = monitors.size() == monitorsSeen_.size() &&
                    std::equal(monitors.begin(), monitors.end(), monitorsSeen_.begin(), SameRect);
  if (!same || !Contains(MainBounds, MainCentre())) CoverMonitors();
}

SDL_Point TForm1::MainCentre() const {
  const SDL_Rect r = Application::WindowScreenRect(window_);
  return {r.x + r.w / 2, r.y + r.h / 2};
}

TDXDraw& TForm1::PromptDraw() {
  const SDL_Point p = CursorPos();
  for (auto& monitor : MonitorWindows)
    if (Contains(monitor->Bounds, p) && monitor->DXDraw.CanDraw() && monitor->DXDraw.Renderer()) return monitor->DXDraw;
  return DXDraw;
}

SDL_Window* TForm1::PromptWindow() { return PromptDraw().Window(); }

uint32_t TForm1::ServeBehindPrompt(TDXDraw& prompt, const std::function<void()>& drawDialog) {
  // The other monitors go on as the event loop would serve them (the tick
  // leaves the dialog's surface alone); monitors come and go meanwhile too.
  uint32_t wait = IdleHost::kWaitForever;
  if (MonitorWindows.empty())
    WatchMonitors();
  else if (IdleHandler* idle = app_.CurrentIdleHandler())
    app_.Guard([&] { wait = idle->Idle(); });
  // The dialog over black, as on a single monitor.
  if (SDL_Renderer* r = prompt.Renderer()) {
    SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
    SDL_RenderClear(r);
    drawDialog();
    SDL_RenderPresent(r);
  }
  return std::min<uint32_t>(wait, kMonitorCheckMs);
}

void TForm1::CentreWindow() {
  // Worked out here: SDL centres by the size the window was created with.
  SDL_Rect screen{0, 0, ScreenWidth, ScreenHeight};
  SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(window_), 0), &screen);
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  SDL_SetWindowPosition(window_, screen.x + (screen.w - w) / 2, screen.y + (screen.h - h) / 2);
}

// One frame: render, copy and blur once, then fill, load, flip on every
// monitor's surface.
void TForm1::DXTimerTimer(TDXTimer&, uint32_t) {
  generator.FrameTick();
  if (ShowFrame(DXDraw)) ++framesShown_;
  for (auto& monitor : MonitorWindows) ShowFrame(monitor->DXDraw);
  WatchMonitors();
}

bool TForm1::ShowFrame(TDXDraw& draw) {
  if (&draw == promptDraw_ || !draw.ReadyToDraw()) return false;  // the dialog is there
  draw.Surface().Fill(0);
  draw.Surface().LoadFromBitmap(generator.FieldBitmap());
  draw.Flip();
  return true;
}

void TForm1::FormKeyDown(SDL_Keycode) {
  if (DXDraw.ReadyToDraw())
    EndScreenSaver();
  else
    DisplaySetup();
}

void TForm1::DXDrawMouseMove(int, int) {
  if (DXDraw.ReadyToDraw()) {
    // The pointer's screen position, not the event's: the threshold is
    // measured from where it was when the display was set up.
    const SDL_Point p = CursorPos();
    if (std::abs(p.x - SavedCursorPos.x) > 5 || std::abs(p.y - SavedCursorPos.y) > 5) EndScreenSaver();
    return;
  }
  DisplaySetup();
  SavedCursorPos = CursorPos();
  DXDraw.SetVisible(true);
}

namespace {

// Another client's grab (an open menu, a drag) refuses ours for a moment:
// tried again this often, for so long, as lockers do.
constexpr uint32_t kGrabRetryMs = 100;
constexpr uint32_t kGrabPatienceMs = 5000;
// How long the saver says it is not locked before it ends.
constexpr uint32_t kNotLockedNoticeMs = 10000;
constexpr const char* kNotLocked = "The keyboard could not be grabbed; the screen is not locked.";
// A Wayland client can neither take the keyboard from the compositor nor
// learn whether its shortcuts still get through, and SDL 2.26 has no
// session lock: a saver there cannot lock.
constexpr const char* kCannotLock =
    "The screen cannot be locked on this desktop; use its own screen locker (for example swaylock).";

}  // namespace

void TForm1::TakeGrabs() {
  if (ScreenSaverRunning(window_, true)) return;
  grabsRefusedSince_ = SDL_GetTicks();
  app_.SetPulse(kGrabRetryMs, [this] { RetryGrabs(); });
}

void TForm1::RetryGrabs() {
  if (!running_ || ScreenSaverRunning(window_, true)) {
    app_.SetPulse(0, nullptr);
    return;
  }
  // Without a password nothing is locked: keep trying for as long as it runs.
  if (SDL_GetTicks() - grabsRefusedSince_ < kGrabPatienceMs || !PasswordProtectionSet()) return;
  app_.SetPulse(0, nullptr);
  // A screen that looks locked and is not is worse than none: say so, and
  // end (the box may get no input: the keyboard is someone else's).
  app_.ShowError(kNotLocked, kNotLockedNoticeMs);
  app_.ShowCursor(true);
  SDL_HideWindow(window_);
  for (auto& monitor : MonitorWindows) SDL_HideWindow(monitor->Window());
  ScreenSaverRunning(window_, false);
  running_ = false;
  app_.Terminate(1);
}

void TForm1::EndScreenSaver() {
  if (!verifier_.VerifyPassword()) return;  // keeps running as it was
  app_.ShowCursor(true);
  SDL_HideWindow(window_);
  for (auto& monitor : MonitorWindows) SDL_HideWindow(monitor->Window());
  ScreenSaverRunning(window_, false);
  running_ = false;
  app_.Terminate();
}

bool TForm1::ShowErrorOverAnimation(const std::string& message, uint32_t closeAfterMs) {
  if (hosted_ || !DXDraw.CanDraw() || !DXDraw.Renderer()) return false;
  // Modal in this window: the grabs stay, the box takes the keys (the one
  // that closes it does not end the saver) and the frames go on behind it.
  app_.ShowCursor(true);
  ShowErrorBox(kApplicationTitle, message,
               {.window = window_, .renderer = DXDraw.Renderer(), .backdrop = this, .closeAfterMs = closeAfterMs});
  app_.ShowCursor(false);
  SavedCursorPos = CursorPos();  // a pointer moved to press OK ends nothing
  return true;
}

uint32_t TForm1::ShowBehind(const std::function<void()>& drawDialog) {
  DXDraw.OnAfterDraw = [&](SDL_Renderer*) { drawDialog(); };
  const uint64_t before = framesShown_;
  uint32_t wait = IdleHost::kWaitForever;
  // The frame timer's tick, as the event loop would run it; an error there
  // waits for this box to close.
  if (IdleHandler* idle = app_.CurrentIdleHandler()) app_.Guard([&] { wait = idle->Idle(); });
  if (framesShown_ == before) {
    // No frame due: the dialog's new state over the last frame, or over black.
    if (DXDraw.ReadyToDraw()) {
      DXDraw.Flip();
    } else if (SDL_Renderer* r = DXDraw.Renderer()) {
      SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
      SDL_RenderClear(r);
      drawDialog();
      SDL_RenderPresent(r);
    }
  }
  DXDraw.OnAfterDraw = nullptr;
  return wait;
}

void TForm1::HandleEvent(const SDL_Event& e) {
  DXDraw.HandleEvent(e);  // lost surfaces, repaint, mouse movement
  for (auto& monitor : MonitorWindows) monitor->DXDraw.HandleEvent(e);
  // Monitors come, go or change, or the window manager moved ours.
  const bool moved = e.type == SDL_WINDOWEVENT && e.window.windowID == SDL_GetWindowID(window_) &&
                     (e.window.event == SDL_WINDOWEVENT_MOVED || e.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED);
  if (e.type == SDL_DISPLAYEVENT || moved) CoverMonitors();
  // Every key counts: while the flag is set the keyboard is ours anyway.
  if (e.type == SDL_KEYDOWN) FormKeyDown(e.key.keysym.sym);
}

int RunFullScreen(const SettingsOverrides& options) {
  Application app(kApplicationTitle);
  // Through Xwayland too: our X11 grabs then hold only X11 clients, and the
  // compositor's shortcuts and every Wayland window stay in reach.
  const char* session = std::getenv("WAYLAND_DISPLAY");
  if ((Application::OnWayland() || (session && *session)) && PasswordProtectionSet()) {
    // Rather than look locked and not be.
    app.ShowError(kCannotLock, kNotLockedNoticeMs);
    return 1;
  }
  TForm1 form(app, nullptr, options);
  app.SetMainWindow(form.Window(), [&form](const SDL_Event& e) { form.HandleEvent(e); });
  app.Run();
  return app.ExitStatus();
}

}  // namespace tav
