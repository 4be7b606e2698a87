#pragma once
// Setting a saved wallpaper as the desktop background. Every desktop keeps
// its background its own way; this file chooses the way and builds the
// commands (pure logic, tested without those desktops), and runs them. The
// one way that needs X itself, the root window's background pixmap, lives
// in root_pixmap.hpp.
#include <functional>
#include <stdexcept>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

enum class BackgroundMethod {
  Gnome,     // GSettings org.gnome.desktop.background (GNOME, Budgie, Unity, ...)
  Cinnamon,  // GSettings org.cinnamon.desktop.background
  Mate,      // GSettings org.mate.background
  Plasma,    // plasma-apply-wallpaperimage
  Xfce,      // xfconf-query, every monitor and workspace
  Sway,      // swaymsg, for this session
  RootPixmap,  // any other X11 desktop: the root window's background pixmap
  None,      // nothing known to work here
};

// What the choice looks at.
struct DesktopSession {
  std::string currentDesktop;  // XDG_CURRENT_DESKTOP: names separated by ':'
  std::string desktopSession;  // DESKTOP_SESSION: the session's name, or a path ending in it
  bool x11 = false;            // DISPLAY is set
  bool wayland = false;        // WAYLAND_DISPLAY is set
  bool swaySocket = false;     // SWAYSOCK is set
  std::set<std::string> running;  // names of the programs running in this session
};

// The session of this process: its environment, and the programs in /proc
// that run as this user in this login session.
DesktopSession CurrentDesktopSession();

// The names (comm) of the processes under proc (/proc, or a tree of the
// same shape) that run as uid, and, when session is not empty, in that
// login session (their "sessionid" file). Another user's desktop, or this
// user's other session, says nothing about this one.
std::set<std::string> SessionPrograms(const std::string& proc, unsigned uid, const std::string& session);

// By XDG_CURRENT_DESKTOP first (the first name it knows wins), then
// DESKTOP_SESSION, then SWAYSOCK, then by the desktop's programs running in
// this session, then the root pixmap on an X11 session that is not a
// Wayland one.
BackgroundMethod ChooseBackgroundMethod(const DesktopSession& session);
// Whether the choice knew the desktop (false: the root pixmap as the last resort).
bool DesktopRecognised(const DesktopSession& session);

// file:// URI of an absolute path, bytes outside the unreserved set and '/'
// escaped as %XX.
std::string FileUri(std::string_view absolutePath);

using CommandLine = std::vector<std::string>;

// The commands that set the background to the file (an absolute path) by
// the method; for Xfce, one per backdrop property that xfconf-query -l
// listed (its output is passed in). Empty for RootPixmap and None.
std::vector<CommandLine> BackgroundCommands(BackgroundMethod method, const std::string& file,
                                            std::string_view xfceProperties = {});
// The command that lists Xfce's desktop properties.
CommandLine XfcePropertyListCommand();

// What setting the background came to.
struct BackgroundResult {
  bool ok = false;
  std::string message;  // on failure, the reason; on success, a note to show, if any
};

// Raised when a saved wallpaper could not be made the background ("Cannot
// set the desktop background: ..."), and for the note a session-only
// background comes with.
class EDesktopBackground : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs a command without a shell; its exit status (127 when it cannot be
// started) and what it wrote to stdout and stderr.
struct CommandOutcome {
  int status = 127;
  std::string output;
};
CommandOutcome RunCommand(const CommandLine& argv);

// Sets the background with one of the command-driven methods (the commands
// run through `run`). For RootPixmap the caller uses root_pixmap.hpp.
BackgroundResult ApplyBackgroundByCommands(
    BackgroundMethod method, const std::string& file,
    const std::function<CommandOutcome(const CommandLine&)>& run = RunCommand);

// Chooses the way for this session and sets the background to the file (an
// absolute path); on a plain X11 desktop through setRootPixmap, which the
// windowed code provides (none: that way fails).
BackgroundResult SetDesktopBackground(const std::string& file,
                                      const std::function<BackgroundResult()>& setRootPixmap);

}  // namespace tav
