#include "staging.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "harness.hpp"

namespace tavtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(step);
  }
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int RunToEnd(const std::vector<std::string>& argv, const std::string& display,
             const std::map<std::string, std::string>& env, std::string* output) {
  Process p(argv, display, env);
  const auto st = p.Wait(60s);
  if (output) *output = p.Output();
  return st ? *st : -1;
}

HackUser HackUser::Get() {
  constexpr const char* kTestUser = "tavorensia-test";
  HackUser u;
  if (geteuid() != 0) {
    const passwd* pw = getpwuid(geteuid());
    u.name = pw ? pw->pw_name : "";
    u.uid = geteuid();
    u.gid = getegid();
    return u;
  }
  if (!getpwnam(kTestUser)) {
    RunToEnd({"useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
              "--shell", "/usr/sbin/nologin", kTestUser});
  }
  const passwd* pw = getpwnam(kTestUser);
  if (!pw) return u;
  u.name = kTestUser;
  u.uid = pw->pw_uid;
  u.gid = pw->pw_gid;
  u.switchUser = true;
  return u;
}

std::vector<std::string> HackUser::Command(const std::string& home, const std::string& display,
                                           const std::vector<std::string>& argv) const {
  std::vector<std::string> out;
  if (switchUser) out = {"runuser", "-u", name, "--"};
  out.insert(out.end(), {"env", "HOME=" + home, "PATH=/usr/local/bin:/usr/bin:/bin",
                         "DISPLAY=" + display, "XDG_CONFIG_HOME=" + home + "/.config"});
  out.insert(out.end(), argv.begin(), argv.end());
  return out;
}

SharedDir::SharedDir(const HackUser& owner) : path(TempDir()) {
  chmod(path.c_str(), 0755);
  if (owner.switchUser && chown(path.c_str(), owner.uid, owner.gid) != 0) path.clear();
}

SharedDir::~SharedDir() {
  std::error_code ec;
  if (!path.empty()) fs::remove_all(path, ec);
}

StagedInstall::StagedInstall(const fs::path& dir) : root(dir) {
  status = RunToEnd({"cmake", "--install", TAV_BINARY_DIR, "--prefix", "/usr/local"}, "",
                    {{"DESTDIR", root.string()}}, &log);
}

}  // namespace tavtest
