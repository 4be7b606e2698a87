#include "desktop/password.hpp"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "desktop/login_password.hpp"
#include "settings/registry.hpp"

namespace tav {

// ---- SecureString ----------------------------------------------------------

namespace {
char* NewSecureBuffer() {
  if (sodium_init() < 0) throw std::bad_alloc();
  // Guarded, locked memory; plain memory is the fallback where mlock is refused.
  auto* p = static_cast<char*>(sodium_malloc(SecureString::kCapacity));
  if (!p) p = new char[SecureString::kCapacity];
  std::memset(p, 0, SecureString::kCapacity);
  return p;
}

void FreeSecureBuffer(char* p) {
  if (!p) return;
  sodium_memzero(p, SecureString::kCapacity);
  sodium_free(p);
}
}  // namespace

SecureString::SecureString() : buffer_(NewSecureBuffer()) {}

SecureString::SecureString(const char* text) : SecureString() {
  const std::size_t n = std::min(std::strlen(text), kCapacity - 1);
  std::memcpy(buffer_, text, n);
}

SecureString::~SecureString() { FreeSecureBuffer(buffer_); }

SecureString::SecureString(SecureString&& other) noexcept : buffer_(other.buffer_) { other.buffer_ = nullptr; }

SecureString& SecureString::operator=(SecureString&& other) noexcept {
  if (this != &other) {
    FreeSecureBuffer(buffer_);
    buffer_ = other.buffer_;
    other.buffer_ = nullptr;
  }
  return *this;
}

std::size_t SecureString::size() const { return buffer_ ? strnlen(buffer_, kCapacity) : 0; }

void SecureString::Clear() {
  if (buffer_) sodium_memzero(buffer_, kCapacity);
}

// ---- the hive --------------------------------------------------------------

namespace {

// The stored hash, if one is.
std::optional<std::string> ReadHash() {
  try {
    Registry reg;
    if (!reg.OpenKey(kDesktopKey, false)) return std::nullopt;
    if (!reg.ValueExists(kPasswordHashValue)) return std::nullopt;
    std::string hash = reg.ReadString(kPasswordHashValue);
    if (hash.empty()) return std::nullopt;
    return hash;
  } catch (const std::exception&) {
    return std::nullopt;  // a damaged value counts as a missing service
  }
}

bool Verify(const std::string& hash, const SecureString& password) {
  if (sodium_init() < 0) return false;
  return crypto_pwhash_str_verify(hash.c_str(), password.c_str(), password.size()) == 0;
}

}  // namespace

StoredLock ReadStoredLock() {
  try {
    Registry reg;
    const bool open = reg.OpenKey(kDesktopKey, false);
    // What a damaged file lost may have been the password's own line.
    if (reg.HiveDamaged()) return StoredLock::Unreadable;
    if (!open) return StoredLock::NoPassword;
    // A choice is 0, 1 or absent; anything else was not written by us.
    const auto choice = [&](const char* name) -> std::optional<int32_t> {
      if (!reg.ValueExists(name)) return 0;
      const int32_t v = reg.ReadInteger(name);
      if (v != 0 && v != 1) return std::nullopt;
      return v;
    };
    const auto use = choice(kUsePasswordValue), login = choice(kUseLoginPasswordValue);
    if (!use || !login) return StoredLock::Unreadable;
    const std::string hash = reg.ValueExists(kPasswordHashValue) ? reg.ReadString(kPasswordHashValue) : "";
    if (*use == 0) {
      // A hash with no word on protection was never written so by us.
      return !hash.empty() && !reg.ValueExists(kUsePasswordValue) ? StoredLock::Unreadable : StoredLock::NoPassword;
    }
    if (*login == 1) return StoredLock::LoginPassword;
    // Protection on and nothing to check it against: not what we write.
    if (hash.empty()) return StoredLock::Unreadable;
    return hash.starts_with("$argon2") ? StoredLock::OwnPassword : StoredLock::Unreadable;
  } catch (const std::exception&) {
    return StoredLock::Unreadable;  // a value of the wrong type
  }
}

PasswordAnswer CheckStoredLockPassword(const SecureString& password, bool unreadable) {
  switch (unreadable ? StoredLock::Unreadable : ReadStoredLock()) {
    case StoredLock::NoPassword: return {true, {}};
    case StoredLock::OwnPassword: return {CheckPassword(password), {}};
    case StoredLock::LoginPassword:
    case StoredLock::Unreadable: break;
  }
  const LoginCheck check = CheckLoginPassword(LoginUserName(), password);
  return {check.result == LoginCheck::Result::Verified, check.message};
}

bool PasswordProtectionSet() { return ReadStoredLock() != StoredLock::NoPassword; }
bool PasswordHashStored() { return ReadHash().has_value(); }

bool CheckPassword(const SecureString& password) {
  const auto hash = ReadHash();
  return hash && Verify(*hash, password);
}

// ---- verification ----------------------------------------------------------

std::string WrongPasswordNotice(std::chrono::milliseconds left) {
  std::string text = "Wrong password.";
  const long long seconds = (std::max<long long>(left.count(), 0) + 999) / 1000;
  if (seconds > 0) text += "\nTry again in " + std::to_string(seconds) + (seconds == 1 ? " second." : " seconds.");
  return text;
}

PasswordVerifier::PasswordVerifier(PasswordPrompt& prompt, ShowCursor showCursor)
    : prompt_(prompt), showCursor_(std::move(showCursor)) {}

bool PasswordVerifier::VerifyPassword() {
  if (!PasswordProtectionSet()) return true;
  if (showCursor_) showCursor_(true);
  bool right = false;
  try {
    const std::optional<SecureString> answer = prompt_.Ask();
    if (!answer) {  // cancelled
      if (showCursor_) showCursor_(false);
      return false;
    }
    right = CheckStoredLockPassword(*answer).right;
    if (!right) prompt_.WrongPassword(DelayAfterFailures(++failures_));
  } catch (...) {
    if (showCursor_) showCursor_(false);
    throw;
  }
  if (showCursor_) showCursor_(false);
  if (right) failures_ = 0;
  return right;
}

// ---- change ----------------------------------------------------------------

bool OldPasswordRight(const SecureString& oldPassword) {
  if (const auto hash = ReadHash()) return Verify(*hash, oldPassword);
  if (ReadStoredLock() == StoredLock::LoginPassword)
    return CheckLoginPassword(LoginUserName(), oldPassword).result == LoginCheck::Result::Verified;
  return true;  // nothing to prove
}

bool OldPasswordAsked() { return PasswordHashStored() || ReadStoredLock() == StoredLock::LoginPassword; }

PasswordChange ChangePassword(const SecureString& oldPassword, const SecureString& newPassword,
                              const SecureString& confirmation) {
  if (!OldPasswordRight(oldPassword)) return PasswordChange::WrongOld;
  if (newPassword.size() != confirmation.size() ||
      sodium_memcmp(newPassword.c_str(), confirmation.c_str(), newPassword.size()) != 0)
    return PasswordChange::Mismatch;
  try {
    Registry reg;
    if (!reg.OpenKey(kDesktopKey, true)) return PasswordChange::NotStored;
    if (newPassword.empty()) {
      reg.DeleteValue(kPasswordHashValue);
      reg.DeleteValue(kUseLoginPasswordValue);
      reg.WriteInteger(kUsePasswordValue, 0);
      return PasswordChange::Removed;
    }
    if (sodium_init() < 0) return PasswordChange::NotStored;
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, newPassword.c_str(), newPassword.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
      return PasswordChange::NotStored;
    reg.WriteString(kPasswordHashValue, hash);
    reg.DeleteValue(kUseLoginPasswordValue);
    reg.WriteInteger(kUsePasswordValue, 1);
    return PasswordChange::Stored;
  } catch (const std::exception&) {
    return PasswordChange::NotStored;
  }
}

PasswordChange UseLoginPassword(const SecureString& oldPassword) {
  if (!OldPasswordRight(oldPassword)) return PasswordChange::WrongOld;
  try {
    Registry reg;
    if (!reg.OpenKey(kDesktopKey, true)) return PasswordChange::NotStored;
    // The choice first: a crash between the writes leaves it locked.
    reg.WriteInteger(kUseLoginPasswordValue, 1);
    reg.WriteInteger(kUsePasswordValue, 1);
    reg.DeleteValue(kPasswordHashValue);
    return PasswordChange::LoginChosen;
  } catch (const std::exception&) {
    return PasswordChange::NotStored;
  }
}

const char* PasswordChangeMessage(PasswordChange result) {
  switch (result) {
    case PasswordChange::Stored: return "Password changed.";
    case PasswordChange::Removed: return "Password protection removed.";
    case PasswordChange::LoginChosen: return "The screen saver now asks for your login password.";
    case PasswordChange::WrongOld: return "The old password is not correct.";
    case PasswordChange::Mismatch: return "The new password and its confirmation do not match.";
    case PasswordChange::NotStored: return "The password could not be stored.";
  }
  return "";
}

// ---- the change dialog -----------------------------------------------------

void PasswordChangeDialog::ClearFields() {
  OldPassword.Clear();
  NewPassword.Clear();
  Confirmation.Clear();
}

void PasswordChangeDialog::Finish(PasswordChange result) {
  message_ = PasswordChangeMessage(result);
  stage_ = result == PasswordChange::Stored || result == PasswordChange::Removed || result == PasswordChange::LoginChosen
               ? Stage::Done
               : Stage::Entry;
  ClearFields();
}

void PasswordChangeDialog::OKClick() {
  switch (stage_) {
    case Stage::Entry:
      if (UseLogin) {
        Finish(UseLoginPassword(OldPassword));
        return;
      }
      // Two empty fields would silently drop the protection: ask first, once
      // the old password has shown that the one asking may.
      if (askOld_ && NewPassword.empty() && Confirmation.empty()) {
        if (!OldPasswordRight(OldPassword)) {
          Finish(PasswordChange::WrongOld);
          return;
        }
        stage_ = Stage::ConfirmRemoval;
        message_ = kRemovalQuestion;
        return;
      }
      Finish(ChangePassword(OldPassword, NewPassword, Confirmation));
      return;
    case Stage::ConfirmRemoval: return;
    case Stage::Done: open_ = false; return;
  }
}

void PasswordChangeDialog::CancelClick() {
  if (stage_ == Stage::ConfirmRemoval) {
    NoClick();
    return;
  }
  ClearFields();
  open_ = false;
}

void PasswordChangeDialog::YesClick() {
  if (stage_ != Stage::ConfirmRemoval) return;
  Finish(ChangePassword(OldPassword, SecureString(), SecureString()));
}

void PasswordChangeDialog::NoClick() {
  if (stage_ != Stage::ConfirmRemoval) return;
  ClearFields();
  message_.clear();
  stage_ = Stage::Entry;
}

}  // namespace tav
