#pragma once
// The screen-saver password, kept by ourselves: the check before the saver
// ends and the password change. The dialogs that ask are in modes/
// (password_prompt, change_password); the grab in screen_saver_running.hpp.
//
// The password lives only as an Argon2id hash in the hive, under
// "Control Panel\Desktop" beside "ScreenSaveUsePassword". Plain passwords
// are held in SecureString buffers that are wiped when they go, and are
// never stored or logged.
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "lock/lock_protocol.hpp"

namespace tav {

inline constexpr const char* kDesktopKey = "Control Panel\\Desktop";
inline constexpr const char* kUsePasswordValue = "ScreenSaveUsePassword";
inline constexpr const char* kPasswordHashValue = "ScreenSavePasswordHash";
inline constexpr const char* kUseLoginPasswordValue = "ScreenSaveUseLoginPassword";

// A password in a buffer of fixed capacity (so it is never reallocated and
// copied behind our back), wiped when it is destroyed or cleared.
class SecureString {
 public:
  static constexpr std::size_t kCapacity = 256;  // bytes, the terminating 0 included

  SecureString();
  explicit SecureString(const char* text);  // truncated to kCapacity - 1 bytes
  ~SecureString();
  SecureString(SecureString&& other) noexcept;
  SecureString& operator=(SecureString&& other) noexcept;
  SecureString(const SecureString&) = delete;
  SecureString& operator=(const SecureString&) = delete;

  // The 0-terminated buffer of kCapacity bytes, for text fields to edit.
  char* Buffer() { return buffer_; }
  const char* c_str() const { return buffer_; }
  std::size_t size() const;
  bool empty() const { return buffer_[0] == '\0'; }
  void Clear();

 private:
  char* buffer_;  // kCapacity bytes, locked out of swap where the system allows
};

// The dialog that asks for the password. Tests and other windows bring their own.
class PasswordPrompt {
 public:
  virtual ~PasswordPrompt() = default;
  // Shows the dialog until OK (the typed password) or Cancel (none).
  virtual std::optional<SecureString> Ask() = 0;
  // After a wrong answer: shows WrongPasswordNotice, counting down, and
  // returns once delay has passed (not before: the delay is what keeps
  // guessing slow).
  virtual void WrongPassword(std::chrono::milliseconds delay) = 0;
};

// Wrong answers make the next try wait longer (the rule the lock holder
// keeps too, lock/lock_protocol.hpp).
using lock::DelayAfterFailures;

// "Wrong password." and the whole seconds left of the delay, for the notice.
std::string WrongPasswordNotice(std::chrono::milliseconds left);

// Password verification as the full-screen and preview windows use it. Keeps
// the count of wrong answers for as long as it lives.
class PasswordVerifier {
 public:
  using ShowCursor = std::function<void(bool show)>;

  explicit PasswordVerifier(PasswordPrompt& prompt, ShowCursor showCursor = {});

  // True when the saver may end: no password protection set (or no hash
  // stored, as when the host has no such service), or the right password
  // was given. The cursor is shown while the dialog is open.
  bool VerifyPassword();
  int Failures() const { return failures_; }

 private:
  PasswordPrompt& prompt_;
  ShowCursor showCursor_;
  int failures_ = 0;
};

// What ends the saver, as the hive says.
enum class StoredLock {
  NoPassword,     // nothing: no protection
  OwnPassword,    // the saver's own password, its hash stored
  LoginPassword,  // the user's login password, checked through PAM
  // Protection settings that cannot be read (a damaged file, a hash that is
  // not one, a choice that is not 0 or 1): a lock must fail closed, so it
  // locks, and the login password ends it.
  Unreadable,
};
StoredLock ReadStoredLock();
// Set by "/s" for the lock's children when the settings could not be read as
// the lock began: the lock stays one the login password ends.
inline constexpr const char* kSettingsUnreadableVariable = "TAVORENSIA_SETTINGS_UNREADABLE";
inline constexpr const char* kUnreadableSettingsNotice =
    "The password settings cannot be read; use the login password";

// A typed password checked against what ReadStoredLock says (unreadable:
// as if it said Unreadable); message: what the check had to say (PAM's
// lines), if anything.
struct PasswordAnswer {
  bool right = false;
  std::string message;
};
PasswordAnswer CheckStoredLockPassword(const SecureString& password, bool unreadable = false);

// Any protection at all (ReadStoredLock() is not NoPassword).
bool PasswordProtectionSet();
// Whether a hash is stored at all (the change dialog then asks for the old one).
bool PasswordHashStored();
// Checks a password against the stored hash; false without a hash.
bool CheckPassword(const SecureString& password);

// The password change: the old password when a hash is stored, the new one twice.
enum class PasswordChange {
  Stored,       // new hash stored, ScreenSaveUsePassword 1
  Removed,      // empty new password: hash removed, ScreenSaveUsePassword 0
  LoginChosen,  // ScreenSaveUseLoginPassword 1 (and ScreenSaveUsePassword 1), hash removed
  WrongOld,     // nothing stored
  Mismatch,     // the two new entries differ; nothing stored
  NotStored,    // the hive could not be written
};
PasswordChange ChangePassword(const SecureString& oldPassword, const SecureString& newPassword,
                              const SecureString& confirmation);
// The login password instead: the old one (own or login) first, when one is set.
PasswordChange UseLoginPassword(const SecureString& oldPassword);
// Whether the change dialog must ask for the old password (own hash stored,
// or the login password chosen), and whether a given one is right.
bool OldPasswordAsked();
bool OldPasswordRight(const SecureString& oldPassword);
// The dialog's line for a result.
const char* PasswordChangeMessage(PasswordChange result);

// The password-change dialog's fields and buttons; modes/change_password.cpp
// draws it. Removing the protection (the right old password, both new fields
// empty) is asked about first, and the outcome is shown until OK.
class PasswordChangeDialog {
 public:
  enum class Stage {
    Entry,           // the fields, OK and Cancel; Message() tells why a try failed
    ConfirmRemoval,  // Message() asks; Yes and No
    Done,            // Message() tells what happened; OK closes
  };
  static constexpr const char* kRemovalQuestion =
      "Remove the password? The screen saver will then end without asking for one.";

  // askOld: a password is stored, so the old one is asked for.
  explicit PasswordChangeDialog(bool askOld) : askOld_(askOld) {}

  bool AskOld() const { return askOld_; }
  Stage CurrentStage() const { return stage_; }
  const std::string& Message() const { return message_; }
  bool Open() const { return open_; }

  SecureString OldPassword, NewPassword, Confirmation;
  bool UseLogin = false;  // "Use my login password": OK stores that choice instead

  void OKClick();      // Entry: tries the change; Done: closes
  void CancelClick();  // Entry and Done: closes; ConfirmRemoval: as No
  void YesClick();     // ConfirmRemoval: removes the password
  void NoClick();      // ConfirmRemoval: back to the fields, nothing changed

 private:
  void Finish(PasswordChange result);
  void ClearFields();

  bool askOld_;
  Stage stage_ = Stage::Entry;
  std::string message_;
  bool open_ = true;
};

}  // namespace tav
