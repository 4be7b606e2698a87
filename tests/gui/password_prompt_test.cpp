// The password dialog in a window of its own (as windows other than the
// full-screen one use it), typed into with xdotool under Xvfb.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/application.hpp"
#include "harness.hpp"
#include "modes/password_prompt.hpp"

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

// Types keys into the dialog once it is on the screen; shown tells whether it came.
std::thread TypeInto(const std::string& display, std::vector<std::vector<std::string>> steps,
                     bool* shown = nullptr) {
  return std::thread([display, steps, shown] {
    const bool found = tavtest::WaitForWindow(display, kApplicationTitle, 20s).has_value();
    if (shown) *shown = found;
    std::this_thread::sleep_for(700ms);
    for (const auto& s : steps) tavtest::Xdotool(display, s);
  });
}

TEST(PasswordPromptWindow, OkGivesTheTypedTextEscapeCancelsAWrongOneWaits) {
  TAV_SYSTEM_LIBRARIES_MAY_LEAK();
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

  // The wrong-password notice stays for the whole delay, and what is typed
  // meanwhile neither ends it nor waits to reopen the dialog afterwards.
  bool shown = false;
  typist = TypeInto(d.x.Display(), {{"key", "Return"}, {"type", "--delay", "30", "abc"}, {"key", "Escape"}}, &shown);
  const auto start = std::chrono::steady_clock::now();
  prompt.WrongPassword(2s);
  const auto waited = std::chrono::steady_clock::now() - start;
  typist.join();
  EXPECT_TRUE(shown);
  EXPECT_GE(waited, 2s);
  SDL_PumpEvents();
  EXPECT_FALSE(SDL_HasEvents(SDL_KEYDOWN, SDL_TEXTINPUT));
}

}  // namespace
}  // namespace tav
