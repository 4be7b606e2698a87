#include "desktop/desktop_background.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "temp_config.hpp"

namespace tav {
namespace {

using M = BackgroundMethod;

TEST(DesktopBackground, MethodByDesktopNameThenByRunningProgramsThenX11) {
  const struct {
    const char* desktop;
    std::set<std::string> running;
    bool x11, wayland, swaySocket;
    M want;
    const char* session = "";  // DESKTOP_SESSION
  } cases[] = {
      {"", {}, true, false, false, M::Plasma, "plasma"},
      {"", {}, true, false, false, M::Xfce, "/usr/share/xsessions/xfce"},
      {"", {"gnome-shell"}, true, false, false, M::Mate, "mate"},  // the session's name beats the programs
      {"", {"gnome-shell"}, false, true, true, M::Sway},            // so does sway's socket
      {"GNOME", {}, true, true, false, M::Gnome},
      {"ubuntu:GNOME", {}, false, true, false, M::Gnome},  // first known name wins
      {"Budgie:GNOME", {}, true, false, false, M::Gnome},
      {"X-Cinnamon", {}, true, false, false, M::Cinnamon},
      {"MATE", {"gnome-shell"}, true, false, false, M::Mate},  // the name beats the programs
      {"KDE", {}, false, true, false, M::Plasma},
      {"xfce", {}, true, false, false, M::Xfce},  // any case
      {"sway", {}, false, true, true, M::Sway},
      {"", {"bash", "plasmashell"}, true, false, false, M::Plasma},
      {"i3", {"xfdesktop"}, true, false, false, M::Xfce},
      {"", {}, false, true, true, M::Sway},
      {"i3", {"i3", "picom"}, true, false, false, M::RootPixmap},
      {"LXDE", {}, true, false, false, M::RootPixmap},
      {"Hyprland", {}, true, true, false, M::None},  // XWayland's root is not the desktop
      {"", {}, false, false, false, M::None},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.desktop) + " x11=" + std::to_string(c.x11) +
                 " wayland=" + std::to_string(c.wayland));
    DesktopSession s;
    s.currentDesktop = c.desktop;
    s.running = c.running;
    s.x11 = c.x11;
    s.wayland = c.wayland;
    s.swaySocket = c.swaySocket;
    s.desktopSession = c.session;
    EXPECT_EQ(ChooseBackgroundMethod(s), c.want);
  }
}

// Only this user's programs in this login session tell the desktop: a
// leftover sway of another user, or this user's GNOME on another seat, do not.
TEST(DesktopBackground, ProgramsOfOtherUsersAndSessionsAreNotLookedAt) {
  tavtest::TempConfig dir;
  const std::string proc = (dir.home() / "proc").string();
  const unsigned me = ::getuid(), other = me + 4242;
  const struct {
    const char* pid;
    const char* comm;
    unsigned uid;
    const char* session;  // nullptr: no sessionid file
  } processes[] = {
      {"10", "bash", me, "3"},        {"11", "xfdesktop", me, "3"}, {"12", "sway", other, "3"},
      {"13", "gnome-shell", me, "7"}, {"14", "i3", me, nullptr},    {"notapid", "plasmashell", me, "3"},
  };
  for (const auto& p : processes) {
    const std::filesystem::path d = std::filesystem::path(proc) / p.pid;
    std::filesystem::create_directories(d);
    std::ofstream(d / "comm") << p.comm << "\n";
    if (p.session) std::ofstream(d / "sessionid") << p.session;
    if (p.uid != me && ::chown(d.c_str(), p.uid, p.uid) != 0) GTEST_SKIP() << "needs root to own a folder as another user";
  }
  const struct {
    std::string session;
    std::set<std::string> want;
  } cases[] = {
      {"3", {"bash", "xfdesktop"}},
      {"7", {"gnome-shell"}},
      {"", {"bash", "xfdesktop", "gnome-shell", "i3"}},  // outside a login session: all of ours
  };
  for (const auto& c : cases) EXPECT_EQ(SessionPrograms(proc, me, c.session), c.want) << c.session;
  EXPECT_TRUE(SessionPrograms(proc + "/missing", me, "").empty());
}

// Xfce keeps one image per monitor and workspace; every one of them is set,
// and nothing else from the listing.
TEST(DesktopBackground, XfceSetsEveryBackdropItLists) {
  std::vector<CommandLine> ran;
  const auto fake = [&](const CommandLine& c) {
    ran.push_back(c);
    if (c == XfcePropertyListCommand()) {
      return CommandOutcome{0,
                            "/backdrop/screen0/monitorHDMI-1/workspace0/last-image\n"
                            "/backdrop/screen0/monitorHDMI-1/workspace0/image-style\n"
                            "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n"
                            "/backdrop/screen0/monitoreDP-1/workspace0/last-image\n"
                            "/desktop-icons/last-image\n"};
    }
    return CommandOutcome{0, ""};
  };
  const BackgroundResult r = ApplyBackgroundByCommands(M::Xfce, "/p/w.png", fake);
  EXPECT_TRUE(r.ok) << r.message;
  ASSERT_EQ(ran.size(), 4u);
  const char* props[] = {"/backdrop/screen0/monitorHDMI-1/workspace0/last-image",
                         "/backdrop/screen0/monitorHDMI-1/workspace1/last-image",
                         "/backdrop/screen0/monitoreDP-1/workspace0/last-image"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ran[i + 1], (CommandLine{"xfconf-query", "-c", "xfce4-desktop", "-p", props[i],
                                       "-s", "/p/w.png"}));
  }
  // A failing command is reported with what it said.
  const BackgroundResult failed = ApplyBackgroundByCommands(
      M::Plasma, "/p/w.png", [](const CommandLine&) { return CommandOutcome{1, "no shell\n"}; });
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.message, "plasma-apply-wallpaperimage: no shell");
}

// The real gsettings with GIO's key-file backend and Debian's schemas: the
// light and the dark picture both name the file.
TEST(DesktopBackground, GnomeKeysReadBackThroughGsettings) {
  tavtest::TempConfig config;
  ::setenv("GSETTINGS_BACKEND", "keyfile", 1);
  const std::string file = (config.home() / "Wall paper #1.png").string();
  const BackgroundResult r = ApplyBackgroundByCommands(M::Gnome, file);
  EXPECT_TRUE(r.ok) << r.message;
  for (const char* key : {"picture-uri", "picture-uri-dark"}) {
    const CommandOutcome got = RunCommand({"gsettings", "get", "org.gnome.desktop.background", key});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.output, "'file://" + config.home().string() + "/Wall%20paper%20%231.png'\n")
        << key;
  }
  EXPECT_TRUE(std::filesystem::exists(config.config() / "glib-2.0" / "settings" / "keyfile"));
  ::unsetenv("GSETTINGS_BACKEND");
}

}  // namespace
}  // namespace tav
