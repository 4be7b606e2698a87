// The lock prompt's handling of the holder's key records, against a hive of
// the test's own with a stored password.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop/lock_prompt_model.hpp"
#include "desktop/password.hpp"
#include "temp_config.hpp"

namespace tav {
namespace {

using Clock = LockPromptModel::Clock;
using Outcome = LockPromptModel::Outcome;
using std::chrono::milliseconds;

constexpr uint32_t kKeysymA = 0x61;
constexpr uint32_t kKeysymLeft = 0xff51;

struct Press {
  uint32_t keysym;
  std::string text;
  uint16_t flags = 0;
  int atMs = 0;  // since the first key
};

struct Case {
  const char* name;
  int priorFailures;
  std::vector<Press> keys;
  std::string typed;  // after the last key
  bool caps;
  int failures;
  Outcome last;
  std::string noticeStart;  // "" for no notice at all
};

Press Text(const std::string& text, int atMs = 0, uint16_t flags = 0) { return {kKeysymA, text, flags, atMs}; }
Press Key(uint32_t keysym, int atMs = 0, uint16_t flags = 0) { return {keysym, "", flags, atMs}; }

TEST(LockPromptModel, KeysAndAnswers) {
  tavtest::TempConfig config;
  ASSERT_EQ(ChangePassword(SecureString(), SecureString("s\xc3\xa9same"), SecureString("s\xc3\xa9same")),
            PasswordChange::Stored);
  const std::string euro = "\xe2\x82\xac";  // three bytes
  std::vector<Press> full;
  for (int i = 0; i < 100; ++i) full.push_back(Text(euro));  // 300 bytes offered
  const std::string fullTyped = [&] {
    std::string s;
    while (s.size() + euro.size() < SecureString::kCapacity) s += euro;
    return s;
  }();

  const std::vector<Case> cases = {
      {"typed text", 0, {Text("ab"), Text("c")}, "abc", false, 0, Outcome::None, ""},
      {"backspace over a two-byte character", 0,
       {Text("s"), Text("\xc3\xa9"), Key(lock::kKeysymBackSpace)}, "s", false, 0, Outcome::None, ""},
      {"backspace over three bytes, then on empty", 0,
       {Text(euro), Key(lock::kKeysymBackSpace), Key(lock::kKeysymBackSpace)}, "", false, 0, Outcome::None, ""},
      {"keys without text add nothing", 0, {Text("x"), Key(kKeysymLeft)}, "x", false, 0, Outcome::None, ""},
      {"capped at the capacity, whole characters", 0, full, fullTyped, false, 0, Outcome::None, ""},
      {"caps lock as the last key had it", 0,
       {Text("A", 0, lock::kCapsLockOn)}, "A", true, 0, Outcome::None, ""},
      {"caps lock off again", 0,
       {Text("A", 0, lock::kCapsLockOn), Text("a")}, "Aa", false, 0, Outcome::None, ""},
      {"right password with Return", 0,
       {Text("s\xc3\xa9same"), Key(lock::kKeysymReturn)}, "", false, 0, Outcome::Verified, ""},
      {"right password with KP_Enter after a correction", 0,
       {Text("s\xc3\xa9samx"), Key(lock::kKeysymBackSpace), Text("e"), Key(lock::kKeysymKpEnter)}, "", false, 0,
       Outcome::Verified, ""},
      {"wrong password", 0,
       {Text("sesame"), Key(lock::kKeysymReturn)}, "", false, 1, Outcome::Wrong,
       "Wrong password.\nTry again in 1 second.\nFailed attempts: 1"},
      {"keys during the delay are ignored", 0,
       {Text("x"), Key(lock::kKeysymReturn), Text("s\xc3\xa9same", 500), Key(lock::kKeysymReturn, 900)}, "", false,
       1, Outcome::None, "Wrong password.\nTry again in 1 second.\nFailed attempts: 1"},
      {"and accepted after it", 0,
       {Text("x"), Key(lock::kKeysymReturn), Text("s\xc3\xa9same", 1000), Key(lock::kKeysymReturn, 1000)}, "",
       false, 1, Outcome::Verified, "Wrong password.\nFailed attempts: 1"},
      {"earlier failures count towards the delay", 2,
       {Text("y"), Key(lock::kKeysymReturn), Text("z", 2500)}, "", false, 3, Outcome::None,
       "Wrong password.\nTry again in 1 second.\nFailed attempts: 3"},
      {"earlier failures shown from the start", 4, {}, "", false, 4, Outcome::None,
       "Wrong password.\nFailed attempts: 4"},
      {"an empty answer is wrong", 0, {Key(lock::kKeysymReturn)}, "", false, 1, Outcome::Wrong,
       "Wrong password.\nTry again in 1 second."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LockPromptModel model(c.priorFailures);
    const Clock::time_point start{};
    Outcome last = Outcome::None;
    Clock::time_point at = start;
    for (const Press& p : c.keys) {
      at = start + milliseconds(p.atMs);
      last = model.Apply(lock::MakeKeyRecord(p.keysym, p.flags, p.text), at);
    }
    EXPECT_EQ(std::string(model.Typed().c_str()), c.typed);
    EXPECT_EQ(model.CapsLockOn(), c.caps);
    EXPECT_EQ(model.Failures(), c.failures);
    EXPECT_EQ(last, c.last);
    const std::string notice = model.Notice(at);
    if (c.noticeStart.empty()) EXPECT_EQ(notice, "");
    else EXPECT_EQ(notice.substr(0, c.noticeStart.size()), c.noticeStart) << notice;
  }
}

}  // namespace
}  // namespace tav
