#include "forms/full_screen_form.hpp"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "app/command_line.hpp"
#include "app/host_window_request.hpp"
#include "app/modes.hpp"
#include "app/settings_store.hpp"
#include "app/window_icon.hpp"
#include "forms/hosted_window.hpp"
#include "preview/host_dialogs.hpp"

namespace tav {

using O = TDXDrawOption;

// The password dialog drawn in this window with the display's renderer,
// which a re-initialisation may have replaced since the last time.
class TForm1::WindowPrompt final : public PasswordPrompt {
 public:
  explicit WindowPrompt(TForm1& form) : form_(form) {}
  std::optional<SecureString> Ask() override {
    SdlPasswordPrompt prompt(form_.window_, form_.DXDraw.Renderer());
    return prompt.Ask();
  }
  void WrongPassword(std::chrono::milliseconds delay) override {
    SdlPasswordPrompt prompt(form_.window_, form_.DXDraw.Renderer());
    prompt.WrongPassword(delay);
  }

 private:
  TForm1& form_;
};

SdlWindow TForm1::CreateFormWindow() {
  // Borderless and on top, shown by the display set-up or the event loop.
  // Made over the whole screen from the start: a renderer may have SDL
  // re-create the window, at the place it was created.
  SDL_Rect screen{0, 0, 640, 480};
  SDL_GetDisplayBounds(0, &screen);
  SdlWindow w(SDL_CreateWindow(kApplicationTitle, screen.x, screen.y, screen.w, screen.h,
                               SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_HIDDEN));
  if (!w) throw std::runtime_error(SDL_GetError());
  SetWindowIcon(w.get());
  return w;
}

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
  DXDraw.Display.SetWidth(ScreenWidth);
  DXDraw.Display.SetHeight(ScreenHeight);
  DXDraw.SetSurfaceWidth(ScreenWidth);
  DXDraw.SetSurfaceHeight(ScreenHeight);
  DXDraw.Display.SetBitCount(DisplayBitCount);
  if (!hosted_) CentreWindow();
  DXDraw.Initialize();
}

void TForm1::CentreWindow() {
  // Worked out here: SDL centres by the size the window was created with.
  SDL_Rect screen{0, 0, ScreenWidth, ScreenHeight};
  SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(window_), 0), &screen);
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  SDL_SetWindowPosition(window_, screen.x + (screen.w - w) / 2, screen.y + (screen.h - h) / 2);
}

// One frame: render, copy and blur, then fill, load, flip.
void TForm1::DXTimerTimer(TDXTimer&, uint32_t) {
  generator.FrameTick();
  if (!DXDraw.ReadyToDraw()) return;
  DXDraw.Surface().Fill(0);
  DXDraw.Surface().LoadFromBitmap(generator.FieldBitmap());
  DXDraw.Flip();
  ++framesShown_;
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
  ScreenSaverRunning(window_, false);
  running_ = false;
  app_.Terminate(1);
}

void TForm1::EndScreenSaver() {
  if (!verifier_.VerifyPassword()) return;  // keeps running as it was
  app_.ShowCursor(true);
  SDL_HideWindow(window_);
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
  // Every key counts: while the flag is set the keyboard is ours anyway.
  if (e.type == SDL_KEYDOWN) FormKeyDown(e.key.keysym.sym);
}

int RunFullScreen(int argc, char** argv) {
  const FullScreenOptions options = ParseFullScreenOptions(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "tavorensia: %s\n", options.error.c_str());
    return 2;
  }
  // Inside a screen-saver host's window (XScreenSaver) instead of our own.
  if (const auto host = HostWindowRequest(argc, argv, std::getenv("XSCREENSAVER_WINDOW")))
    return RunHostedFullScreen(*host, options.settings);
  if (DesktopBackgroundRequest(argc, argv, std::getenv("XSCREENSAVER_WINDOW")))
    return RunDesktopBackground(options.settings);
  Application app(kApplicationTitle);
  TForm1 form(app, nullptr, options.settings);
  app.SetMainWindow(form.Window(), [&form](const SDL_Event& e) { form.HandleEvent(e); });
  app.Run();
  return app.ExitStatus();
}

}  // namespace tav
