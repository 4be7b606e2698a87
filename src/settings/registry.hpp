#pragma once
// The per-user registry, kept in one hive file in the text ".reg" format:
// ${XDG_CONFIG_HOME:-$HOME/.config}/tavorensia/registry.reg. Every write is a
// read-modify-write of the whole hive under an exclusive lock, replaced
// atomically, so concurrent writers lose nothing and a crash damages nothing.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace tav {

// Raised by reads and writes of values ("Failed to get data for '%s'",
// "Invalid data type for '%s'", "Failed to set data for '%s'").
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The hive file of this user.
std::filesystem::path DefaultHivePath();

// A key of HKEY_CURRENT_USER, opened like the host's registry object:
// OpenKey, then reads and writes of values, then CloseKey.
class Registry {
 public:
  explicit Registry(std::filesystem::path hive = DefaultHivePath());
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // key like "\Software\Tavorensia\" or "Control Panel\Desktop". Without
  // canCreate a missing key (or an unreadable hive) gives false.
  bool OpenKey(const std::string& key, bool canCreate);
  void CloseKey();
  // Whether the last OpenKey found the file damaged: lines that could not be
  // read (left out, and reported on stderr), not a hive at all, or not
  // readable. What was left out may have been anything.
  bool HiveDamaged() const;
  // Why the last write (or OpenKey creating the key) failed: the file and
  // the system's reason, "cannot create /home/me/.config/tavorensia/registry.reg.lock:
  // Read-only file system".
  const std::string& WriteError() const;

  bool ValueExists(const std::string& name) const;
  int32_t ReadInteger(const std::string& name);
  std::string ReadString(const std::string& name);  // missing reads as ""
  void WriteInteger(const std::string& name, int32_t value);
  void WriteString(const std::string& name, const std::string& value);
  bool DeleteValue(const std::string& name);

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace tav
