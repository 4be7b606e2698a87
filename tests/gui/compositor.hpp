#pragma once
// A headless sway of a test's own: outputs of given sizes and places, its
// Xwayland (started by sway with its first X client), commands run as the
// ordinary user inside the session, screenshots per output through grim,
// keys through wtype and questions through swaymsg (answers picked with jq).
// sway refuses to run as root: under root everything runs as the tests' user.
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness.hpp"
#include "staging.hpp"

namespace tavtest {

// One headless output: its size and its place in the layout.
struct OutputSpec {
  int width = 1024, height = 768;
  int x = 0, y = 0;
};

class Sway {
 public:
  // Why compositor tests cannot run on this machine (a program missing, no
  // user to run sway as); nullopt when they can. Tests GTEST_SKIP on it.
  static std::optional<std::string> Unavailable();

  // Starts sway with outputs HEADLESS-1, HEADLESS-2, ... as given and waits
  // (up to 20 s) until it answers on its socket.
  explicit Sway(const std::vector<OutputSpec>& outputs);
  ~Sway();  // ends sway and its Xwayland
  Sway(const Sway&) = delete;
  Sway& operator=(const Sway&) = delete;

  bool Ok() const { return ok_; }
  std::string Log() const;  // what sway wrote, for failure messages

  const HackUser& User() const { return user_; }
  // A folder owned by the user (HOME of the session's commands; XDG_CONFIG_HOME
  // is its .config): files the programs read or write go here.
  const std::filesystem::path& Home() const { return home_.path; }
  // Gives a file or folder the test made (recursively) to the user.
  void HandOver(const std::filesystem::path& p) const;
  const std::string& WaylandDisplay() const { return waylandDisplay_; }
  // The DISPLAY of sway's Xwayland (":N"), learned from sway itself; the
  // server starts when its first client connects. Empty if it has none.
  std::string XDisplay();

  // argv as the user inside the session: HOME, PATH, XDG_RUNTIME_DIR,
  // WAYLAND_DISPLAY, SWAYSOCK, XDG_CONFIG_HOME, then env (an empty value
  // unsets a variable). DISPLAY is the Xwayland's when withX, else unset.
  std::vector<std::string> Command(const std::vector<std::string>& argv, bool withX = false,
                                   const std::map<std::string, std::string>& env = {});
  // A long-running program in the session (killed with the object).
  std::unique_ptr<Process> Start(const std::vector<std::string>& argv, bool withX = false,
                                 const std::map<std::string, std::string>& env = {});
  // A short one, run to its end (at most a minute): its status, -1 if it hung.
  int Run(const std::vector<std::string>& argv, std::string* output = nullptr,
          bool withX = false, const std::map<std::string, std::string>& env = {});

  // `swaymsg -t type payload`: the JSON answer, nullopt when swaymsg failed.
  // For example Ipc("get_outputs"), Ipc("command", "create_output").
  std::optional<std::string> Ipc(const std::string& type, const std::string& payload = "");
  // The answer to `swaymsg -t type` picked with `jq -r filter`, one value a
  // line, trailing newline removed; nullopt when either failed.
  std::optional<std::string> Query(const std::string& type, const std::string& filter);
  // Active output names in layout order.
  std::vector<std::string> OutputNames();

  // A screenshot of one output (`grim -o name`), nullopt when it failed.
  std::optional<Shot> Grab(const std::string& output);
  // `wtype args...` (for example {"-k", "space"}): its exit status. Each
  // call plugs in a virtual keyboard of its own and unplugs it at the end.
  int Type(const std::vector<std::string>& args);
  // A virtual keyboard that stays plugged in until the process is killed.
  // The headless seat has no keyboard; SDL 2.26's Wayland back end crashes
  // when one appears with a key already down, or when the seat announces a
  // keyboard but has no keymap (as after a wtype came and went while
  // another keyboard stayed) at the moment a window gets the keyboard: plug
  // this in before a Wayland client starts.
  std::unique_ptr<Process> PlugKeyboard();

 private:
  HackUser user_;
  SharedDir home_;
  std::filesystem::path runtimeDir_;
  std::string waylandDisplay_, swaySock_, xDisplay_;
  std::unique_ptr<Process> sway_;
  bool ok_ = false;
  int files_ = 0;  // numbers the scratch files in Home()
};

// An 8-bit RGB PNG file read into a Shot; nullopt when it cannot be read.
std::optional<Shot> ReadPng(const std::filesystem::path& file);

}  // namespace tavtest
