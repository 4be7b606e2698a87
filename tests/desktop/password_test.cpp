// Password verification and change against a hive of the test's own.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "settings/registry.hpp"
#include "desktop/password.hpp"
#include "desktop/scripted_prompt.hpp"
#include "temp_config.hpp"

namespace tav {
namespace {

using tavtest::ScriptedPrompt;

struct Harness {
  Harness()
      : verifier(prompt, [this](bool show) { cursor += show ? 1 : -1; cursorLow = std::min(cursorLow, cursor); }) {}
  tavtest::TempConfig config;
  ScriptedPrompt prompt;
  int cursor = -1;  // hidden, as in the full-screen mode
  int cursorLow = -1;
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
  };
  for (const char* hive : hives) {
    Harness h;
    if (hive) h.config.WriteHive(hive);
    EXPECT_TRUE(h.verifier.VerifyPassword()) << (hive ? hive : "no hive");
    EXPECT_EQ(h.prompt.asked, 0);
  }
}

// What ends the saver, as the hive says; anything we would not have written
// locks, with the login password as the way out.
TEST(StoredLockTest, WhatTheHiveSays) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n";
  const std::string hash = "\"ScreenSavePasswordHash\"=\"$argon2id$v=19$m=65536,t=2,p=1$x$y\"\n";
  const std::string on = "\"ScreenSaveUsePassword\"=dword:00000001\n";
  const std::string login = "\"ScreenSaveUseLoginPassword\"=dword:00000001\n";
  const std::string broken = "[HKEY_CURRENT_USER\\Software\\Broken\n\"x\"=dword:zz\n";
  const struct {
    const char* what;
    std::optional<std::string> hive;
    StoredLock expected;
  } cases[] = {
      {"no hive", std::nullopt, StoredLock::NoPassword},
      {"protection off", head + "\"ScreenSaveUsePassword\"=dword:00000000\n" + hash, StoredLock::NoPassword},
      {"on without a hash", head + on, StoredLock::Unreadable},
      {"own password", head + on + hash, StoredLock::OwnPassword},
      {"login password", head + on + login, StoredLock::LoginPassword},
      {"login password, an old hash left", head + on + login + hash, StoredLock::LoginPassword},
      {"login chosen, protection off", head + "\"ScreenSaveUsePassword\"=dword:00000000\n" + login, StoredLock::NoPassword},
      {"protection of the wrong type", head + "\"ScreenSaveUsePassword\"=\"1\"\n" + hash, StoredLock::Unreadable},
      {"protection neither 0 nor 1", head + "\"ScreenSaveUsePassword\"=dword:00000002\n" + hash, StoredLock::Unreadable},
      {"login choice neither 0 nor 1", head + on + "\"ScreenSaveUseLoginPassword\"=dword:00000007\n",
       StoredLock::Unreadable},
      {"a hash with no word on protection", head + hash, StoredLock::Unreadable},
      {"a hash that is none", head + on + "\"ScreenSavePasswordHash\"=\"sesame\"\n", StoredLock::Unreadable},
      {"own password, two bad lines appended", head + on + hash + broken, StoredLock::Unreadable},
      {"no protection, a bad line", head + broken, StoredLock::Unreadable},
      {"not a hive", std::string("[garbage"), StoredLock::Unreadable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tavtest::TempConfig config;
    if (c.hive) config.WriteHive(*c.hive);
    EXPECT_EQ(ReadStoredLock(), c.expected);
    EXPECT_EQ(PasswordProtectionSet(), c.expected != StoredLock::NoPassword);
  }
  // The bad lines go at the next write; the password's own stay.
  tavtest::TempConfig config;
  config.WriteHive(head + on + hash + broken);
  Registry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Tavorensia\\", true));
  reg.WriteInteger("Fast", 20);
  EXPECT_EQ(ReadStoredLock(), StoredLock::OwnPassword);
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
  // Each wrong answer, and only those, was told with its delay.
  EXPECT_EQ(h.prompt.wrongNotices, (std::vector<milliseconds>{milliseconds(1000), milliseconds(2000)}));
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
  // The notice counts the delay down in whole seconds, rounded up.
  const std::pair<milliseconds, const char*> notices[] = {
      {milliseconds(30000), "Wrong password.\nTry again in 30 seconds."},
      {milliseconds(1001), "Wrong password.\nTry again in 2 seconds."},
      {milliseconds(1000), "Wrong password.\nTry again in 1 second."},
      {milliseconds(1), "Wrong password.\nTry again in 1 second."},
      {milliseconds(0), "Wrong password."},
      {milliseconds(-40), "Wrong password."}};
  for (const auto& [left, text] : notices) EXPECT_EQ(WrongPasswordNotice(left), text) << left.count();
}

// The change dialog's buttons: what each entry leads to, and what is stored.
TEST(PasswordChangeDialogTest, SaysWhatHappenedAndAsksBeforeRemoving) {
  enum Answer { kNone, kYes, kNo, kCancel };
  using Stage = PasswordChangeDialog::Stage;
  const char* removal = PasswordChangeDialog::kRemovalQuestion;
  const char* login = "The screen saver now asks for your login password.";
  const struct {
    const char* stored;  // the password set before, nullptr: none
    const char *oldPw, *newPw, *confirm;
    Answer answer;       // to the removal question
    const char* asked;   // Message() right after OK
    Stage stage;         // at the end
    const char* shown;   // Message() at the end
    const char* works;   // the password stored at the end, nullptr: none
    bool useLogin = false;  // "Use my login password" checked
  } cases[] = {
      {nullptr, "", "new", "new", kNone, "Password changed.", Stage::Done, "Password changed.", "new"},
      {"one", "one", "two", "two", kNone, "Password changed.", Stage::Done, "Password changed.", "two"},
      {"one", "x", "two", "two", kNone, "The old password is not correct.", Stage::Entry,
       "The old password is not correct.", "one"},
      {"one", "one", "two", "twp", kNone, "The new password and its confirmation do not match.", Stage::Entry,
       "The new password and its confirmation do not match.", "one"},
      {"one", "one", "", "", kYes, removal, Stage::Done, "Password protection removed.", nullptr},
      {"one", "one", "", "", kNo, removal, Stage::Entry, "", "one"},
      {"one", "one", "", "", kCancel, removal, Stage::Entry, "", "one"},
      {"one", "x", "", "", kNone, "The old password is not correct.", Stage::Entry,
       "The old password is not correct.", "one"},
      {nullptr, "", "", "", kNone, "Password protection removed.", Stage::Done, "Password protection removed.",
       nullptr},
      {nullptr, "", "", "", kNone, login, Stage::Done, login, nullptr, true},
      {"one", "x", "", "", kNone, "The old password is not correct.", Stage::Entry,
       "The old password is not correct.", "one", true},
      {"one", "one", "two", "two", kNone, login, Stage::Done, login, nullptr, true},  // the new fields do not count
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stored ? c.stored : "-") + "/" + c.oldPw + "/" + c.newPw + "/" + c.confirm + "/" +
                 std::to_string(c.answer));
    tavtest::TempConfig config;
    if (c.stored) {
      ASSERT_EQ(ChangePassword(SecureString(), SecureString(c.stored), SecureString(c.stored)),
                PasswordChange::Stored);
    }
    PasswordChangeDialog dlg(PasswordHashStored());
    EXPECT_EQ(dlg.AskOld(), c.stored != nullptr);
    dlg.OldPassword = SecureString(c.oldPw);
    dlg.NewPassword = SecureString(c.newPw);
    dlg.Confirmation = SecureString(c.confirm);
    dlg.UseLogin = c.useLogin;
    dlg.OKClick();
    EXPECT_EQ(dlg.Message(), c.asked);
    if (c.answer != kNone) {
      ASSERT_EQ(dlg.CurrentStage(), Stage::ConfirmRemoval);
      EXPECT_TRUE(CheckPassword(SecureString(c.stored)));  // nothing removed while asking
      if (c.answer == kYes) dlg.YesClick();
      if (c.answer == kNo) dlg.NoClick();
      if (c.answer == kCancel) dlg.CancelClick();
    }
    EXPECT_EQ(dlg.CurrentStage(), c.stage);
    EXPECT_EQ(dlg.Message(), c.shown);
    EXPECT_TRUE(dlg.OldPassword.empty() && dlg.NewPassword.empty() && dlg.Confirmation.empty());
    EXPECT_EQ(PasswordHashStored(), c.works != nullptr);
    if (c.works) {
      EXPECT_TRUE(CheckPassword(SecureString(c.works)));
    }
    const bool loginChosen = c.useLogin && c.stage == Stage::Done;
    EXPECT_EQ(ReadStoredLock(), loginChosen ? StoredLock::LoginPassword
                                : c.works   ? StoredLock::OwnPassword
                                            : StoredLock::NoPassword);
    // The outcome stays up until OK; a failed try leaves the dialog open.
    EXPECT_TRUE(dlg.Open());
    if (c.stage == Stage::Done) {
      dlg.OKClick();
      EXPECT_FALSE(dlg.Open());
    }
  }
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
