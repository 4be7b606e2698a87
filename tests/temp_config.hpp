#pragma once
// A private XDG_CONFIG_HOME (and HOME) for one test, removed afterwards.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tavtest {

class TempConfig {
 public:
  TempConfig() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tav-cfg-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    Save("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
    Save("HOME", savedHome_, hadHome_);
    ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    ::setenv("HOME", home().c_str(), 1);
    std::filesystem::create_directories(home());
  }
  ~TempConfig() {
    Restore("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
    Restore("HOME", savedHome_, hadHome_);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempConfig(const TempConfig&) = delete;
  TempConfig& operator=(const TempConfig&) = delete;

  std::filesystem::path root() const { return root_; }
  std::filesystem::path config() const { return root_ / "config"; }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path folder() const { return config() / "tavorensia"; }
  std::filesystem::path hive() const { return folder() / "registry.reg"; }

  void WriteHive(const std::string& text) const {
    std::filesystem::create_directories(folder());
    std::ofstream(hive(), std::ios::binary) << text;
  }

 private:
  static void Save(const char* name, std::string& value, bool& had) {
    const char* v = ::getenv(name);
    had = v != nullptr;
    if (v) value = v;
  }
  static void Restore(const char* name, const std::string& value, bool had) {
    if (had) ::setenv(name, value.c_str(), 1);
    else ::unsetenv(name);
  }

  std::filesystem::path root_;
  std::string savedXdg_, savedHome_;
  bool hadXdg_ = false, hadHome_ = false;
};

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace tavtest
