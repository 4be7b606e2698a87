#pragma once
// Application: the process's windowing object on SDL2. It carries the title,
// the main window and the other windows it counts as its own, the one event
// loop with its idle processing, activation from the focus of any of them,
// the cursor's show count and the top-level error box.
#include <SDL.h>

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/timer.hpp"

struct _XDisplay;  // Xlib's Display

namespace tav {

// The title that the task bar, the error box and the dialogs show.
inline constexpr const char* kApplicationTitle = "Tavorensia Screensaver";

// No real display could be opened (no X server, no Wayland compositor);
// what() is SDL's reason. The entry says so on stderr and exits 1.
class ENoDisplay : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Which display a mode can run on. Native: Wayland when the session has a
// compositor (WAYLAND_DISPLAY), else X11; its Xwayland, when there is one,
// while the seat has no keyboard yet (platform/wayland_seat.hpp). X11: modes
// whose windows live in other programs' X11 windows (the preview, the
// XScreenSaver modes).
enum class Windowing { Native, X11 };

class Application final : public IdleHost {
 public:
  // Sets the title before anything else exists, then starts SDL's video
  // (raises ENoDisplay when nothing opens) and our own X error handler.
  // SDL_VIDEODRIVER, when set, names the driver whatever windowing says.
  explicit Application(std::string title, Windowing windowing = Windowing::Native);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  const std::string& Title() const { return title_; }

  // The main window and the handler its events (and all input) go to. Focus
  // of this window makes the application active.
  using EventHandler = std::function<void(const SDL_Event&)>;
  void SetMainWindow(SDL_Window* window, EventHandler handler);
  SDL_Window* MainWindow() const { return mainWindow_; }
  // More windows of the main window's (one on each further monitor): their
  // focus counts as the main window's, so the application stays active
  // while the focus moves among them. Removed before they are destroyed.
  void AddOwnWindow(SDL_Window* window);
  void RemoveOwnWindow(SDL_Window* window);
  bool OwnWindow(SDL_Window* window) const;

  // The monitors' rectangles in global coordinates, SDL's display 0 first.
  static std::vector<SDL_Rect> MonitorBounds();
  // Where a window is on the screen. On X11 asked of the server: SDL puts
  // a full-screen window where it asked for it, not where the window
  // manager did.
  static SDL_Rect WindowScreenRect(SDL_Window* window);

  // Shows the main window and handles events until Terminate. Without a main
  // window it returns at once. Errors raised before it are shown first. The
  // main window, its handler and the pulse are forgotten when it returns.
  void Run();
  // Calls f about every intervalMs from the loop itself, between events.
  // No timer thread: an event pushed from another thread makes SDL send a
  // wake-up to the window, which fails once a host has destroyed it.
  void SetPulse(uint32_t intervalMs, std::function<void()> f);
  // Handles what is queued and returns (modal dialogs inside a handler use it).
  void ProcessMessages();
  // Ends the event loop; status is the process's exit status.
  void Terminate(int status = 0) {
    terminated_ = true;
    exitStatus_ = status;
  }
  bool Terminated() const { return terminated_; }
  int ExitStatus() const { return exitStatus_; }

  // Runs f; an exception escaping it is shown in the error box, f stops
  // there and the caller carries on. Answers whether f completed.
  bool Guard(const std::function<void()>& f);
  // The error box ("Tavorensia Screensaver", the message, OK), modal; the
  // message goes to stderr as well. Errors raised while a box is open wait
  // for it and are shown in turn. closeAfterMs: the box closes by itself
  // after so long (0: only OK, Enter or Esc close it).
  void ShowError(const std::string& message, uint32_t closeAfterMs = 0);
  // Errors of a window's creation wait until Run has shown the window, so
  // that their box comes over it.
  void HoldErrorsUntilRun() { holding_ = true; }
  // How the main window shows the box over itself (the full-screen window,
  // over its running animation); it answers false when it cannot, and the
  // box then comes in a small window of its own.
  using ErrorBox = std::function<bool(const std::string& message, uint32_t closeAfterMs)>;
  void SetErrorBox(ErrorBox box) { errorBox_ = std::move(box); }
  // In a host's window the host holds the input: errors go to stderr only.
  void SetErrorsToStderrOnly() { stderrOnly_ = true; }

  // The host's cursor show count: visible while the count is >= 0.
  int ShowCursor(bool show);
  int CursorCount() const { return cursorCount_; }

  // IdleHost
  void SetIdleHandler(IdleHandler* handler) override { idle_ = handler; }
  IdleHandler* CurrentIdleHandler() const override { return idle_; }
  bool Active() const override { return active_; }
  void AddActivationListener(ActivationListener* listener) override;
  void RemoveActivationListener(ActivationListener* listener) override;
  // Activation as the focus events report it; also for tests.
  void SetActive(bool active);

  // Xlib connection and window id of an SDL window, or null/0 when SDL does
  // not run on X11.
  static _XDisplay* XDisplayOf(SDL_Window* window);
  static unsigned long XWindowOf(SDL_Window* window);
  // Whether SDL runs on a Wayland compositor's own protocol.
  static bool OnWayland();
  // The pointer's position on the screen. On X11 asked of the server, as
  // SDL's own answer can lag behind the last motion. On Wayland, which tells
  // a client no global position, the motion over our windows summed from
  // (0, 0) at the start.
  static SDL_Point CursorScreenPos(SDL_Window* window);
  // X protocol errors that our handler saw, and no trap awaited, since the
  // start (display/x11_handles.hpp).
  static unsigned long XErrorCount();

 private:
  void Dispatch(const SDL_Event& event);
  void ShowWaitingErrors();
  SDL_Window* RaisingWindow() const;
  uint32_t RunIdle();
  uint32_t RunPulse();

  std::string title_;
  SDL_Window* mainWindow_ = nullptr;
  std::vector<SDL_Window*> ownWindows_;  // besides the main window
  EventHandler handler_;
  IdleHandler* idle_ = nullptr;
  std::vector<ActivationListener*> listeners_;
  bool active_ = false;
  bool terminated_ = false;
  int exitStatus_ = 0;
  int cursorCount_ = 0;
  ErrorBox errorBox_;
  bool stderrOnly_ = false;
  bool holding_ = false;
  bool boxOpen_ = false;
  struct WaitingError {
    std::string message;
    uint32_t closeAfterMs;
  };
  std::vector<WaitingError> waitingErrors_;
  std::function<void()> pulse_;
  uint32_t pulseInterval_ = 0;
  uint32_t lastPulse_ = 0;
};

}  // namespace tav
