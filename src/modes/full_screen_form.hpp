#pragma once
// TForm1: the full-screen screen saver. One borderless window over each
// monitor, kept on top, showing the generated animation until a key press or
// a mouse movement of more than 5 pixels ends it after the password check.
// The form's own window covers the monitor it is on (the first, unless the
// window manager put it elsewhere); each further one gets a
// TMonitorWindow of the form's, which shows the same frames.
#include <SDL.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/application.hpp"
#include "platform/modal_dialog.hpp"
#include "generator/settings.hpp"
#include "display/dxdraw.hpp"
#include "display/sdl_handles.hpp"
#include "display/timer.hpp"
#include "generator/generator.hpp"
#include "generator/random.hpp"
#include "desktop/password.hpp"

namespace tav {

class TForm1 final : private ModalBackdrop {
 public:
  // prompt: the password dialog; without one the dialog is drawn in this
  // window. options: this run's command-line values. Runs FormCreate; an
  // error there is shown in the error box once the event loop runs, and ends
  // the saver with status 1 (no frame could ever be shown), except for a
  // damaged settings key, which is reported over the running animation.
  explicit TForm1(Application& app, PasswordPrompt* prompt = nullptr,
                  const SettingsOverrides& options = {});
  // Hosted: draws into window, made inside a screen-saver host's window
  // (or the desktop's root), and leaves input, cursor and locking to the
  // host (modes/hosted_window). hostDefaults: the host's settings tool is
  // the one truth, so its defaults stand in for the hive.
  struct Hosted {
    SDL_Window* window;
    bool hostDefaults = true;
  };
  TForm1(Application& app, Hosted hosted, const SettingsOverrides& options = {});
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  SDL_Window* Window() const { return window_; }
  // Everything the event loop delivers to this window.
  void HandleEvent(const SDL_Event& event);

  // Handlers.
  void FormCreate();                                        // the window is made
  void DXTimerTimer(TDXTimer& sender, uint32_t lagCount);   // DXTimer: one frame every 31 ms
  void FormKeyDown(SDL_Keycode key);                        // any key
  void DXDrawMouseMove(int x, int y);                       // the pointer moved over DXDraw

  // Where the cursor is on the screen; the desktop's pointer by default.
  std::function<SDL_Point()> CursorPos;
  // The monitors in global coordinates, the form's own first; SDL's
  // displays by default.
  std::function<std::vector<SDL_Rect>()> MonitorBounds;

  // The window and display surface over one further monitor.
  class TMonitorWindow {
   public:
    explicit TMonitorWindow(const SDL_Rect& bounds);  // raises std::runtime_error
    // Hosted: a further window the host gave us, which outlives this.
    TMonitorWindow(const SDL_Rect& bounds, SDL_Window* hosted);
    const SDL_Rect Bounds;  // the monitor it covers
    SDL_Window* Window() const { return window_ ? window_.get() : hosted_; }

   private:
    SdlWindow window_;  // before DXDraw: it goes after it
    SDL_Window* hosted_ = nullptr;

   public:
    TDXDraw DXDraw;
  };
  std::vector<std::unique_ptr<TMonitorWindow>> MonitorWindows;
  SDL_Rect MainBounds{0, 0, 0, 0};  // the monitor the form's own window covers

  // Gives every monitor its window and releases those of monitors that are
  // gone; the form's own window moves when the first monitor changed.
  void CoverMonitors();
  // Hosted: one more of the host's windows (the lock holder's, one a
  // monitor) shows the same frames; it must outlive the form.
  void AddHostedWindow(SDL_Window* window);
  // Where the password dialog goes: the window on the monitor under the
  // pointer (the form's own when the pointer is on none of them).
  SDL_Window* PromptWindow();

  // State of the mode.
  int32_t ScreenWidth = 0, ScreenHeight = 0;
  int32_t DisplayBitCount = 0;
  SDL_Point SavedCursorPos{0, 0};
  bool Running() const { return running_; }

  Settings settings;
  RandomGenerator random;
  PatternGenerator generator;

 private:
  class WindowPrompt;
  static SdlWindow CreateFormWindow();
  void DisplaySetup();  // display (re-)initialisation
  void MonitorSetup(TMonitorWindow& monitor);
  void ReleaseMonitorWindow(std::vector<std::unique_ptr<TMonitorWindow>>::iterator it);
  bool ShowFrame(TDXDraw& draw);
  SDL_Point MainCentre() const;
  void WatchMonitors();
  TDXDraw& PromptDraw();
  uint32_t ServeBehindPrompt(TDXDraw& prompt, const std::function<void()>& drawDialog);
  void CentreWindow();
  void EndScreenSaver();
  // The error box over the running animation; false when nothing is shown
  // (the box then gets a window of its own).
  bool ShowErrorOverAnimation(const std::string& message, uint32_t closeAfterMs);
  // X11 grabs that another client's grab refused are tried again.
  void TakeGrabs();
  void RetryGrabs();
  uint32_t ShowBehind(const std::function<void()>& drawDialog) override;

  // own: our window, or none when hosted (the host's window then comes from
  // its owner, which outlives the form).
  TForm1(Application& app, PasswordPrompt* prompt, SdlWindow own, SDL_Window* hosted,
         bool hostDefaults, const SettingsOverrides& options);

  Application& app_;
  const bool hosted_;
  const bool hostDefaults_;
  const SettingsOverrides options_;
  // Before the components: they belong to the window and go before it.
  SdlWindow ownWindow_;
  SDL_Window* const window_;  // the one drawn into: ownWindow_'s or the hosted one

 public:
  TDXDraw DXDraw;
  TDXTimer DXTimer;

 private:
  std::unique_ptr<PasswordPrompt> ownPrompt_;
  PasswordVerifier verifier_;
  bool running_ = false;  // the screen-saver-running flag as we set it
  uint64_t framesShown_ = 0;
  uint32_t grabsRefusedSince_ = 0;
  std::vector<SDL_Rect> monitorsSeen_;  // as CoverMonitors last found them
  uint32_t monitorsCheckedAt_ = 0;
  TDXDraw* promptDraw_ = nullptr;       // the surface the password dialog is on, while it is open
};

// The full-screen mode ("/s" and any other switch) in windows of our own:
// the exit status.
int RunFullScreen(const SettingsOverrides& options);

}  // namespace tav
