#pragma once
// Helpers for tests of the installed programs: an install into a staging
// tree, folders another user may use, and the user that runs XScreenSaver
// (its daemon refuses to run as root).
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tavtest {

// Polls done every step until it holds or the timeout passed; whether it held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(20));

std::string ReadFile(const std::filesystem::path& p);

// Runs a command to its end (at most a minute); its exit status, -1 if it
// did not end, and what it wrote.
int RunToEnd(const std::vector<std::string>& argv, const std::string& display = "",
             const std::map<std::string, std::string>& env = {}, std::string* output = nullptr);

// Who runs XScreenSaver: this user unless it is root, then an ordinary user
// made for the tests ("tavorensia-test", created when missing).
struct HackUser {
  std::string name;  // empty when there is none
  uid_t uid = 0;
  gid_t gid = 0;
  bool switchUser = false;  // commands run through runuser

  static HackUser Get();
  // argv as this user with HOME, a plain PATH, DISPLAY and XDG_CONFIG_HOME.
  std::vector<std::string> Command(const std::string& home, const std::string& display,
                                   const std::vector<std::string>& argv) const;
};

// A fresh folder owned by (or at least open to) the user; removed with the
// object. path is empty when it could not be handed over.
struct SharedDir {
  std::filesystem::path path;
  explicit SharedDir(const HackUser& owner);
  ~SharedDir();
  SharedDir(const SharedDir&) = delete;
  SharedDir& operator=(const SharedDir&) = delete;
};

// `DESTDIR=root cmake --install <this build> --prefix /usr/local`.
struct StagedInstall {
  std::filesystem::path root;
  std::string log;
  int status = -1;
  explicit StagedInstall(const std::filesystem::path& dir);
  std::filesystem::path Bin(const std::string& name) const { return root / "usr/local/bin" / name; }
  std::filesystem::path HackEntry() const { return root / "usr/local/libexec/xscreensaver/tavorensia"; }
};

}  // namespace tavtest
