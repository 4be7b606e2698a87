// The password dialog in a window of its own (as windows other than the
// full-screen one use it), typed into with xdotool under Xvfb.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/application.hpp"
#include "app/modes.hpp"
#include "harness.hpp"
#include "preview/host_dialogs.hpp"

namespace tav {
namespace {

using namespace std::chrono_literals;

struct OwnDisplay {
  OwnDisplay() {
    const char* d = std::getenv("DISPLAY");
    if (d) saved = d;
    setenv("DISPLAY", x.Display().c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");
  }
  ~OwnDisplay() {
    if (saved.empty())
      unsetenv("DISPLAY");
    else
      setenv("DISPLAY", saved.c_str(), 1);
  }
  tavtest::Xvfb x{640, 480};
  std::string saved;
};

// Types keys into the dialog once it is on the screen.
std::thread TypeInto(const std::string& display, std::vector<std::vector<std::string>> steps) {
  return std::thread([display, steps] {
    tavtest::WaitForWindow(display, kApplicationTitle, 20s);
    std::this_thread::sleep_for(700ms);
    for (const auto& s : steps) tavtest::Xdotool(display, s);
  });
}

TEST(PasswordPromptWindow, OkGivesTheTypedTextEscapeCancels) {
  OwnDisplay d;
  ASSERT_TRUE(d.x.Ok());
  Application app(kApplicationTitle);
  SdlPasswordPrompt prompt;

  auto typist = TypeInto(d.x.Display(), {{"type", "--delay", "30", "pass word"}, {"key", "Return"}});
  const auto typed = prompt.Ask();
  typist.join();
  ASSERT_TRUE(typed.has_value());
  EXPECT_STREQ(typed->c_str(), "pass word");

  typist = TypeInto(d.x.Display(), {{"type", "--delay", "30", "abc"}, {"key", "Escape"}});
  const auto cancelled = prompt.Ask();
  typist.join();
  EXPECT_FALSE(cancelled.has_value());
}

}  // namespace
}  // namespace tav
