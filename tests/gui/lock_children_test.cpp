// tavorensia-lock with the main program's own lock modes as its children,
// under an Xvfb of the test's own: the animation covers the screen, a wrong
// password keeps the lock, the right one ends it.
#include <gtest/gtest.h>

#include <algorithm>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <functional>
#include <sstream>
#include <thread>

#include "desktop/login_password.hpp"
#include "desktop/password.hpp"
#include "harness.hpp"
#include "temp_config.hpp"

// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;
using tavtest::Process;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

// Share of the pixels that are not black, in columns [x0, x1) of the screen.
double Lit(const std::string& display, int x0 = 0, int x1 = 1 << 30) {
  const auto shot = tavtest::Screenshot(display);
  if (!shot) return -1;
  x1 = std::min(x1, shot->width);
  long n = 0;
  for (int y = 0; y < shot->height; ++y)
    for (int x = x0; x < x1; ++x) n += shot->R(x, y) + shot->G(x, y) + shot->B(x, y) > 0;
  return static_cast<double>(n) / (static_cast<double>(x1 - x0) * shot->height);
}

// The saver's own password in the hive of the test's TempConfig.
bool StoreOwnPassword(const char* password) {
  return tav::ChangePassword(tav::SecureString(), tav::SecureString(password), tav::SecureString(password)) ==
         tav::PasswordChange::Stored;
}

// The lock's environment: the test's hive, no sleep lock, and the children
// without the leak check (SDL's system libraries leave blocks it cannot
// name, and its report would replace the exit status the holder judges).
std::map<std::string, std::string> LockEnv(const tavtest::TempConfig& config,
                                           std::map<std::string, std::string> more = {}) {
  more.emplace("XDG_CONFIG_HOME", config.config().string());
  more.emplace("HOME", config.home().string());
  more.emplace("XSS_SLEEP_LOCK_FD", "");
  more.emplace("ASAN_OPTIONS", "detect_leaks=0");
  return more;
}

// On each way to the screen the full-screen mode may take, GL included.
class LockChildrenOnPath : public ::testing::TestWithParam<const char*> {};

TEST_P(LockChildrenOnPath, RealChildrenDrawAndOnlyTheRightPasswordUnlocks) {
  tavtest::Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  // Two monitors side by side: the picture is on each.
  for (const char* m : {"left 320/0x480/0+0+0", "right 320/0x480/0+320+0"}) {
    std::vector<std::string> args{"xrandr", "--setmonitor"};
    for (std::istringstream words(m); !words.eof();) args.emplace_back(), words >> args.back();
    args.emplace_back("none");
    ASSERT_EQ(Process(args, x.Display()).Wait(10s), 0);
  }
  tavtest::TempConfig config;  // the hash goes into the children's hive
  ASSERT_TRUE(StoreOwnPassword("open sesame"));
  Process lock({TAV_LOCK_EXE, "--saver", TAV_EXE}, x.Display(),
               LockEnv(config, {{"TAVORENSIA_PRESENT", GetParam()}}));
  EXPECT_TRUE(WaitUntil([&] { return Lit(x.Display(), 0, 320) > 0.2 && Lit(x.Display(), 320) > 0.2; }, 20s))
      << lock.Output();
  ASSERT_TRUE(lock.Running()) << lock.Output();

  tavtest::Xdotool(x.Display(), {"type", "--delay", "30", "open sesamx"});
  tavtest::Xdotool(x.Display(), {"key", "Return"});
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(lock.Running()) << lock.Output();
  EXPECT_FALSE(lock.Wait(1500ms)) << lock.Output();  // past the first failure's delay, still locked

  tavtest::Xdotool(x.Display(), {"type", "--delay", "30", "open sesame"});
  tavtest::Xdotool(x.Display(), {"key", "Return"});
  EXPECT_EQ(lock.Wait(15s), 0) << lock.Output();
}

// The holder's child started with the switch, or 0.
pid_t ChildWith(pid_t holder, const std::string& mode) {
  std::ifstream children("/proc/" + std::to_string(holder) + "/task/" + std::to_string(holder) + "/children");
  for (pid_t pid = 0; children >> pid;) {
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    const std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (args.find(mode) != std::string::npos) return pid;
  }
  return 0;
}

// SIGTERM, SIGINT and SIGHUP sent to the real prompt end it without an
// unlock (SDL would make SIGTERM a clean quit; the prompt keeps its own
// status): each counts as a failed attempt, and the lock holds.
TEST(LockChildren, SignalsToThePromptKeepTheLock) {
  tavtest::Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  tavtest::TempConfig config;
  ASSERT_TRUE(StoreOwnPassword("open sesame"));
  Process lock({TAV_EXE, "/s"}, x.Display(),
               LockEnv(config));
  ASSERT_TRUE(WaitUntil([&] { return Lit(x.Display()) > 0.2; }, 20s)) << lock.Output();
  int delay = 0;
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    std::this_thread::sleep_for(std::chrono::seconds(delay) + 200ms);  // the last failure's delay
    tavtest::Xdotool(x.Display(), {"type", "x"});
    pid_t prompt = 0;
    ASSERT_TRUE(WaitUntil([&] { return (prompt = ChildWith(lock.Pid(), "--lock-prompt")) > 0; }, 10s));
    std::this_thread::sleep_for(500ms);  // up and drawing
    ASSERT_EQ(kill(prompt, sig), 0);
    EXPECT_TRUE(WaitUntil([&] { return ChildWith(lock.Pid(), "--lock-prompt") == 0; }, 5s));
    EXPECT_TRUE(lock.Running()) << lock.Output();
    Display* other = XOpenDisplay(x.Display().c_str());
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync, CurrentTime),
              AlreadyGrabbed);
    XCloseDisplay(other);
    ++delay;
  }
  std::this_thread::sleep_for(std::chrono::seconds(delay) + 200ms);
  tavtest::Xdotool(x.Display(), {"type", "--delay", "30", "open sesame"});
  tavtest::Xdotool(x.Display(), {"key", "Return"});
  EXPECT_EQ(lock.Wait(15s), 0) << lock.Output();
}

INSTANTIATE_TEST_SUITE_P(Paths, LockChildrenOnPath, ::testing::Values("gl", "xrender", "software"));

#ifdef TAV_PAM_WRAPPER
// Settings that cannot be read: two bad lines appended to a hive that holds
// our own password. The lock holds anyway; our own password no longer ends
// it, the login password does (PAM, here pam_matrix under pam_wrapper).
TEST(LockChildren, DamagedSettingsLockAndTheLoginPasswordUnlocks) {
  tavtest::Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  tavtest::TempConfig config;
  ASSERT_TRUE(StoreOwnPassword("open sesame"));
  {
    std::ofstream hive(config.config() / "tavorensia" / "registry.reg", std::ios::app);
    hive << "[HKEY_CURRENT_USER\\Software\\Broken\n\"x\"=dword:zz\n";
  }
  const std::filesystem::path pam = config.home() / "pam";
  std::filesystem::create_directories(pam);
  std::ofstream(pam / "passdb") << tav::LoginUserName() << ":login words:" << tav::kPamService << "\n";
  std::ofstream(pam / tav::kPamService) << "auth required " TAV_PAM_MATRIX " passdb=" << (pam / "passdb").string()
                                        << "\naccount required " TAV_PAM_MATRIX " passdb=" << (pam / "passdb").string()
                                        << "\n";
  // Through "/s", as a host starts it: the drawing child's first-run
  // defaults rewrite the file without the bad lines while it is locked.
  Process lock({TAV_EXE, "/s"}, x.Display(),
               LockEnv(config, {{"LD_PRELOAD", TAV_PAM_WRAPPER}, {"PAM_WRAPPER", "1"},
                                {"PAM_WRAPPER_SERVICE_DIR", pam.string()}, {"PAM_WRAPPER_DISABLE_DEEPBIND", "1"},
                                {"UID_WRAPPER_DISABLE_DEEPBIND", "1"},
                                {"ASAN_OPTIONS", "detect_leaks=0:verify_asan_link_order=0"}}));
  EXPECT_TRUE(WaitUntil([&] { return Lit(x.Display()) > 0.2; }, 20s)) << lock.Output();
  ASSERT_TRUE(lock.Running()) << lock.Output();

  tavtest::Xdotool(x.Display(), {"type", "--delay", "30", "open sesame"});
  tavtest::Xdotool(x.Display(), {"key", "Return"});
  EXPECT_FALSE(lock.Wait(2500ms)) << lock.Output();  // past the first failure's delay, still locked

  tavtest::Xdotool(x.Display(), {"type", "--delay", "30", "login words"});
  tavtest::Xdotool(x.Display(), {"key", "Return"});
  EXPECT_EQ(lock.Wait(15s), 0) << lock.Output();
  EXPECT_NE(lock.Output().find("is skipped"), std::string::npos) << lock.Output();
}
#endif

// A user of the machine, made for one test and removed after it.
class ThrowawayUser {
 public:
  ThrowawayUser(const std::string& password) : name_("tavlock" + std::to_string(getpid())) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tav-user-XXXXXX").string();
    home_ = ::mkdtemp(pattern.data());
    ok_ = Run({"useradd", "--no-create-home", "--home-dir", home_.string(), "--shell", "/bin/sh", name_}) == 0;
    if (!ok_) return;
    const passwd* pw = getpwnam(name_.c_str());
    ok_ = pw && ::chown(home_.c_str(), pw->pw_uid, pw->pw_gid) == 0;
    if (ok_) {
      FILE* chpasswd = ::popen("chpasswd", "w");
      ok_ = chpasswd && std::fprintf(chpasswd, "%s:%s\n", name_.c_str(), password.c_str()) > 0 &&
            ::pclose(chpasswd) == 0;
    }
  }
  ~ThrowawayUser() {
    if (ok_) Run({"userdel", name_});
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }
  bool Ok() const { return ok_; }
  const std::string& Name() const { return name_; }
  const std::filesystem::path& Home() const { return home_; }
  // Writes a file in the home folder, owned by the user.
  void Write(const std::filesystem::path& relative, const std::string& text) const {
    const std::filesystem::path path = home_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
    const passwd* pw = getpwnam(name_.c_str());
    for (std::filesystem::path p = path; pw && p != home_ && p.has_parent_path(); p = p.parent_path())
      if (::chown(p.c_str(), pw->pw_uid, pw->pw_gid) != 0) return;
  }

 private:
  static int Run(const std::vector<std::string>& argv) { return Process(argv, "").Wait(30s).value_or(-1); }
  std::string name_;
  std::filesystem::path home_;
  bool ok_ = false;
};

// The real PAM stack of the machine, as a user who is not root: pam_unix
// then checks the password through its setgid helper (unix_chkpwd). Needs
// root to make the user, and a real system (no fakeroot, no package build).
TEST(LockChildren, ThrowawayUserUnlocksWithTheirLoginPassword) {
  if (geteuid() != 0 || std::getenv("FAKEROOTKEY") || std::getenv("DEB_BUILD_ARCH"))
    GTEST_SKIP() << "needs root on a real system to make a user";
  tavtest::Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  ThrowawayUser user("tr0ub4dor&3");
  ASSERT_TRUE(user.Ok());
  user.Write(".config/tavorensia/registry.reg",
             "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
             "\"ScreenSaveUsePassword\"=dword:00000001\n\"ScreenSaveUseLoginPassword\"=dword:00000001\n");
  Process lock({"setpriv", "--reuid", user.Name(), "--regid", user.Name(), "--init-groups", TAV_EXE, "/s"},
               x.Display(),
               {{"HOME", user.Home().string()}, {"XDG_CONFIG_HOME", ""}, {"USER", user.Name()},
                {"LOGNAME", user.Name()}, {"XSS_SLEEP_LOCK_FD", ""}, {"XDG_RUNTIME_DIR", ""},
                {"ASAN_OPTIONS", "detect_leaks=0"}});
  EXPECT_TRUE(WaitUntil([&] { return Lit(x.Display()) > 0.2; }, 20s)) << lock.Output();
  ASSERT_TRUE(lock.Running()) << lock.Output();

  tavtest::Xdotool(x.Display(), {"type", "--delay", "30", "tr0ub4dor&4"});
  tavtest::Xdotool(x.Display(), {"key", "Return"});
  EXPECT_FALSE(lock.Wait(4s)) << lock.Output();  // PAM's own delay, then ours

  tavtest::Xdotool(x.Display(), {"type", "--delay", "30", "tr0ub4dor&3"});
  tavtest::Xdotool(x.Display(), {"key", "Return"});
  EXPECT_EQ(lock.Wait(20s), 0) << lock.Output();
}

}  // namespace
