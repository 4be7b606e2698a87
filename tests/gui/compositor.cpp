#include "compositor.hpp"

#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tavtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string d; std::getline(dirs, d, ':');) {
    if (!d.empty() && access((fs::path(d) / program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// The one entry of dir whose name starts with prefix and does not end with
// suffixToSkip; empty when there is none yet.
std::string EntryStartingWith(const fs::path& dir, const std::string& prefix,
                              const std::string& suffixToSkip) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename();
    if (name.rfind(prefix, 0) != 0) continue;
    if (!suffixToSkip.empty() && name.size() >= suffixToSkip.size() &&
        name.compare(name.size() - suffixToSkip.size(), suffixToSkip.size(), suffixToSkip) == 0)
      continue;
    return name;
  }
  return "";
}

}  // namespace

std::optional<std::string> Sway::Unavailable() {
  for (const char* p : {"sway", "swaymsg", "grim", "wtype", "Xwayland", "jq"}) {
    if (!OnPath(p)) return std::string(p) + " is not installed (scripts/deps installs it)";
  }
  if (geteuid() == 0 && !OnPath("runuser")) return std::string("runuser is not installed");
  if (HackUser::Get().name.empty()) return std::string("no ordinary user to run sway as");
  return std::nullopt;
}

Sway::Sway(const std::vector<OutputSpec>& outputs) : user_(HackUser::Get()), home_(user_) {
  if (home_.path.empty() || user_.name.empty()) return;
  runtimeDir_ = home_.path / "run";
  fs::create_directory(runtimeDir_);
  chmod(runtimeDir_.c_str(), 0700);
  HandOver(runtimeDir_);
  {
    std::ofstream config(home_.path / "sway.conf");
    for (size_t i = 0; i < outputs.size(); ++i) {
      const OutputSpec& o = outputs[i];
      config << "output HEADLESS-" << i + 1 << " resolution " << o.width << "x" << o.height
             << " position " << o.x << " " << o.y << "\n";
    }
    config << "xwayland enable\n";
  }
  std::vector<std::string> argv;
  if (user_.switchUser) argv = {"runuser", "-u", user_.name, "--"};
  argv.insert(argv.end(),
              {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "HOME=" + home_.path.string(),
               "PATH=/usr/local/bin:/usr/bin:/bin", "XDG_RUNTIME_DIR=" + runtimeDir_.string(),
               "WLR_BACKENDS=headless", "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs.size()),
               "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "sway", "-c",
               (home_.path / "sway.conf").string()});
  sway_ = std::make_unique<Process>(argv, "");
  // The sockets appear in the private runtime folder; sway answers once its
  // outputs are configured.
  ok_ = WaitUntil(
      [&] {
        if (!sway_->Running()) return false;
        if (waylandDisplay_.empty()) waylandDisplay_ = EntryStartingWith(runtimeDir_, "wayland-", ".lock");
        if (swaySock_.empty()) {
          const std::string s = EntryStartingWith(runtimeDir_, "sway-ipc.", "");
          if (!s.empty()) swaySock_ = (runtimeDir_ / s).string();
        }
        return !waylandDisplay_.empty() && !swaySock_.empty() && Ipc("get_version").has_value();
      },
      20s, 50ms);
}

Sway::~Sway() {
  if (sway_ && sway_->Running()) {
    // sway ends its Xwayland; runuser passes the signal on. The group is
    // killed with the Process if that did not work.
    kill(-sway_->Pid(), SIGTERM);
    sway_->Wait(5s);
  }
}

std::string Sway::Log() const { return sway_ ? sway_->Output() : ""; }

void Sway::HandOver(const fs::path& p) const {
  if (!user_.switchUser) return;
  std::error_code ec;
  if (chown(p.c_str(), user_.uid, user_.gid) != 0) return;
  if (!fs::is_directory(p, ec)) return;
  for (const auto& e : fs::recursive_directory_iterator(p, ec)) {
    if (chown(e.path().c_str(), user_.uid, user_.gid) != 0) return;
  }
}

std::string Sway::XDisplay() {
  if (!xDisplay_.empty() || !ok_) return xDisplay_;
  // sway sets DISPLAY for what it starts; Xwayland picks a free number.
  const fs::path file = home_.path / "display";
  if (!Ipc("command", "exec printenv DISPLAY > " + file.string() + ".part && mv " +
                          file.string() + ".part " + file.string()))
    return "";
  WaitUntil([&] { return fs::exists(file); }, 10s);
  std::string d = ReadFile(file);
  while (!d.empty() && (d.back() == '\n' || d.back() == ' ')) d.pop_back();
  xDisplay_ = d;
  return xDisplay_;
}

std::vector<std::string> Sway::Command(const std::vector<std::string>& argv, bool withX,
                                       const std::map<std::string, std::string>& env) {
  std::vector<std::string> out;
  if (user_.switchUser) out = {"runuser", "-u", user_.name, "--"};
  out.insert(out.end(), {"env", "-u", "DISPLAY"});
  for (const auto& [k, v] : env) {
    if (v.empty()) out.insert(out.end(), {"-u", k});
  }
  out.insert(out.end(), {"HOME=" + home_.path.string(), "PATH=/usr/local/bin:/usr/bin:/bin",
                         "XDG_RUNTIME_DIR=" + runtimeDir_.string(),
                         "WAYLAND_DISPLAY=" + waylandDisplay_, "SWAYSOCK=" + swaySock_,
                         "XDG_CONFIG_HOME=" + (home_.path / ".config").string()});
  if (withX) out.push_back("DISPLAY=" + XDisplay());
  for (const auto& [k, v] : env) {
    if (!v.empty()) out.push_back(k + "=" + v);
  }
  out.insert(out.end(), argv.begin(), argv.end());
  return out;
}

std::unique_ptr<Process> Sway::Start(const std::vector<std::string>& argv, bool withX,
                                     const std::map<std::string, std::string>& env) {
  return std::make_unique<Process>(Command(argv, withX, env), "");
}

int Sway::Run(const std::vector<std::string>& argv, std::string* output, bool withX,
              const std::map<std::string, std::string>& env) {
  return RunToEnd(Command(argv, withX, env), "", {}, output);
}

std::optional<std::string> Sway::Ipc(const std::string& type, const std::string& payload) {
  std::vector<std::string> argv = {"swaymsg", "-t", type};
  if (!payload.empty()) argv.push_back(payload);
  std::string out;
  if (Run(argv, &out) != 0) return std::nullopt;
  return out;
}

std::optional<std::string> Sway::Query(const std::string& type, const std::string& filter) {
  const auto json = Ipc(type);
  if (!json) return std::nullopt;
  const fs::path file = home_.path / ("answer-" + std::to_string(++files_) + ".json");
  std::ofstream(file) << *json;
  std::string out;
  const int st = RunToEnd({"jq", "-r", filter, file.string()}, "", {}, &out);
  std::error_code ec;
  fs::remove(file, ec);
  if (st != 0) return std::nullopt;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::vector<std::string> Sway::OutputNames() {
  std::vector<std::string> names;
  const auto list = Query("get_outputs", ".[] | select(.active) | .name");
  std::istringstream in(list.value_or(""));
  for (std::string n; std::getline(in, n);) names.push_back(n);
  return names;
}

std::optional<Shot> Sway::Grab(const std::string& output) {
  const fs::path file = home_.path / ("shot-" + std::to_string(++files_) + ".png");
  if (Run({"grim", "-o", output, file.string()}) != 0) return std::nullopt;
  auto shot = ReadPng(file);
  std::error_code ec;
  fs::remove(file, ec);
  return shot;
}

int Sway::Type(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"wtype"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv);
}

std::unique_ptr<Process> Sway::PlugKeyboard() {
  // wtype plugs its keyboard in, then sleeps before its one key.
  auto keyboard = Start({"wtype", "-s", "3600000", "-k", "F24"});
  WaitUntil([&] { return Query("get_seats", ".[0].capabilities") == "2"; }, 5s);
  return keyboard;
}

std::optional<Shot> ReadPng(const fs::path& file) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_RGB;
  Shot s;
  s.width = static_cast<int>(image.width);
  s.height = static_cast<int>(image.height);
  s.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, s.rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return s;
}

}  // namespace tavtest
