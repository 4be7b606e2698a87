#pragma once
// Helpers for tests that run the real programs under an X server of their
// own: an Xvfb per fixture, child processes with a timeout, screenshots read
// back with Xlib, and xdotool for keys and mouse.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// SDL on X11 and Mesa leave blocks of system libraries behind (the session
// bus library's among them) whose stacks the leak checker cannot unwind, so
// no suppression can name them. A test that checks pixels or a dialog's
// behaviour only turns leak checking off while it runs.
#define TAV_SYSTEM_LIBRARIES_MAY_LEAK() __lsan::ScopedDisabler lsanOff
#else
#define TAV_SYSTEM_LIBRARIES_MAY_LEAK() (void)0
#endif

namespace tavtest {

// An Xvfb server on a free display number, ended with the object.
class Xvfb {
 public:
  // extra: more arguments for the server, such as {"-dpi", "192"}.
  explicit Xvfb(int width = 1024, int height = 768, int depth = 24,
                const std::vector<std::string>& extra = {});
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  const std::string& Display() const { return display_; }  // ":N"
  bool Ok() const { return pid_ > 0 && !display_.empty(); }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// A child process. Its environment is this process's, with DISPLAY and the
// given variables set (an empty value unsets one).
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& display,
          const std::map<std::string, std::string>& env = {});
  ~Process();  // kills the process if it still runs
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  pid_t Pid() const { return pid_; }
  // The exit status (or 128 + signal) once it ended, none after the timeout.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  bool Running();
  void Signal(int sig);
  // Everything written to stdout and stderr so far.
  std::string Output() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::string outFile_;
};

// An RGB image read from a window (the root window when id is 0).
struct Shot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel, rows top down
  uint8_t R(int x, int y) const { return rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  uint8_t G(int x, int y) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + 1]; }
  uint8_t B(int x, int y) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + 2]; }
  // Share of pixels that are not pure black, 0..1.
  double NonBlackShare() const;
  // Share of pixels that differ from other (same size), 0..1.
  double DifferentShare(const Shot& other) const;
};
std::optional<Shot> Screenshot(const std::string& display, unsigned long window = 0);

// Runs xdotool with the given arguments on the display; its exit status.
int Xdotool(const std::string& display, const std::vector<std::string>& args);

// Waits until a top-level window whose name is exactly title is mapped; its id.
std::optional<unsigned long> WaitForWindow(const std::string& display, const std::string& title,
                                           std::chrono::milliseconds timeout);

// A fresh, empty folder for XDG_CONFIG_HOME and files of one test.
std::string TempDir();

}  // namespace tavtest
