#include "harness.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tavtest {
namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& envp,
            const std::string& outFile) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const auto& e : envp) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = outFile.empty() ? "/dev/null" : outFile;
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // own group: killed as a whole
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &fa, &attr, args.data(), env.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  return pid;
}

std::vector<std::string> Environment(const std::string& display,
                                     const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq) vars[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
  }
  if (!display.empty()) vars["DISPLAY"] = display;
  for (const auto& [k, v] : extra) {
    if (v.empty()) vars.erase(k);
    else vars[k] = v;
  }
  std::vector<std::string> out;
  for (const auto& [k, v] : vars) out.push_back(k + "=" + v);
  return out;
}

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

Xvfb::Xvfb(int width, int height, int depth, const std::vector<std::string>& extra) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" +
                             std::to_string(depth);
  std::vector<std::string> argv = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                   screen, "-nolisten", "tcp", "-noreset"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    setpgid(0, 0);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execvp("Xvfb", args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  // -displayfd writes the display number and a newline once the server is ready.
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  while (Clock::now() < deadline) {
    const ssize_t n = read(fds[0], &c, 1);
    if (n == 1) {
      if (c == '\n') break;
      number += c;
    } else if (n == 0) {
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  close(fds[0]);
  if (!number.empty()) display_ = ":" + number;
}

Xvfb::~Xvfb() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int st;
    waitpid(pid_, &st, 0);
  }
}

Process::Process(const std::vector<std::string>& argv, const std::string& display,
                 const std::map<std::string, std::string>& env) {
  char name[] = "/tmp/tavtest-outXXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  outFile_ = name;
  pid_ = Spawn(argv, Environment(display, env), outFile_);
}

Process::~Process() {
  if (pid_ > 0 && !status_) {
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int st;
    waitpid(pid_, &st, 0);
  }
  if (!outFile_.empty()) unlink(outFile_.c_str());
}

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  if (pid_ <= 0) return status_ = 127;
  const auto deadline = Clock::now() + timeout;
  do {
    int st = 0;
    const pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (Clock::now() < deadline);
  return std::nullopt;
}

bool Process::Running() { return !Wait(std::chrono::milliseconds(0)).has_value(); }

void Process::Signal(int sig) {
  if (pid_ > 0 && !status_) kill(pid_, sig);
}

std::string Process::Output() const {
  std::ifstream in(outFile_);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

double Shot::NonBlackShare() const {
  if (width == 0 || height == 0) return 0;
  size_t n = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) n += (rgb[i] | rgb[i + 1] | rgb[i + 2]) != 0;
  return static_cast<double>(n) / (static_cast<double>(width) * height);
}

double Shot::DifferentShare(const Shot& other) const {
  if (width != other.width || height != other.height || width == 0) return 1;
  size_t n = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    n += rgb[i] != other.rgb[i] || rgb[i + 1] != other.rgb[i + 1] || rgb[i + 2] != other.rgb[i + 2];
  }
  return static_cast<double>(n) / (static_cast<double>(width) * height);
}

std::optional<Shot> Screenshot(const std::string& display, unsigned long window) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return std::nullopt;
  auto old = XSetErrorHandler(IgnoreXErrors);
  const Window w = window ? window : DefaultRootWindow(dpy);
  XWindowAttributes attrs;
  std::optional<Shot> shot;
  if (XGetWindowAttributes(dpy, w, &attrs)) {
    XImage* img = XGetImage(dpy, w, 0, 0, static_cast<unsigned>(attrs.width),
                            static_cast<unsigned>(attrs.height), AllPlanes, ZPixmap);
    if (img) {
      Shot s;
      s.width = attrs.width;
      s.height = attrs.height;
      s.rgb.resize(static_cast<size_t>(s.width) * s.height * 3);
      for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
          const unsigned long p = XGetPixel(img, x, y);
          uint8_t* o = &s.rgb[(static_cast<size_t>(y) * s.width + x) * 3];
          o[0] = static_cast<uint8_t>((p & img->red_mask) >> __builtin_ctzl(img->red_mask));
          o[1] = static_cast<uint8_t>((p & img->green_mask) >> __builtin_ctzl(img->green_mask));
          o[2] = static_cast<uint8_t>((p & img->blue_mask) >> __builtin_ctzl(img->blue_mask));
        }
      }
      XDestroyImage(img);
      shot = std::move(s);
    }
  }
  XSync(dpy, False);
  XSetErrorHandler(old);
  XCloseDisplay(dpy);
  return shot;
}

int Xdotool(const std::string& display, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  Process p(argv, display);
  const auto st = p.Wait(std::chrono::seconds(20));
  return st ? *st : -1;
}

std::optional<unsigned long> WaitForWindow(const std::string& display, const std::string& title,
                                           std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    char name[] = "/tmp/tavtest-winXXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    {
      Process p({"sh", "-c", "xdotool search --onlyvisible --name '^" + title + "$' > " + name},
                display);
      p.Wait(std::chrono::seconds(10));
    }
    std::ifstream in(name);
    unsigned long id = 0;
    const bool found = static_cast<bool>(in >> id);
    unlink(name);
    if (found && id) return id;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return std::nullopt;
}

std::string TempDir() {
  char name[] = "/tmp/tavtest-XXXXXX";
  const char* d = mkdtemp(name);
  return d ? d : "/tmp";
}

}  // namespace tavtest
