#pragma once
// Shared pieces of the settings-window and save-dialog tests: a private hive
// and folder per test, an application stand-in for the frame timer, and a
// display area that records what it was given.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/registry.hpp"
#include "display/dib.hpp"
#include "display/timer.hpp"
#include "modes/settings_form.hpp"

namespace formtest {

namespace fs = std::filesystem;

// A fresh folder with its own XDG_CONFIG_HOME; the process's current folder
// and the variable come back afterwards.
class Sandbox {
 public:
  Sandbox() {
    std::string tmpl = (fs::temp_directory_path() / "tav-forms-XXXXXX").string();
    root_ = ::mkdtemp(tmpl.data());
    fs::create_directories(root_ / "config");
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfig_ = old, hadConfig_ = true;
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    oldCwd_ = fs::current_path();
  }
  ~Sandbox() {
    std::error_code ec;
    fs::current_path(oldCwd_, ec);
    if (hadConfig_) ::setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root_, ec);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  fs::path Root() const { return root_; }
  std::string Folder(const std::string& name) const {
    fs::create_directories(root_ / name);
    return (root_ / name).string();
  }
  fs::path Hive() const { return root_ / "config" / "tavorensia" / "registry.reg"; }

  void StoreInt(const std::string& name, int32_t v) const {
    tav::Registry r;
    r.OpenKey("\\Software\\Tavorensia\\", true);
    r.WriteInteger(name, v);
  }
  void StoreString(const std::string& name, const std::string& v) const {
    tav::Registry r;
    r.OpenKey("\\Software\\Tavorensia\\", true);
    r.WriteString(name, v);
  }
  int32_t Int(const std::string& name) const {
    tav::Registry r;
    if (!r.OpenKey("\\Software\\Tavorensia\\", false)) return INT32_MIN;
    return r.ReadInteger(name);
  }
  std::string String(const std::string& name) const {
    tav::Registry r;
    if (!r.OpenKey("\\Software\\Tavorensia\\", false)) return "<no key>";
    return r.ReadString(name);
  }
  // A complete stored set, so the window's start is not a first run.
  void StoreSet(int fast, int bright, int satiation, int picture, int blur, int color, int rands,
                const std::string& pathWall) const {
    StoreInt("Fast", fast);
    StoreInt("Bright", bright);
    StoreInt("Satiation", satiation);
    StoreInt("Picture", picture);
    StoreInt("Blur", blur);
    StoreInt("Color", color);
    StoreInt("Rands", rands);
    StoreString("Path_Wall", pathWall);
  }

 private:
  fs::path root_;
  fs::path oldCwd_;
  std::string oldConfig_;
  bool hadConfig_ = false;
};

// Always in front, so a started timer hooks in at once.
class Host final : public tav::IdleHost {
 public:
  void SetIdleHandler(tav::IdleHandler* h) override { handler_ = h; }
  tav::IdleHandler* CurrentIdleHandler() const override { return handler_; }
  bool Active() const override { return true; }
  void AddActivationListener(tav::ActivationListener*) override {}
  void RemoveActivationListener(tav::ActivationListener*) override {}

 private:
  tav::IdleHandler* handler_ = nullptr;
};

// Keeps the bytes of the last bitmap loaded (not the bitmap: sharing its
// store would change how the form's own bitmap is written).
class Surface final : public tav::FormSurface {
 public:
  void Finalize() override { initialized = false; }
  void InitializeWindowed(int w, int h, int bits) override {
    initialized = true;
    width = w, height = h, bitCount = bits;
  }
  bool ReadyToDraw() override { return initialized && ready; }
  void Fill(uint32_t) override { ++fills; }
  void LoadFromBitmap(const tav::TDIB& b) override {
    loadedWidth = b.Width();
    loadedHeight = b.Height();
    loaded.clear();
    for (int y = 0; y < b.Height(); ++y) loaded.insert(loaded.end(), b.ScanLineRead(y), b.ScanLineRead(y) + 3 * b.Width());
  }
  void Flip() override { ++flips; }

  bool initialized = false, ready = true;
  int width = 0, height = 0, bitCount = 0;
  int fills = 0, flips = 0;
  int loadedWidth = 0, loadedHeight = 0;
  std::vector<uint8_t> loaded;  // rows top down, 3 bytes a pixel
};

}  // namespace formtest
