#include "modes/lock_start.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "desktop/password.hpp"

namespace tav {

namespace {

namespace fs = std::filesystem;

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

bool Executable(const fs::path& p) { return access(p.c_str(), X_OK) == 0 && fs::is_regular_file(p); }

// The holder: where an install puts it, relative to us (so any prefix
// works); in the build tree, where the build put it, for this build's own
// executable only.
fs::path HolderPath(const fs::path& self) {
  const fs::path installed = self.parent_path() / TAV_LOCK_FROM_BINDIR;
  if (Executable(installed)) return installed;
  std::error_code ec;
  if (fs::equivalent(self, TAV_BUILD_SELF, ec) && Executable(TAV_BUILD_LOCK)) return TAV_BUILD_LOCK;
  return installed;  // missing: named in the message
}

}  // namespace

bool LockHolderWanted() {
  // As the full-screen mode tells them apart: on Wayland (Xwayland included)
  // it refuses to look locked.
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (Set("WAYLAND_DISPLAY") || (driver && std::strcmp(driver, "wayland") == 0) || !Set("DISPLAY")) return false;
  return PasswordProtectionSet();
}

int ExecLockHolder(int argc, char** argv) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) {
    std::fprintf(stderr, "tavorensia: cannot find our own executable (%s); the screen is not locked.\n",
                 ec.message().c_str());
    return 1;
  }
  // Settings that cannot be read now stay so for this lock, even once a
  // write (the drawing child's first-run defaults, a save) has left the
  // bad lines out: the prompt then asks for the login password.
  if (ReadStoredLock() == StoredLock::Unreadable) setenv(kSettingsUnreadableVariable, "1", 1);
  const fs::path holder = HolderPath(self);
  std::vector<std::string> args{holder.string(), "--saver", self.string(), "--"};
  for (int i = 2; i < argc; ++i) args.emplace_back(argv[i]);  // argv[1] is the mode
  std::vector<char*> raw;
  for (std::string& a : args) raw.push_back(a.data());
  raw.push_back(nullptr);
  std::fflush(nullptr);
  execv(holder.c_str(), raw.data());
  std::fprintf(stderr, "tavorensia: cannot start the lock holder %s (%s); the screen is not locked.\n",
               holder.c_str(), std::strerror(errno));
  return 1;
}

}  // namespace tav
