// Tavorensia as an XScreenSaver hack: installed into a staging tree, started
// by the real daemon (run as an ordinary user: it refuses root), and started
// the way xscreensaver-settings starts its preview pane.
// GoogleTest before Xlib: Xlib's macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
// clang-format on
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.hpp"
#include "staging.hpp"

namespace {

using tavtest::ReadFile;
using tavtest::RunToEnd;
using tavtest::WaitUntil;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A process that ended, or whose zombie only waits to be reaped.
bool Gone(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return true;
  const auto close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z' ||
         stat[close + 2] == 'X';
}

// The processes whose program is exe, by pid.
std::vector<pid_t> ProcessesOf(const fs::path& exe) {
  std::vector<pid_t> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ec2;
    const fs::path target = fs::read_symlink(e.path() / "exe", ec2);
    if (!ec2 && target == exe) {
      const pid_t pid = std::stoi(name);
      if (!Gone(pid)) out.push_back(pid);
    }
  }
  return out;
}

std::string EnvironmentOf(pid_t pid, const std::string& name) {
  const std::string env = ReadFile("/proc/" + std::to_string(pid) + "/environ");
  std::istringstream in(env);
  std::string var;
  while (std::getline(in, var, '\0')) {
    if (var.rfind(name + "=", 0) == 0) return var.substr(name.size() + 1);
  }
  return "";
}

// An X connection of the test's own that survives errors (windows vanish
// under it on purpose).
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

struct XConnection {
  Display* dpy = nullptr;
  explicit XConnection(const std::string& display) {
    XSetErrorHandler(IgnoreXErrors);
    dpy = XOpenDisplay(display.c_str());
  }
  ~XConnection() {
    if (dpy) XCloseDisplay(dpy);
  }
  std::vector<Window> Children(Window w) const {
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    std::vector<Window> out;
    if (XQueryTree(dpy, w, &root, &parent, &kids, &n) && kids) {
      out.assign(kids, kids + n);
      XFree(kids);
    }
    return out;
  }
  std::pair<int, int> Size(Window w) const {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, w, &a)) return {0, 0};
    return {a.width, a.height};
  }
};

std::string HexId(unsigned long id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%lX", id);
  return buf;
}

// Share of non-black pixels in the rectangle [x0, x1) × [y0, y1) of a shot.
double NonBlackIn(const tavtest::Shot& s, int x0, int y0, int x1, int y1) {
  size_t n = 0, all = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x, ++all) n += (s.R(x, y) | s.G(x, y) | s.B(x, y)) != 0;
  }
  return all ? static_cast<double>(n) / static_cast<double>(all) : 0;
}

// Leak checking is off for the program: SDL's session-bus library leaves
// blocks behind that LeakSanitizer cannot attribute (as in the full-screen
// tests). Everything else the sanitizers find still fails these tests.
constexpr const char* kNoLeakCheck = "detect_leaks=0";

const char* const kSanitizerMarks[] = {"AddressSanitizer", "LeakSanitizer", "runtime error:",
                                       "X Error of failed request"};

// The daemon blanks the screen with the installed hack; the picture moves;
// on deactivation the hack is gone within a second.
TEST(XScreenSaverDaemon, RunsTheInstalledHackAndStopsItOnDeactivate) {
  // Orphaned hacks (their parent, xscreensaver-gfx, exits on unblank) come
  // to this process, so their exit status can be read.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const tavtest::HackUser user = tavtest::HackUser::Get();
  ASSERT_FALSE(user.name.empty()) << "no ordinary user to run the daemon as";
  tavtest::SharedDir stage(user), home(user);
  ASSERT_FALSE(stage.path.empty());
  ASSERT_FALSE(home.path.empty());
  tavtest::StagedInstall inst(stage.path);
  ASSERT_EQ(inst.status, 0) << inst.log;
  ASSERT_TRUE(fs::exists(inst.HackEntry()));

  {
    std::ofstream rc(home.path / ".xscreensaver");
    rc << "mode:\t\tone\nselected:\t0\ntimeout:\t1:00:00\ncycle:\t\t0:00:00\nlock:\t\tFalse\n"
          "fade:\t\tFalse\nunfade:\t\tFalse\nsplash:\t\tFalse\ndpmsEnabled:\tFalse\n"
          "programs:\t\t\\\n\t\t"
       << inst.HackEntry().string() << " --root --detail 0 --color 3\t\\n\\\n\n";
  }
  if (user.switchUser) {
    ASSERT_EQ(chown((home.path / ".xscreensaver").c_str(), user.uid, user.gid), 0);
  }

  tavtest::Xvfb x(800, 600);
  ASSERT_TRUE(x.Ok());
  const auto command = [&](const std::string& what) {
    return RunToEnd(user.Command(home.path, x.Display(), {"xscreensaver-command", what}), x.Display());
  };
  tavtest::Process daemon(user.Command(home.path, x.Display(),
                                       {"env", std::string("ASAN_OPTIONS=") + kNoLeakCheck,
                                        "xscreensaver", "-no-splash", "-verbose"}),
                          x.Display());
  ASSERT_TRUE(WaitUntil([&] { return command("-time") == 0; }, 15s, 100ms))
      << daemon.Output();
  ASSERT_EQ(command("-activate"), 0);

  const fs::path exe = fs::canonical(inst.Bin("tavorensia"));
  pid_t hack = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto pids = ProcessesOf(exe);
        if (pids.size() == 1) hack = pids[0];
        return hack != 0;
      },
      15s))
      << daemon.Output();
  // The options of the programs: line reach the hack.
  std::string cmdline = ReadFile("/proc/" + std::to_string(hack) + "/cmdline");
  std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
  EXPECT_NE(cmdline.find(" --root --detail 0 --color 3"), std::string::npos) << cmdline;
  const std::string hostVar = EnvironmentOf(hack, "XSCREENSAVER_WINDOW");
  ASSERT_EQ(hostVar.rfind("0x", 0), 0u) << hostVar;
  const unsigned long hostWindow = std::stoul(hostVar, nullptr, 16);
  ASSERT_NE(hostWindow, 0u);

  // Frames reach the screen, inside a child window of the daemon's window.
  // At detail 0 the coarse tiles cover about 40% of the picture, whatever
  // the random draws (over 90% at the default detail).
  constexpr double kCovered = 0.3;
  XConnection xc(x.Display());
  ASSERT_TRUE(xc.dpy);
  double nonBlack = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto s = tavtest::Screenshot(x.Display());
        nonBlack = s ? s->NonBlackShare() : 0;
        return nonBlack > kCovered;
      },
      20s, 200ms))
      << "non-black share " << nonBlack << "\n"
      << daemon.Output();
  EXPECT_FALSE(xc.Children(hostWindow).empty());
  const auto first = tavtest::Screenshot(x.Display());
  std::this_thread::sleep_for(500ms);
  const auto second = tavtest::Screenshot(x.Display());
  ASSERT_TRUE(first && second);
  const double changed = first->DifferentShare(*second);
  std::cout << "hosted full screen: non-black share " << second->NonBlackShare()
            << ", changed share over 0.5 s " << changed << "\n";
  EXPECT_GT(second->NonBlackShare(), kCovered);
  EXPECT_GT(changed, 0.1);
  EXPECT_FALSE(Gone(hack));

  const auto t0 = Clock::now();
  ASSERT_EQ(command("-deactivate"), 0);
  const bool gone = WaitUntil([&] { return Gone(hack); }, 5s, 2ms);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  std::cout << "deactivate to hack gone: " << ms << " ms\n";
  ASSERT_TRUE(gone);
  EXPECT_LE(ms, 1000);

  // The hack ended by itself on SIGTERM, not killed by the signal or an error.
  int status = 0;
  if (waitpid(hack, &status, 0) == hack) {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  } else {
    EXPECT_EQ(errno, ECHILD);  // reaped by its parent before that exited
  }
  command("-exit");
  daemon.Wait(5s);
  const std::string log = daemon.Output();
  for (const char* mark : kSanitizerMarks) EXPECT_EQ(log.find(mark), std::string::npos) << log;
}

// xscreensaver-settings' preview pane: "tavorensia --root --window-id 0x…"
// into a window of the settings tool. The host keeps input; the picture
// follows the window's size; the saver ends on SIGTERM and when the window
// is destroyed under it, cleanly and at once.
TEST(XScreenSaverPreview, DrawsIntoTheGivenWindowAndEndsWithIt) {
  enum class End { Signal, DestroyWindow };
  // Both ways to the screen that a host's window gets without a GPU: frames
  // scaled by the server, and written straight into the window's framebuffer.
  for (const char* path : {"xrender", "software"})
  for (const End end : {End::Signal, End::DestroyWindow}) {
    SCOPED_TRACE(testing::Message() << path << (end == End::Signal ? ", SIGTERM" : ", window destroyed"));
    tavtest::Xvfb x(800, 600);
    ASSERT_TRUE(x.Ok());
    XConnection xc(x.Display());
    ASSERT_TRUE(xc.dpy);
    const Window host = XCreateSimpleWindow(xc.dpy, DefaultRootWindow(xc.dpy), 0, 0, 320, 240,
                                            0, 0, 0);
    XMapWindow(xc.dpy, host);
    XSync(xc.dpy, False);

    const std::string config = tavtest::TempDir();
    tavtest::Process saver({TAV_EXE, "--root", "--window-id", HexId(host)}, x.Display(),
                           {{"XSCREENSAVER_WINDOW", "0x7fffff"},
                            {"XDG_CONFIG_HOME", config},
                            {"TAVORENSIA_PRESENT", path},
                            {"ASAN_OPTIONS", kNoLeakCheck}});
    double nonBlack = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
          const auto s = tavtest::Screenshot(x.Display(), host);
          nonBlack = s ? s->NonBlackShare() : 0;
          return nonBlack > 0.5;
        },
        20s, 100ms))
        << "non-black share " << nonBlack << "\n"
        << saver.Output();
    ASSERT_EQ(xc.Children(host).size(), 1u);
    const Window child = xc.Children(host)[0];

    // Keyboard and mouse stay free for the host, and input does not end the saver.
    EXPECT_EQ(XGrabKeyboard(xc.dpy, DefaultRootWindow(xc.dpy), False, GrabModeAsync,
                            GrabModeAsync, CurrentTime),
              GrabSuccess);
    XUngrabKeyboard(xc.dpy, CurrentTime);
    EXPECT_EQ(XGrabPointer(xc.dpy, DefaultRootWindow(xc.dpy), False, 0, GrabModeAsync,
                           GrabModeAsync, None, None, CurrentTime),
              GrabSuccess);
    XUngrabPointer(xc.dpy, CurrentTime);
    XSync(xc.dpy, False);
    tavtest::Xdotool(x.Display(), {"mousemove", "10", "10", "mousemove", "200", "200"});
    tavtest::Xdotool(x.Display(), {"key", "space"});
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(saver.Running());

    // The picture follows the host window's size.
    XResizeWindow(xc.dpy, host, 640, 480);
    XSync(xc.dpy, False);
    EXPECT_TRUE(WaitUntil([&] { return xc.Size(child) == std::make_pair(640, 480); }, 5s));
    double corner = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
          const auto s = tavtest::Screenshot(x.Display(), host);
          corner = s && s->width == 640 ? NonBlackIn(*s, 400, 300, 640, 480) : 0;
          // The new area is the host's black until we draw there; a random
          // picture can be dark in one corner, so any real share of colour counts.
          return corner > 0.1;
        },
        5s, 100ms))
        << "non-black share of the new corner " << corner;

    const auto t0 = Clock::now();
    if (end == End::Signal) {
      saver.Signal(SIGTERM);
    } else {
      XDestroyWindow(xc.dpy, host);
      XSync(xc.dpy, False);
    }
    const auto status = saver.Wait(5s);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    std::cout << (end == End::Signal ? "SIGTERM" : "host window destroyed") << " to exit: " << ms
              << " ms\n";
    ASSERT_TRUE(status) << "still running 5 s later";
    EXPECT_EQ(*status, 0) << saver.Output();
    EXPECT_LE(ms, 1000);
    const std::string out = saver.Output();
    for (const char* mark : kSanitizerMarks) EXPECT_EQ(out.find(mark), std::string::npos) << out;
    std::error_code ec;
    fs::remove_all(config, ec);
  }
}

// A window id that names no window: the saver ends by itself, without
// opening a window of its own.
TEST(XScreenSaverPreview, EndsWhenTheGivenWindowDoesNotExist) {
  tavtest::Xvfb x(320, 240);
  ASSERT_TRUE(x.Ok());
  const std::string config = tavtest::TempDir();
  tavtest::Process saver({TAV_EXE, "--root", "--window-id", "0x7FFFFF"}, x.Display(),
                         {{"XSCREENSAVER_WINDOW", ""},
                          {"XDG_CONFIG_HOME", config},
                          {"ASAN_OPTIONS", kNoLeakCheck}});
  const auto status = saver.Wait(10s);
  ASSERT_TRUE(status) << "still running";
  EXPECT_NE(*status, 0);
  EXPECT_LT(*status, 128) << "killed by a signal";
  XConnection xc(x.Display());
  ASSERT_TRUE(xc.dpy);
  EXPECT_TRUE(xc.Children(DefaultRootWindow(xc.dpy)).empty());
  std::error_code ec;
  fs::remove_all(config, ec);
}

// "--root" by itself is a live desktop background: the picture moves in the
// root window (or in the virtual root a window manager announces), stays
// under a window opened later, leaves keyboard and mouse free, is not ended
// by a key, and ends with status 0 on SIGTERM.
TEST(DesktopBackground, DrawsIntoTheRootUntilSigterm) {
  for (const bool virtualRoot : {false, true}) {
    SCOPED_TRACE(virtualRoot ? "virtual root" : "root");
    tavtest::Xvfb x(640, 480);
    ASSERT_TRUE(x.Ok());
    XConnection xc(x.Display());
    ASSERT_TRUE(xc.dpy);
    const Window root = DefaultRootWindow(xc.dpy);
    Window desktop = root;
    if (virtualRoot) {  // as a window manager with a virtual desktop makes it
      XSetWindowAttributes sa{};
      sa.override_redirect = True;
      desktop = XCreateWindow(xc.dpy, root, 0, 0, 640, 480, 0, CopyFromParent, InputOutput,
                              CopyFromParent, CWOverrideRedirect, &sa);
      const Atom vroot = XInternAtom(xc.dpy, "__SWM_VROOT", False);
      XChangeProperty(xc.dpy, desktop, vroot, XA_WINDOW, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&desktop), 1);
      XMapWindow(xc.dpy, desktop);
      XSync(xc.dpy, False);
    }
    const std::string config = tavtest::TempDir();
    tavtest::Process saver({TAV_EXE, "--root", "--speed", "60"}, x.Display(),
                           {{"XSCREENSAVER_WINDOW", ""},
                            {"XDG_CONFIG_HOME", config},
                            {"ASAN_OPTIONS", kNoLeakCheck}});
    double nonBlack = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
          const auto s = tavtest::Screenshot(x.Display());
          nonBlack = s ? s->NonBlackShare() : 0;
          return nonBlack > 0.5;
        },
        20s, 100ms))
        << "non-black share " << nonBlack << "\n"
        << saver.Output();
    ASSERT_EQ(xc.Children(desktop).size(), 1u);
    const Window ours = xc.Children(desktop)[0];

    // A window opened afterwards stays on top of the background.
    const Window other = XCreateSimpleWindow(xc.dpy, desktop, 10, 10, 100, 100, 0, 0, 0xFFFFFF);
    XMapRaised(xc.dpy, other);
    XSync(xc.dpy, False);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(xc.Children(desktop).front(), ours) << "the background is not the lowest window";

    // Keyboard and mouse are free, and a key or a movement does not end it.
    EXPECT_EQ(XGrabKeyboard(xc.dpy, root, False, GrabModeAsync, GrabModeAsync, CurrentTime),
              GrabSuccess);
    XUngrabKeyboard(xc.dpy, CurrentTime);
    XSync(xc.dpy, False);
    tavtest::Xdotool(x.Display(), {"mousemove", "300", "300", "mousemove", "20", "400"});
    tavtest::Xdotool(x.Display(), {"key", "space"});
    const auto first = tavtest::Screenshot(x.Display());
    std::this_thread::sleep_for(500ms);
    const auto second = tavtest::Screenshot(x.Display());
    ASSERT_TRUE(first && second);
    const double changed = first->DifferentShare(*second);
    std::cout << "desktop background: non-black share " << second->NonBlackShare()
              << ", changed share over 0.5 s " << changed << "\n";
    EXPECT_GT(changed, 0.1);
    EXPECT_TRUE(saver.Running());

    saver.Signal(SIGTERM);
    const auto status = saver.Wait(5s);
    ASSERT_TRUE(status) << "still running 5 s after SIGTERM";
    EXPECT_EQ(*status, 0) << saver.Output();
    const std::string out = saver.Output();
    for (const char* mark : kSanitizerMarks) EXPECT_EQ(out.find(mark), std::string::npos) << out;
    std::error_code ec;
    fs::remove_all(config, ec);
  }
}

// Every option that tavorensia.xml offers XScreenSaver's settings tool is
// one the program takes, over exactly the range the XML gives: the default
// and both ends are accepted, one step beyond either end is refused with
// exit status 2 and a line naming the option and its range. An accepted
// command line goes on to the (missing) window and ends with status 1.
TEST(XScreenSaverXml, EveryOptionItNamesIsAcceptedOverItsRange) {
  const std::string xml = ReadFile(fs::path(TAV_SOURCE_DIR) / "data/tavorensia.xml");
  ASSERT_FALSE(xml.empty());
  // The value of an attribute of one element (its text from "<" to ">").
  const auto attr = [](const std::string& tag, const std::string& name) {
    for (size_t at = tag.find(name + "=\""); at != std::string::npos; at = tag.find(name + "=\"", at + 1)) {
      if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;  // "arg" in "arg-set"
      const size_t start = at + name.size() + 2;
      return tag.substr(start, tag.find('"', start) - start);
    }
    return std::string();
  };
  struct Run {
    std::vector<std::string> args;
    int status;
    std::string says;  // in its output
  };
  std::vector<Run> runs;
  std::vector<std::string> labels;
  // Every <number>, <option> and <boolean> element, in order.
  for (size_t open = xml.find('<'); open != std::string::npos; open = xml.find('<', open + 1)) {
    const std::string tag = xml.substr(open, xml.find('>', open) - open + 1);
    const std::string kind = tag.substr(1, tag.find_first_of(" \t\n/>") - 1);
    if (kind != "number" && kind != "option" && kind != "boolean") continue;
    labels.push_back(attr(tag, "_label"));
    if (kind == "number") {
      const std::string arg = attr(tag, "arg");
      ASSERT_EQ(arg.substr(arg.size() - 2), " %") << tag;
      const std::string name = arg.substr(0, arg.size() - 2);
      const int low = std::stoi(attr(tag, "low")), high = std::stoi(attr(tag, "high"));
      const int def = std::stoi(attr(tag, "default"));
      const std::string range = "from " + std::to_string(low) + " to " + std::to_string(high);
      for (const int v : {low, def, high}) runs.push_back({{name, std::to_string(v)}, 1, ""});
      for (const int v : {low - 1, high + 1}) runs.push_back({{name, std::to_string(v)}, 2, name + " needs a whole number " + range});
    } else {
      for (const char* a : {"arg-set", "arg-unset"}) {
        const std::string set = attr(tag, a);
        if (set.empty()) continue;
        std::vector<std::string> words;
        std::istringstream in(set);
        for (std::string w; in >> w;) words.push_back(w);
        runs.push_back({words, 1, ""});
      }
    }
  }
  // The settings window's captions, the eleven colour modes and both states of Random.
  for (const char* caption : {"Speed", "Detailed", "Vanguard", "Picture", "Random"}) {
    EXPECT_NE(std::find(labels.begin(), labels.end(), caption), labels.end()) << caption;
  }
  EXPECT_EQ(std::count_if(labels.begin(), labels.end(),
                          [](const std::string& l) { return l.rfind("Color ", 0) == 0; }),
            11);
  ASSERT_GE(runs.size(), 4u * 5 + 10 + 1);
  runs.push_back({{"--random"}, 1, ""});  // the check box's other state, as a user may type it

  tavtest::Xvfb x(320, 240);
  ASSERT_TRUE(x.Ok());
  const std::string config = tavtest::TempDir();
  for (const Run& r : runs) {
    std::vector<std::string> argv = {TAV_EXE, "--root"};
    argv.insert(argv.end(), r.args.begin(), r.args.end());
    argv.insert(argv.end(), {"--window-id", "0x7FFFFF"});
    std::string line;
    for (const auto& a : r.args) line += a + " ";
    SCOPED_TRACE(line);
    std::string out;
    EXPECT_EQ(RunToEnd(argv, x.Display(), {{"XDG_CONFIG_HOME", config}, {"ASAN_OPTIONS", kNoLeakCheck}},
                       &out),
              r.status)
        << out;
    if (!r.says.empty()) {
      EXPECT_NE(out.find(r.says), std::string::npos) << out;
    }
  }
  std::error_code ec;
  fs::remove_all(config, ec);
}

}  // namespace
