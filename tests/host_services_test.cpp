// Password verification and change against a hive of the test's own.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "app/registry.hpp"
#include "preview/host_services.hpp"
#include "scripted_prompt.hpp"
#include "temp_config.hpp"

namespace tav {
namespace {

using tavtest::ScriptedPrompt;

struct Harness {
  Harness()
      : verifier(prompt, [this](bool show) { cursor += show ? 1 : -1; cursorLow = std::min(cursorLow, cursor); },
                 [this](std::chrono::milliseconds d) { delays.push_back(d); }) {}
  tavtest::TempConfig config;
  ScriptedPrompt prompt;
  int cursor = -1;  // hidden, as in the full-screen mode
  int cursorLow = -1;
  std::vector<std::chrono::milliseconds> delays;
  PasswordVerifier verifier;
};

int32_t UsePassword() {
  Registry reg;
  if (!reg.OpenKey(kDesktopKey, false) || !reg.ValueExists(kUsePasswordValue)) return -1;
  return reg.ReadInteger(kUsePasswordValue);
}

TEST(VerifyPassword, AnswersTrueWithoutAskingWhenNoProtectionIsSet) {
  const char* hives[] = {
      nullptr,  // no hive at all
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
      "\"ScreenSaveUsePassword\"=dword:00000000\n\"ScreenSavePasswordHash\"=\"$argon2id$v=19$m=65536,t=2,p=1$x$y\"\n",
      // protection on but no hash: the service counts as missing
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
      "\"ScreenSaveUsePassword\"=dword:00000001\n",
      // a value of the wrong type
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
      "\"ScreenSaveUsePassword\"=\"1\"\n\"ScreenSavePasswordHash\"=\"$argon2id$v=19$m=65536,t=2,p=1$x$y\"\n",
  };
  for (const char* hive : hives) {
    Harness h;
    if (hive) h.config.WriteHive(hive);
    EXPECT_TRUE(h.verifier.VerifyPassword()) << (hive ? hive : "no hive");
    EXPECT_EQ(h.prompt.asked, 0);
  }
}

TEST(VerifyPassword, RightWrongAndCancelledAnswers) {
  Harness h;
  ASSERT_EQ(ChangePassword(SecureString(), SecureString("sesame"), SecureString("sesame")), PasswordChange::Stored);
  EXPECT_EQ(UsePassword(), 1);
  EXPECT_TRUE(PasswordProtectionSet());

  h.prompt.Cancel();
  h.prompt.Answer("Sesame");
  h.prompt.Answer("");
  h.prompt.Answer("sesame");
  EXPECT_FALSE(h.verifier.VerifyPassword());  // cancelled: no delay
  EXPECT_FALSE(h.verifier.VerifyPassword());
  EXPECT_FALSE(h.verifier.VerifyPassword());
  EXPECT_TRUE(h.verifier.VerifyPassword());
  EXPECT_EQ(h.prompt.asked, 4);
  using std::chrono::milliseconds;
  EXPECT_EQ(h.delays, (std::vector<milliseconds>{milliseconds(1000), milliseconds(2000)}));
  // Shown while the dialog was open, hidden again afterwards.
  EXPECT_EQ(h.cursor, -1);
  EXPECT_EQ(h.cursorLow, -1);
  // The hive holds the hash, never the password.
  EXPECT_EQ(tavtest::ReadFile(h.config.hive()).find("sesame"), std::string::npos);
}

TEST(ChangePassword, WrongOldPasswordOrMismatchStoresNothingEmptyRemoves) {
  tavtest::TempConfig config;
  EXPECT_FALSE(PasswordHashStored());
  EXPECT_EQ(ChangePassword(SecureString(), SecureString("one"), SecureString("onE")), PasswordChange::Mismatch);
  EXPECT_FALSE(PasswordHashStored());
  ASSERT_EQ(ChangePassword(SecureString(), SecureString("one"), SecureString("one")), PasswordChange::Stored);
  const std::string stored = tavtest::ReadFile(config.hive());

  EXPECT_EQ(ChangePassword(SecureString("two"), SecureString("three"), SecureString("three")),
            PasswordChange::WrongOld);
  EXPECT_EQ(ChangePassword(SecureString("one"), SecureString("three"), SecureString("thre")),
            PasswordChange::Mismatch);
  EXPECT_EQ(tavtest::ReadFile(config.hive()), stored);
  EXPECT_TRUE(CheckPassword(SecureString("one")));

  EXPECT_EQ(ChangePassword(SecureString("one"), SecureString(), SecureString()), PasswordChange::Removed);
  EXPECT_EQ(UsePassword(), 0);
  EXPECT_FALSE(PasswordHashStored());
  EXPECT_FALSE(CheckPassword(SecureString("one")));
  // With no password left, a new one needs no old one.
  EXPECT_EQ(ChangePassword(SecureString("whatever"), SecureString("four"), SecureString("four")),
            PasswordChange::Stored);
  EXPECT_TRUE(CheckPassword(SecureString("four")));
}

TEST(PasswordDelay, GrowsWithEachWrongAnswerUpToAHalfMinute) {
  using std::chrono::milliseconds;
  const std::pair<int, milliseconds> cases[] = {
      {0, milliseconds(0)}, {1, milliseconds(1000)}, {2, milliseconds(2000)}, {30, milliseconds(30000)},
      {1000, milliseconds(30000)}};
  for (const auto& [failures, delay] : cases) EXPECT_EQ(DelayAfterFailures(failures), delay) << failures;
}

TEST(SecureStringTest, KeepsAtMostItsCapacityAndClears) {
  const std::string longText(400, 'x');
  SecureString s(longText.c_str());
  EXPECT_EQ(s.size(), SecureString::kCapacity - 1);
  SecureString moved(std::move(s));
  EXPECT_EQ(moved.size(), SecureString::kCapacity - 1);
  moved.Clear();
  EXPECT_TRUE(moved.empty());
}

}  // namespace
}  // namespace tav
