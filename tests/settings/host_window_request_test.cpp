// Which host window, if any, the full-screen mode is asked to draw into.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "settings/host_window_request.hpp"

namespace {

struct Case {
  const char* name;
  std::vector<const char*> argv;
  const char* env;  // XSCREENSAVER_WINDOW, null when unset
  std::optional<uint32_t> want;
};

TEST(HostWindowRequest, PairAfterTheSwitchWinsOverTheVariable) {
  const std::vector<Case> cases = {
      {"nothing: own window", {"tavorensia", "--root"}, nullptr, std::nullopt},
      {"empty variable counts as unset", {"tavorensia", "/s"}, "", std::nullopt},
      {"no arguments at all", {"tavorensia"}, nullptr, std::nullopt},
      {"daemon's variable", {"tavorensia", "--root"}, "0x600008", 0x600008u},
      {"variable without a switch", {"tavorensia"}, "0x600008", 0x600008u},
      {"variable with another full-screen switch", {"tavorensia", "/s"}, "0x1C", 0x1Cu},
      {"settings tool: pair wins", {"tavorensia", "--root", "--window-id", "0x1A00003"},
       "0x600008", 0x1A00003u},
      {"pair, lower-case hex", {"tavorensia", "--root", "--window-id", "0x1a00003"}, nullptr,
       0x1A00003u},
      {"pair, decimal", {"tavorensia", "/s", "--window-id", "27262979"}, nullptr, 27262979u},
      {"pair without its id", {"tavorensia", "--root", "--window-id"}, "0x600008", 0u},
      {"pair with a bad id still wins", {"tavorensia", "--root", "--window-id", "junk"},
       "0x600008", 0u},
      {"bad variable", {"tavorensia", "--root"}, "garbage", 0u},
      {"pair as the switch itself", {"tavorensia", "--window-id", "0x5"}, nullptr, std::nullopt},
      {"pair among other options", {"tavorensia", "--root", "--speed", "5", "--window-id", "0x5"},
       "0x600008", 0x5u},
      {"options without a window", {"tavorensia", "--root", "--speed", "5"}, nullptr, std::nullopt},
      {"/s is never the background", {"tavorensia", "/s", "--root"}, nullptr, std::nullopt},
      {"single-dash name is not the pair", {"tavorensia", "--root", "-window-id", "0x5"},
       nullptr, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<const char*> argv = c.argv;
    argv.push_back(nullptr);
    EXPECT_EQ(tav::HostWindowRequest(static_cast<int>(c.argv.size()), argv.data(), c.env), c.want);
    // "--root" alone, with no host window, is the desktop background.
    const bool background = !c.want && c.argv.size() >= 2 && std::string(c.argv[1]) == "--root";
    EXPECT_EQ(tav::DesktopBackgroundRequest(static_cast<int>(c.argv.size()), argv.data(), c.env),
              background);
  }
}

}  // namespace
