#include "desktop/desktop_background.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>

extern char** environ;

namespace tav {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

BackgroundMethod ByDesktopName(const std::string& name) {
  static const struct {
    const char* name;
    BackgroundMethod method;
  } kNames[] = {
      {"gnome", BackgroundMethod::Gnome},        {"gnome-classic", BackgroundMethod::Gnome},
      {"gnome-flashback", BackgroundMethod::Gnome}, {"budgie", BackgroundMethod::Gnome},
      {"unity", BackgroundMethod::Gnome},        {"pantheon", BackgroundMethod::Gnome},
      {"x-cinnamon", BackgroundMethod::Cinnamon}, {"cinnamon", BackgroundMethod::Cinnamon},
      {"mate", BackgroundMethod::Mate},          {"kde", BackgroundMethod::Plasma},
      {"plasma", BackgroundMethod::Plasma},      {"plasmawayland", BackgroundMethod::Plasma},
      {"xfce", BackgroundMethod::Xfce},          {"sway", BackgroundMethod::Sway},
  };
  for (const auto& n : kNames) {
    if (name == n.name) return n.method;
  }
  return BackgroundMethod::None;
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

std::set<std::string> SessionPrograms(const std::string& proc, unsigned uid, const std::string& session) {
  std::set<std::string> out;
  DIR* dir = ::opendir(proc.c_str());
  if (!dir) return out;
  while (const dirent* e = ::readdir(dir)) {
    if (!std::isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
    const std::string base = proc + "/" + e->d_name;
    struct stat st {};
    // A process's folder belongs to the user it runs as.
    if (::stat(base.c_str(), &st) != 0 || st.st_uid != uid) continue;
    if (!session.empty()) {
      std::ifstream sessionFile(base + "/sessionid");
      std::string id;
      if (!std::getline(sessionFile, id) || id != session) continue;
    }
    std::ifstream comm(base + "/comm");
    std::string name;
    if (std::getline(comm, name) && !name.empty()) out.insert(name);
  }
  ::closedir(dir);
  return out;
}

DesktopSession CurrentDesktopSession() {
  DesktopSession s;
  if (const char* v = std::getenv("XDG_CURRENT_DESKTOP")) s.currentDesktop = v;
  if (const char* v = std::getenv("DESKTOP_SESSION")) s.desktopSession = v;
  s.x11 = EnvSet("DISPLAY");
  s.wayland = EnvSet("WAYLAND_DISPLAY");
  s.swaySocket = EnvSet("SWAYSOCK");
  // The kernel's login-session id; "4294967295" (or none) when the process
  // was started outside any login session: then every process of ours counts.
  std::string session;
  std::ifstream own("/proc/self/sessionid");
  if (!std::getline(own, session) || session == "4294967295") session.clear();
  s.running = SessionPrograms("/proc", ::getuid(), session);
  return s;
}

namespace {

// By the names the session gives itself.
BackgroundMethod ByNames(const DesktopSession& session) {
  std::string_view rest = session.currentDesktop;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const BackgroundMethod m = ByDesktopName(Lower(rest.substr(0, colon)));
    if (m != BackgroundMethod::None) return m;
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
  }
  // DESKTOP_SESSION may be a path (/usr/share/xsessions/plasma): its last part.
  std::string_view name = session.desktopSession;
  if (const std::size_t slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (const BackgroundMethod m = ByDesktopName(Lower(name)); m != BackgroundMethod::None) return m;
  if (session.swaySocket) return BackgroundMethod::Sway;
  static const struct {
    const char* program;
    BackgroundMethod method;
  } kPrograms[] = {
      {"gnome-shell", BackgroundMethod::Gnome},   {"budgie-panel", BackgroundMethod::Gnome},
      {"cinnamon", BackgroundMethod::Cinnamon},   {"mate-panel", BackgroundMethod::Mate},
      {"plasmashell", BackgroundMethod::Plasma},  {"xfdesktop", BackgroundMethod::Xfce},
      {"sway", BackgroundMethod::Sway},
  };
  for (const auto& p : kPrograms) {
    if (session.running.count(p.program)) return p.method;
  }
  return BackgroundMethod::None;
}

}  // namespace

BackgroundMethod ChooseBackgroundMethod(const DesktopSession& session) {
  if (const BackgroundMethod m = ByNames(session); m != BackgroundMethod::None) return m;
  if (session.x11 && !session.wayland) return BackgroundMethod::RootPixmap;
  return BackgroundMethod::None;
}

bool DesktopRecognised(const DesktopSession& session) { return ByNames(session) != BackgroundMethod::None; }

std::string FileUri(std::string_view absolutePath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char ch : absolutePath) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      uri += ch;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

CommandLine XfcePropertyListCommand() { return {"xfconf-query", "-c", "xfce4-desktop", "-l"}; }

std::vector<CommandLine> BackgroundCommands(BackgroundMethod method, const std::string& file,
                                            std::string_view xfceProperties) {
  switch (method) {
    case BackgroundMethod::Gnome:
      // Light and dark styles each have their own picture.
      return {{"gsettings", "set", "org.gnome.desktop.background", "picture-uri", FileUri(file)},
              {"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark",
               FileUri(file)}};
    case BackgroundMethod::Cinnamon:
      return {{"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", FileUri(file)}};
    case BackgroundMethod::Mate:
      return {{"gsettings", "set", "org.mate.background", "picture-filename", file}};
    case BackgroundMethod::Plasma:
      return {{"plasma-apply-wallpaperimage", file}};
    case BackgroundMethod::Xfce: {
      // One image per monitor and workspace: .../monitorNAME/workspaceN/last-image.
      std::vector<CommandLine> out;
      std::string_view rest = xfceProperties;
      while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        const std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
        constexpr std::string_view kTail = "/last-image";
        if (line.rfind("/backdrop/", 0) == 0 && line.size() > kTail.size() &&
            line.substr(line.size() - kTail.size()) == kTail) {
          out.push_back({"xfconf-query", "-c", "xfce4-desktop", "-p", std::string(line), "-s", file});
        }
      }
      return out;
    }
    case BackgroundMethod::Sway:
      // One argument: swaymsg hands it to sway's own parser, which keeps a
      // quoted path with spaces together.
      return {{"swaymsg", "output * bg \"" + file + "\" fill"}};
    case BackgroundMethod::RootPixmap:
    case BackgroundMethod::None:
      break;
  }
  return {};
}

CommandOutcome RunCommand(const CommandLine& argv) {
  CommandOutcome outcome;
  if (argv.empty()) return outcome;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return outcome;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned == 0) {
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      outcome.output.append(buf, static_cast<std::size_t>(n));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  } else {
    outcome.output = argv[0] + ": cannot be started";
  }
  ::close(pipeFds[0]);
  return outcome;
}

BackgroundResult SetDesktopBackground(const std::string& file,
                                      const std::function<BackgroundResult()>& setRootPixmap) {
  const DesktopSession session = CurrentDesktopSession();
  const BackgroundMethod method = ChooseBackgroundMethod(session);
  if (method == BackgroundMethod::RootPixmap) {
    if (!setRootPixmap) return {false, "no X display to set it on"};
    BackgroundResult result = setRootPixmap();
    // Said, so that a desktop we did not know is not left guessing.
    if (result.ok && result.message.empty() && !DesktopRecognised(session) && !session.currentDesktop.empty())
      result.message = "The desktop \"" + session.currentDesktop +
                       "\" is not one Tavorensia knows; the wallpaper was set as the X root window's background.";
    return result;
  }
  return ApplyBackgroundByCommands(method, file);
}

BackgroundResult ApplyBackgroundByCommands(
    BackgroundMethod method, const std::string& file,
    const std::function<CommandOutcome(const CommandLine&)>& run) {
  std::string xfceProperties;
  if (method == BackgroundMethod::Xfce) {
    const CommandOutcome listed = run(XfcePropertyListCommand());
    if (listed.status != 0) return {false, "xfconf-query: " + listed.output};
    xfceProperties = listed.output;
  }
  const std::vector<CommandLine> commands = BackgroundCommands(method, file, xfceProperties);
  if (commands.empty()) {
    return {false, method == BackgroundMethod::Xfce ? "no Xfce backdrop to set"
                                                    : "this desktop's background cannot be set"};
  }
  for (const CommandLine& c : commands) {
    const CommandOutcome done = run(c);
    if (done.status != 0) {
      std::string why = done.output;
      while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
      return {false, c[0] + (why.empty() ? " failed (status " + std::to_string(done.status) + ")"
                                         : ": " + why)};
    }
  }
  if (method == BackgroundMethod::Sway) {
    return {true, "Set for this session. To keep it, add this line to ~/.config/sway/config:\n" +
                      commands.front()[1]};
  }
  return {true, {}};
}

}  // namespace tav
