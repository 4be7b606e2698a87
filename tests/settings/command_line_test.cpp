#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "settings/command_line.hpp"

namespace {

using tav::Mode;

struct SwitchCase {
  std::vector<const char*> args;  // after the program name
  std::optional<char32_t> letter;
  Mode mode;
  uint32_t handle;  // what the second argument gives
};

TEST(CommandLine, SwitchSelectsLetterModeAndHandle) {
  const std::vector<SwitchCase> cases = {
      {{}, std::nullopt, Mode::FullScreen, 0},
      {{"/s"}, U'S', Mode::FullScreen, 0},
      {{"/S"}, U'S', Mode::FullScreen, 0},
      {{"/c"}, U'C', Mode::Settings, 0},
      {{"-c"}, U'C', Mode::Settings, 0},
      {{"/C"}, U'C', Mode::Settings, 0},
      {{"/c:1234"}, U'C', Mode::Settings, 0},
      {{"/p", "1234"}, U'P', Mode::Preview, 1234},
      {{"/p:1234"}, U'P', Mode::Preview, 0},
      {{"/a", "1234"}, U'A', Mode::ChangePassword, 1234},
      {{"c"}, std::nullopt, Mode::FullScreen, 0},
      {{""}, std::nullopt, Mode::FullScreen, 0},
      {{"xc"}, U'C', Mode::Settings, 0},
      {{"/x"}, U'X', Mode::FullScreen, 0},
      {{"/1"}, U'1', Mode::FullScreen, 0},
      {{"/\xC3\xA9"}, U'\u00E9', Mode::FullScreen, 0},          // é stays lower-case
      {{"/\xC3\x89"}, U'\u00C9', Mode::FullScreen, 0},          // É
      {{"/\xE2\x82\xAC"}, U'\u20AC', Mode::FullScreen, 0},      // €
      {{"/\xF0\x9F\x98\x80"}, U'\U0001F600', Mode::FullScreen, 0},
      {{"\xC3\xA9p", "0x10"}, U'P', Mode::Preview, 16},  // a two-byte first character is dropped whole
      {{"/p", " 1234", "99"}, U'P', Mode::Preview, 1234},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"tavorensia"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : std::string(c.args[0]));
    EXPECT_EQ(tav::ModeLetter(argc, argv.data()), c.letter);
    EXPECT_EQ(tav::ModeFor(tav::ModeLetter(argc, argv.data())), c.mode);
    EXPECT_EQ(tav::WindowHandleArgument(argc, argv.data()), c.handle);
  }
}

TEST(CommandLine, MalformedUtf8CountsByteByByte) {
  const struct {
    std::string arg;
    std::optional<char32_t> letter;
  } cases[] = {
      {"\xFF" "c", U'C'},           // stray byte as the first character
      {"/\xFF", U'\xFF'},           // stray byte as the second
      {"/\xC3", U'\xC3'},           // truncated two-byte sequence
      {"/\xE2\x82", U'\xE2'},       // truncated three-byte sequence
      {"/\xC0\x80", U'\xC0'},       // overlong NUL
      {"/\xED\xA0\x80", U'\xED'},   // surrogate
      {"/\xF4\x90\x80\x80", U'\xF4'},  // above U+10FFFF
      {"\xC3", std::nullopt},       // one byte, one character
      {"\xE2\x82\xAC", std::nullopt},  // one well-formed character only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arg));
    EXPECT_EQ(tav::ModeLetter(c.arg), c.letter);
  }
}

TEST(CommandLine, WindowHandleForms) {
  const struct {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"1234", 1234},       {"  1234", 1234},      {"\t7", 7},
      {"0", 0},             {"007", 7},            {"$1F", 0x1F},
      {"x1f", 0x1F},        {"X1F", 0x1F},         {"0x2a00007", 0x2a00007},
      {"0XABCDEF", 0xABCDEF}, {"4294967295", 4294967295u}, {"0xFFFFFFFF", 0xFFFFFFFFu},
      {"0x00000000FFFFFFFF", 0xFFFFFFFFu},
      {"4294967296", 0},    {"0x100000000", 0},    {"99999999999999999999999", 0},
      {"", 0},              {"   ", 0},            {"0x", 0},
      {"$", 0},             {"-5", 0},             {"+5", 0},
      {"12ab", 0},          {"1234 ", 0},          {"0x12g", 0},
      {"1 2", 0},           {"abc", 0},            {"$$1", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(tav::ParseWindowHandle(c.text), c.value);
  }
}

}  // namespace
