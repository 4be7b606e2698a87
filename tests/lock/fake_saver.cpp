// A stand-in for the main program's lock modes, for the holder's tests.
//   --lock-draw ... --windows IDS: fills each window with TAV_FAKE_COLOUR
//     (hex RGB, default 00ff00) and beats its heart every 300 ms; with
//     TAV_FAKE_DRAW=silent it never beats.
//   --lock-prompt --window ID --failures N: a white box; on Return compares
//     the typed text with TAV_FAKE_PASSWORD. TAV_FAKE_PROMPT=garbage|crash|
//     exit0|extra makes it misbehave at the first Return instead.
// Each writes what the tests check into TAV_FAKE_DIR: its pid, arguments,
// open descriptors, oom_score_adj and (prompt) whether it is dumpable.
#include <X11/Xlib.h>
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "lock/lock_protocol.hpp"

// Closed on every way out: under the leak checker a connection left open
// would turn the exit status the holder judges into the checker's.
struct CloseDisplay {
  void operator()(Display* dpy) const { XCloseDisplay(dpy); }
};
using Connection = std::unique_ptr<Display, CloseDisplay>;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Written whole and renamed, so a test never reads half a file.
void Note(const std::string& name, const std::string& text) {
  const std::string path = Env("TAV_FAKE_DIR") + "/" + name;
  std::ofstream(path + ".tmp") << text;
  std::rename((path + ".tmp").c_str(), path.c_str());
}

std::string OpenFds() {
  std::string out;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.' && std::atoi(e->d_name) != dirfd(d)) out += std::string(e->d_name) + " ";
    }
    closedir(d);
  }
  return out;
}

std::string Slurp(const char* path) {
  std::ifstream in(path);
  std::string s;
  std::getline(in, s);
  return s;
}

void Fill(Display* dpy, Window parent, unsigned long pixel) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, parent, &a)) return;
  const Window w = XCreateSimpleWindow(dpy, parent, 0, 0, static_cast<unsigned>(a.width),
                                       static_cast<unsigned>(a.height), 0, 0, pixel);
  XMapWindow(dpy, w);
  XFlush(dpy);
}

int Draw(const std::vector<std::string>& args) {
  std::string list, all;
  for (std::size_t i = 0; i < args.size(); ++i) {
    all += args[i] + " ";
    if (args[i] == "--windows" && i + 1 < args.size()) list = args[i + 1];
  }
  Note("draw.args", all);
  Note("draw.fds", OpenFds());
  Note("draw.oom", Slurp("/proc/self/oom_score_adj"));
  Note("draw.pid", std::to_string(getpid()));
  const auto windows = tav::lock::ParseWindowList(list);
  const Connection connection(XOpenDisplay(nullptr));
  Display* dpy = connection.get();
  if (!windows || !dpy) return 1;
  const std::string colour = Env("TAV_FAKE_COLOUR");
  const unsigned long pixel = colour.empty() ? 0x00ff00 : std::strtoul(colour.c_str(), nullptr, 16);
  for (unsigned long w : *windows) Fill(dpy, w, pixel);
  const bool silent = Env("TAV_FAKE_DRAW") == "silent";
  while (true) {
    if (!silent && !tav::lock::WriteHeartbeat(tav::lock::kChildFd)) return 1;
    usleep(300000);
  }
}

int Prompt(const std::vector<std::string>& args) {
  tav::lock::MakeNonDumpable();
  rlimit core{};
  getrlimit(RLIMIT_CORE, &core);
  Note("prompt.info", "dumpable=" + std::to_string(prctl(PR_GET_DUMPABLE)) +
                          " core=" + std::to_string(core.rlim_cur) + " oom=" + Slurp("/proc/self/oom_score_adj"));
  std::string failures = "?";
  unsigned long window = 0;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--failures") failures = args[i + 1];
    if (args[i] == "--window") window = std::strtoul(args[i + 1].c_str(), nullptr, 10);
  }
  Note("prompt.failures", failures);
  Note("prompt.pid", std::to_string(getpid()));
  const Connection connection(XOpenDisplay(nullptr));
  Display* dpy = connection.get();
  if (dpy && window) Fill(dpy, window, 0xffffff);
  const std::string mode = Env("TAV_FAKE_PROMPT");
  std::string typed;
  tav::lock::KeyRecord key;
  while (tav::lock::ReadKeyRecord(0, key) == tav::lock::ReadResult::Key) {
    if (key.keysym != tav::lock::kKeysymReturn) {
      typed.append(key.text, key.textLength);
      Note("prompt.typed", typed);
      continue;
    }
    if (mode == "garbage") {
      if (write(tav::lock::kChildFd, "not a record at all", 19) < 0) return 3;
    } else if (mode == "crash") {
      std::abort();
    } else if (mode == "exit0") {
      return 0;
    } else if (typed == Env("TAV_FAKE_PASSWORD")) {
      tav::lock::WriteResultRecord(tav::lock::kChildFd, tav::lock::ResultKind::Verified);
      if (mode == "extra") tav::lock::WriteResultRecord(tav::lock::kChildFd, tav::lock::ResultKind::Wrong);
      return 0;
    } else {
      tav::lock::WriteResultRecord(tav::lock::kChildFd, tav::lock::ResultKind::Wrong);
    }
    typed.clear();
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--lock-draw") return Draw(args);
  if (!args.empty() && args[0] == "--lock-prompt") return Prompt(args);
  std::fprintf(stderr, "fake saver: --lock-draw or --lock-prompt\n");
  return 2;
}
