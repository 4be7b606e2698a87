// tavorensia-lock: while the screen is locked, holds the keyboard and pointer
// grabs and a black cover over the screen, and nothing more. The picture and
// the password prompt run in children (modes of the main program) that may
// crash or hang: the cover and the grabs stay, and the children start again.
// It keeps no password: keys pass through it to the prompt child one record
// at a time, and only the child's Verified record and clean exit unlock.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lock/holder_rules.hpp"
#include "lock/lock_protocol.hpp"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using tav::lock::Clock;

// The main program's words for the same failure.
constexpr const char* kNotLocked =
    "Tavorensia Screensaver: The keyboard could not be grabbed; the screen is not locked.";
constexpr auto kGrabRetry = 100ms;
constexpr auto kGrabPatience = 5s;
constexpr auto kGrabRefresh = 3s;  // a grab another client broke is taken back this soon
constexpr auto kHeartbeatTimeout = 10s;
constexpr auto kPromptIdle = 30s;
constexpr auto kKillGrace = 1s;
constexpr int kPromptWidth = 480, kPromptHeight = 220;  // at 96 dpi
constexpr int kWakeDistance = 5;                        // pixels the pointer may stray

struct Child {
  pid_t pid = -1;
  int fd = -1;    // read end: heartbeats or results
  int keys = -1;  // prompt only: write end of the key pipe
  Clock::time_point lastSign;  // start, last heartbeat or last key
  Clock::time_point killAt;    // SIGKILL then, once SIGTERM was sent
  bool closing = false;        // ended by the holder: not a failed attempt
};

// Typed text lives only here, locked in memory and wiped after each key.
struct alignas(4096) KeyScratch {
  tav::lock::KeyRecord record;
  char text[64];
  char latin1[64];
};
KeyScratch gScratch;

Display* gDpy = nullptr;
Window gRoot = 0, gCover = 0, gPrompt = 0;
std::vector<Window> gPictures;
std::vector<XRectangle> gMonitors;
Cursor gInvisible = 0;
int gRandrEvent = -1;
XIC gIc = nullptr;
unsigned gNumLockMask = 0;
int gSaver = -1;  // the main program, opened once: an upgrade cannot take it away
std::string gSaverPath;
std::vector<std::string> gSaverOptions;
Child gDraw, gAsk;
std::vector<Clock::time_point> gDrawStarts;
Clock::time_point gNextDrawStart;
tav::lock::ResultStream gResults;
int gFailures = 0;
Clock::time_point gRefuseUntil;
int gStartX = 0, gStartY = 0;
bool gDone = false, gUnlocked = false;

void Log(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "tavorensia-lock: %s\n", line);
}

// Errors about windows that went away meanwhile are expected; none is fatal.
int OnXError(Display* dpy, XErrorEvent* e) {
  char text[160];
  XGetErrorText(dpy, e->error_code, text, sizeof text);
  Log("X error: %s (request %d.%d, resource 0x%lx)", text, e->request_code, e->minor_code, e->resourceid);
  return 0;
}

int OnXIoError(Display*) {
  Log("the display is gone");
  if (gDraw.pid > 0) kill(gDraw.pid, SIGKILL);
  if (gAsk.pid > 0) kill(gAsk.pid, SIGKILL);
  _exit(1);
}

// ---- windows ---------------------------------------------------------------

std::vector<XRectangle> Monitors() {
  std::vector<XRectangle> out;
  int n = 0;
  XRRMonitorInfo* m = gRandrEvent >= 0 ? XRRGetMonitors(gDpy, gRoot, True, &n) : nullptr;
  for (int i = 0; i < n; ++i)
    if (m[i].width > 0 && m[i].height > 0)
      out.push_back({static_cast<short>(m[i].x), static_cast<short>(m[i].y), static_cast<unsigned short>(m[i].width),
                     static_cast<unsigned short>(m[i].height)});
  if (m) XRRFreeMonitors(m);
  const int s = DefaultScreen(gDpy);
  if (out.empty())  // no RandR 1.5: the whole root
    out.push_back({0, 0, static_cast<unsigned short>(DisplayWidth(gDpy, s)),
                   static_cast<unsigned short>(DisplayHeight(gDpy, s))});
  return out;
}

Window BlackWindow(Window parent, int x, int y, unsigned w, unsigned h, bool overrideRedirect) {
  XSetWindowAttributes a{};
  a.background_pixel = BlackPixel(gDpy, DefaultScreen(gDpy));
  a.override_redirect = overrideRedirect;
  a.cursor = gInvisible;
  const Window win = XCreateWindow(gDpy, parent, x, y, w, h, 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixel | CWOverrideRedirect | CWCursor, &a);
  return win;
}

void RaiseCover() {
  XRaiseWindow(gDpy, gCover);
  if (gPrompt && gAsk.pid > 0) XRaiseWindow(gDpy, gPrompt);
}

// One picture window a monitor, inside the cover; false if nothing changed.
bool UpdatePictures() {
  const std::vector<XRectangle> now = Monitors();
  const auto same = [](const XRectangle& a, const XRectangle& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
  };
  if (now.size() == gMonitors.size() && std::equal(now.begin(), now.end(), gMonitors.begin(), same)) return false;
  // The new ones first: the cover shows black in between either way.
  std::vector<Window> old = std::move(gPictures);
  gPictures.clear();
  for (const XRectangle& m : now) {
    gPictures.push_back(BlackWindow(gCover, m.x, m.y, m.width, m.height, false));
    XMapWindow(gDpy, gPictures.back());
  }
  for (Window w : old) XDestroyWindow(gDpy, w);
  gMonitors = now;
  RaiseCover();
  return true;
}

void Terminate(Child& c);

void FollowRootSize() {
  const int s = DefaultScreen(gDpy);
  XMoveResizeWindow(gDpy, gCover, 0, 0, static_cast<unsigned>(DisplayWidth(gDpy, s)),
                    static_cast<unsigned>(DisplayHeight(gDpy, s)));
  // The drawing child draws into windows that are gone: a new one for the new ones.
  if (UpdatePictures()) Terminate(gDraw);
}

bool Grab() {
  const int k = XGrabKeyboard(gDpy, gRoot, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  const int p = XGrabPointer(gDpy, gRoot, False, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                             GrabModeAsync, 0, gInvisible, CurrentTime);
  return k == GrabSuccess && p == GrabSuccess;
}

void SetUpInput() {
  // The built-in input method only (compose sequences): no input-method
  // server sees the password.
  std::setlocale(LC_CTYPE, "");
  if (!XSupportsLocale()) std::setlocale(LC_CTYPE, "C");
  XSetLocaleModifiers("@im=none");
  if (XIM im = XOpenIM(gDpy, nullptr, nullptr, nullptr)) {
    gIc = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, gCover,
                    XNFocusWindow, gRoot, nullptr);
    if (gIc) XSetICFocus(gIc);
  }
  // Num Lock is whichever modifier carries its key.
  if (XModifierKeymap* map = XGetModifierMapping(gDpy)) {
    const KeyCode numLock = XKeysymToKeycode(gDpy, XK_Num_Lock);
    for (int i = 0; i < 8 * map->max_keypermod; ++i)
      if (numLock && map->modifiermap[i] == numLock) gNumLockMask = 1u << (i / map->max_keypermod);
    XFreeModifiermap(map);
  }
}

// ---- children --------------------------------------------------------------

// Runs the saver with stdin = in (or /dev/null) and fd 3 = out.
pid_t Spawn(const std::vector<std::string>& args, int in, int out, bool prompt) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Only async-signal-safe calls from here on.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  // Under memory pressure the kernel takes a child, never the holder.
  if (const int oom = open("/proc/self/oom_score_adj", O_WRONLY | O_CLOEXEC); oom >= 0) {
    if (write(oom, "1000", 4) < 0) {}
    close(oom);
  }
  if (prompt) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
  }
  if (in < 0) in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int hiIn = fcntl(in, F_DUPFD_CLOEXEC, 10), hiOut = fcntl(out, F_DUPFD_CLOEXEC, 10);
  const int hiExe = fcntl(gSaver, F_DUPFD_CLOEXEC, 10);
  if (hiIn < 0 || hiOut < 0 || hiExe < 0 || dup2(hiIn, 0) < 0 || dup2(hiOut, 3) < 0 ||
      dup3(hiExe, 4, O_CLOEXEC) < 0)
    _exit(127);
  if (close_range(5, ~0U, 0) != 0)
    for (int fd = 5; fd < 1024; ++fd) close(fd);
  fexecve(4, argv.data(), environ);
  _exit(127);
}

void Terminate(Child& c) {
  if (c.pid <= 0 || c.closing) return;
  kill(c.pid, SIGTERM);
  c.closing = true;
  c.killAt = Clock::now() + kKillGrace;
}

void CloseFds(Child& c) {
  if (c.fd >= 0) close(c.fd);
  if (c.keys >= 0) close(c.keys);
  c.fd = c.keys = -1;
}

void StartDraw() {
  int hb[2];
  if (pipe2(hb, O_CLOEXEC) != 0) return;
  fcntl(hb[0], F_SETFL, O_NONBLOCK);
  std::string ids;
  for (Window w : gPictures) {
    if (!ids.empty()) ids += ',';
    ids += std::to_string(w);
  }
  std::vector<std::string> args{gSaverPath, "--lock-draw", "--heartbeat-fd", "3"};
  args.insert(args.end(), gSaverOptions.begin(), gSaverOptions.end());
  args.insert(args.end(), {"--windows", ids});
  XSync(gDpy, False);  // the windows exist before the child looks for them
  gDraw = Child{};
  gDraw.pid = Spawn(args, -1, hb[1], false);
  close(hb[1]);
  if (gDraw.pid < 0) {
    Log("cannot start the picture: %s", std::strerror(errno));
    close(hb[0]);
  } else {
    gDraw.fd = hb[0];
  }
  gDraw.lastSign = Clock::now();
  gDrawStarts.push_back(gDraw.lastSign);
  if (gDrawStarts.size() > 5) gDrawStarts.erase(gDrawStarts.begin());
  // Also the pause before another try when the start itself failed.
  gNextDrawStart = tav::lock::NextDrawStart(gDrawStarts, gDraw.lastSign);
}

void Pointer(int& x, int& y) {
  int wx, wy;
  unsigned mask;
  Window r, c;
  XQueryPointer(gDpy, gRoot, &r, &c, &x, &y, &wx, &wy, &mask);
}

void ShowPrompt() {
  int x = 0, y = 0;
  Pointer(x, y);
  XRectangle m = gMonitors.front();
  for (const XRectangle& each : gMonitors)
    if (x >= each.x && y >= each.y && x < each.x + each.width && y < each.y + each.height) m = each;
  const double scale = tav::lock::XftDpiScale(XResourceManagerString(gDpy));
  const int w = std::min<int>(static_cast<int>(kPromptWidth * scale), m.width);
  const int h = std::min<int>(static_cast<int>(kPromptHeight * scale), m.height);
  if (!gPrompt) gPrompt = BlackWindow(gCover, 0, 0, 1, 1, false);
  XMoveResizeWindow(gDpy, gPrompt, m.x + (m.width - w) / 2, m.y + (m.height - h) / 2, static_cast<unsigned>(w),
                    static_cast<unsigned>(h));
  XMapRaised(gDpy, gPrompt);
}

bool StartPrompt() {
  int keys[2], results[2];
  if (pipe2(keys, O_CLOEXEC) != 0) return false;
  if (pipe2(results, O_CLOEXEC) != 0) return close(keys[0]), close(keys[1]), false;
  // A prompt that reads no keys must not stall the holder: keys it leaves are dropped.
  fcntl(keys[1], F_SETFL, O_NONBLOCK);
  fcntl(results[0], F_SETFL, O_NONBLOCK);
  ShowPrompt();
  XSync(gDpy, False);
  gAsk = Child{};
  gResults = tav::lock::ResultStream{};
  gAsk.pid = Spawn({gSaverPath, "--lock-prompt", "--window", std::to_string(gPrompt), "--failures",
                    std::to_string(gFailures)},
                   keys[0], results[1], true);
  close(keys[0]);
  close(results[1]);
  gAsk.fd = results[0];
  gAsk.keys = keys[1];
  gAsk.lastSign = Clock::now();
  if (gAsk.pid < 0) {
    Log("cannot start the password prompt: %s", std::strerror(errno));
    CloseFds(gAsk);
    XUnmapWindow(gDpy, gPrompt);
    return false;
  }
  return true;
}

void CountFailure() {
  ++gFailures;
  gRefuseUntil = Clock::now() + tav::lock::DelayAfterFailures(gFailures);
}

// Reads what the prompt wrote; a malformed stream fails the attempt and ends the prompt.
void ReadResults() {
  unsigned char buf[256];
  while (gAsk.fd >= 0) {
    const ssize_t n = read(gAsk.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // EAGAIN: all read for now
    if (n == 0) {
      close(gAsk.fd);
      gAsk.fd = -1;
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      switch (gResults.Feed(buf[i])) {
        case tav::lock::ResultStream::Event::Wrong:
          CountFailure();
          break;
        case tav::lock::ResultStream::Event::Malformed:
          if (!gAsk.closing) CountFailure();
          Terminate(gAsk);
          gAsk.closing = true;  // also when it has exited already: counted once
          break;
        default:
          break;
      }
    }
  }
}

void ReadHeartbeats() {
  char buf[64];
  ssize_t n;
  while ((n = read(gDraw.fd, buf, sizeof buf)) > 0) gDraw.lastSign = Clock::now();
  if (n == 0) {  // it closed its end: silence from now on, as if hung
    close(gDraw.fd);
    gDraw.fd = -1;
  }
}

void ChildEnded(pid_t pid, int status) {
  if (pid == gDraw.pid) {
    CloseFds(gDraw);
    gDraw.pid = -1;
    // Whatever it drew into our windows goes; the cover shows black until the next one.
    for (Window w : gPictures) XClearWindow(gDpy, w);
    gNextDrawStart = tav::lock::NextDrawStart(gDrawStarts, Clock::now());
  } else if (pid == gAsk.pid) {
    gAsk.pid = -1;  // reaped: no signal may reach its number again
    ReadResults();  // all it wrote is in the pipe now
    const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!gAsk.closing) {
      if (clean && gResults.Verified()) {
        gUnlocked = gDone = true;
      } else {
        CountFailure();
      }
    }
    CloseFds(gAsk);
    if (gPrompt) XUnmapWindow(gDpy, gPrompt);
    Pointer(gStartX, gStartY);
  }
}

void Reap() {
  int status;
  pid_t pid;
  while ((pid = waitpid(-1, &status, WNOHANG)) > 0) ChildEnded(pid, status);
}

// ---- input -----------------------------------------------------------------

// The key's text as UTF-8 into gScratch.text; its length.
int KeyText(XKeyEvent& ev, KeySym& sym) {
  int n;
  if (gIc) {
    Status st;
    n = Xutf8LookupString(gIc, &ev, gScratch.text, sizeof gScratch.text, &sym, &st);
    if (st == XBufferOverflow || st == XLookupNone) n = 0;
    if (st == XLookupNone) sym = NoSymbol;
  } else {
    const int m = XLookupString(&ev, gScratch.latin1, sizeof gScratch.latin1, &sym, nullptr);
    n = 0;
    for (int i = 0; i < m && n + 2 <= static_cast<int>(sizeof gScratch.text); ++i) {
      const auto c = static_cast<unsigned char>(gScratch.latin1[i]);
      if (c < 0x80) {
        gScratch.text[n++] = static_cast<char>(c);
      } else {
        gScratch.text[n++] = static_cast<char>(0xc0 | (c >> 6));
        gScratch.text[n++] = static_cast<char>(0x80 | (c & 0x3f));
      }
    }
  }
  // Control characters (Return, BackSpace, Ctrl+U) are keys, not text.
  if (n > 0 && (static_cast<unsigned char>(gScratch.text[0]) < 0x20 || gScratch.text[0] == 0x7f)) n = 0;
  return std::max(n, 0);
}

void OnKey(XKeyEvent& ev) {
  KeySym sym = NoSymbol;
  const int n = KeyText(ev, sym);
  const bool waking = gAsk.pid <= 0;
  bool forward = true;
  if (waking) {
    forward = !IsModifierKey(sym) && sym != XK_Return && sym != XK_KP_Enter && sym != XK_Escape && sym != NoSymbol;
    if (!StartPrompt()) forward = false;
  } else if (sym == XK_Escape) {
    gAsk.lastSign = Clock::now();
    Terminate(gAsk);
    forward = false;
  }
  if (!waking) gAsk.lastSign = Clock::now();
  // After a wrong answer keys are dropped until the delay is over.
  if (forward && !gAsk.closing && gAsk.keys >= 0 && Clock::now() >= gRefuseUntil) {
    uint16_t flags = 0;
    if (ev.state & LockMask) flags |= tav::lock::kCapsLockOn;
    if (gNumLockMask && (ev.state & gNumLockMask)) flags |= tav::lock::kNumLockOn;
    if (ev.state & ShiftMask) flags |= tav::lock::kShiftDown;
    if (ev.state & ControlMask) flags |= tav::lock::kControlDown;
    if (ev.state & Mod1Mask) flags |= tav::lock::kAltDown;
    gScratch.record = tav::lock::MakeKeyRecord(static_cast<uint32_t>(sym), flags,
                                               std::string_view(gScratch.text, static_cast<std::size_t>(n)));
    if (write(gAsk.keys, &gScratch.record, sizeof gScratch.record) < 0) Log("a key was lost: %s", std::strerror(errno));
  }
  explicit_bzero(&gScratch, sizeof gScratch);
}

void OnEvent(XEvent& ev) {
  switch (ev.type) {
    case KeyPress:
      OnKey(ev.xkey);
      break;
    case ButtonPress:
      if (gAsk.pid <= 0) StartPrompt();
      break;
    case MotionNotify:
      if (gAsk.pid <= 0 && (std::abs(ev.xmotion.x_root - gStartX) > kWakeDistance ||
                            std::abs(ev.xmotion.y_root - gStartY) > kWakeDistance))
        StartPrompt();
      break;
    case MapNotify:
      if (ev.xmap.window != gCover) RaiseCover();
      break;
    case CirculateNotify:
      if (ev.xcirculate.window != gCover) RaiseCover();
      break;
    case ConfigureNotify:
      if (ev.xconfigure.window == gRoot) FollowRootSize();
      else if (ev.xconfigure.window != gCover) RaiseCover();
      break;
    default:
      if (gRandrEvent >= 0 && (ev.type == gRandrEvent + RRScreenChangeNotify || ev.type == gRandrEvent + RRNotify)) {
        XRRUpdateConfiguration(&ev);
        FollowRootSize();
      }
      break;
  }
}

// ---- the loop --------------------------------------------------------------

int SignalFd() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGCHLD);
  sigaddset(&set, SIGTERM);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGHUP, SIG_IGN);
  signal(SIGINT, SIG_IGN);
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

void ReadSignals(int sfd) {
  signalfd_siginfo info;
  while (read(sfd, &info, sizeof info) == sizeof info) gDone = gDone || info.ssi_signo == SIGTERM;
  Reap();
}

// The timers: heartbeats, idle prompt, kill deadlines, restarts, grabs.
Clock::time_point RunTimers(Clock::time_point& nextGrab) {
  const auto now = Clock::now();
  if (now >= nextGrab) {
    if (!Grab()) Log("a grab was lost and could not be taken back");
    nextGrab = now + kGrabRefresh;
  }
  Clock::time_point next = nextGrab;
  if (gDraw.pid > 0 && !gDraw.closing) {
    if (now - gDraw.lastSign >= kHeartbeatTimeout) {
      Log("the picture stopped its heartbeat; killing it");
      kill(gDraw.pid, SIGKILL);
      gDraw.closing = true;
      gDraw.killAt = now + kKillGrace;
    } else {
      next = std::min(next, gDraw.lastSign + kHeartbeatTimeout);
    }
  } else if (gDraw.pid <= 0) {
    if (now >= gNextDrawStart) StartDraw();
    else next = std::min(next, gNextDrawStart);
  }
  if (gAsk.pid > 0 && !gAsk.closing) {
    if (now - gAsk.lastSign >= kPromptIdle) Terminate(gAsk);
    else next = std::min(next, gAsk.lastSign + kPromptIdle);
  }
  for (Child* c : {&gDraw, &gAsk}) {
    if (c->pid > 0 && c->closing) {
      if (now >= c->killAt) {
        kill(c->pid, SIGKILL);
        c->killAt = now + kGrabRefresh;
      }
      next = std::min(next, c->killAt);
    }
  }
  return next;
}

void Loop(int sfd) {
  auto nextGrab = Clock::now() + kGrabRefresh;
  while (!gDone) {
    while (!gDone && XPending(gDpy)) {
      XEvent ev;
      XNextEvent(gDpy, &ev);
      if (XFilterEvent(&ev, 0)) continue;
      OnEvent(ev);
    }
    if (gDone) break;
    const auto next = RunTimers(nextGrab);
    XFlush(gDpy);
    if (XPending(gDpy)) continue;
    pollfd fds[4] = {{ConnectionNumber(gDpy), POLLIN, 0}, {sfd, POLLIN, 0}, {gDraw.fd, POLLIN, 0}, {gAsk.fd, POLLIN, 0}};
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    if (poll(fds, 4, static_cast<int>(std::clamp<long long>(wait, 0, 60000))) < 0 && errno != EINTR) {
      Log("poll: %s", std::strerror(errno));
      return;
    }
    if (fds[1].revents) ReadSignals(sfd);
    if (gDraw.fd >= 0 && fds[2].revents) ReadHeartbeats();
    if (gAsk.fd >= 0 && fds[3].revents) ReadResults();
  }
}

void EndChildren() {
  Terminate(gDraw);
  Terminate(gAsk);
  const auto deadline = Clock::now() + kKillGrace;
  while ((gDraw.pid > 0 || gAsk.pid > 0) && Clock::now() < deadline) {
    usleep(10000);
    Reap();
  }
  for (Child* c : {&gDraw, &gAsk}) {
    if (c->pid > 0 && kill(c->pid, SIGKILL) == 0) waitpid(c->pid, nullptr, 0);
    CloseFds(*c);
  }
}

// XSS_SLEEP_LOCK_FD: xss-lock lets the system sleep once it is closed; kept from the children.
int SleepLockFd() {
  const char* v = std::getenv("XSS_SLEEP_LOCK_FD");
  if (!v) return -1;
  auto fd = tav::lock::ParseFdNumber(v);
  if (!fd || *fd <= 2 || fcntl(*fd, F_SETFD, FD_CLOEXEC) != 0) {
    Log("XSS_SLEEP_LOCK_FD=%s is not an open descriptor; ignored", v);
    fd = -1;
  }
  unsetenv("XSS_SLEEP_LOCK_FD");
  return *fd;
}

}  // namespace

int main(int argc, char** argv) {
  bool usage = argc < 3 || std::string_view(argv[1]) != "--saver";
  if (!usage) {
    gSaverPath = argv[2];
    if (argc > 3 && std::string_view(argv[3]) != "--") usage = true;
    if (argc > 4) gSaverOptions.assign(argv + 4, argv + argc);
  }
  if (usage || gSaverPath.empty()) {
    std::fprintf(stderr, "usage: tavorensia-lock --saver PATH [-- SAVER-OPTIONS...]\n");
    return 2;
  }
  const int sleepFd = SleepLockFd();
  const int sfd = SignalFd();
  gSaver = open(gSaverPath.c_str(), O_RDONLY | O_CLOEXEC);
  // Locked with no prompt to unlock would be worse than not locked.
  if (gSaver < 0 || sfd < 0) {
    Log("cannot open %s: %s", gSaverPath.c_str(), std::strerror(errno));
    return 1;
  }
  if (mlock(&gScratch, sizeof gScratch) != 0) Log("cannot lock the key buffer in memory: %s", std::strerror(errno));
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXIoError);
  gDpy = XOpenDisplay(nullptr);
  if (!gDpy) {
    Log("cannot open the display %s", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(DISPLAY is not set)");
    return 1;
  }
  gRoot = DefaultRootWindow(gDpy);
  int error, major = 0, minor = 0;
  if (XRRQueryExtension(gDpy, &gRandrEvent, &error) && XRRQueryVersion(gDpy, &major, &minor) &&
      (major > 1 || (major == 1 && minor >= 5))) {
    XRRSelectInput(gDpy, gRoot, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  } else {
    gRandrEvent = -1;
  }
  XSelectInput(gDpy, gRoot, SubstructureNotifyMask | StructureNotifyMask);
  const char empty[1] = {0};
  const Pixmap bits = XCreateBitmapFromData(gDpy, gRoot, empty, 1, 1);
  XColor black{};
  gInvisible = XCreatePixmapCursor(gDpy, bits, bits, &black, &black, 0, 0);
  XFreePixmap(gDpy, bits);
  // Under a compositing manager the overlay is above everything it draws.
  int ev, er;
  Window parent = gRoot;
  const std::string cm = "_NET_WM_CM_S" + std::to_string(DefaultScreen(gDpy));
  if (XCompositeQueryExtension(gDpy, &ev, &er) && XGetSelectionOwner(gDpy, XInternAtom(gDpy, cm.c_str(), False)))
    parent = XCompositeGetOverlayWindow(gDpy, gRoot);
  const int s = DefaultScreen(gDpy);
  gCover = BlackWindow(parent, 0, 0, static_cast<unsigned>(DisplayWidth(gDpy, s)),
                       static_cast<unsigned>(DisplayHeight(gDpy, s)), true);
  UpdatePictures();
  XMapRaised(gDpy, gCover);
  SetUpInput();
  XSync(gDpy, False);
  const auto giveUp = Clock::now() + kGrabPatience;
  bool held = Grab();
  while (!held && !gDone && Clock::now() < giveUp) {
    pollfd p{sfd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(kGrabRetry.count())) > 0) ReadSignals(sfd);
    held = Grab();
  }
  int status = 0;
  if (!held && !gDone) {
    std::fprintf(stderr, "%s\n", kNotLocked);
    status = 1;
  } else if (held) {
    XSync(gDpy, False);
    if (sleepFd >= 0) close(sleepFd);  // covered and grabbed: the system may sleep
    Pointer(gStartX, gStartY);
    StartDraw();
    Loop(sfd);
  }
  EndChildren();
  XUngrabKeyboard(gDpy, CurrentTime);
  XUngrabPointer(gDpy, CurrentTime);
  XDestroyWindow(gDpy, gCover);
  if (parent != gRoot) XCompositeReleaseOverlayWindow(gDpy, gRoot);
  XSync(gDpy, False);
  XCloseDisplay(gDpy);
  if (gUnlocked) Log("unlocked");
  return status;
}
