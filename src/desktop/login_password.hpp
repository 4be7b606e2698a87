#pragma once
// The user's login password, checked through PAM (the service file
// data/pam.d/tavorensia): what unlocks the lock, as the login screen would.
// The screen saver's own password is in password.hpp.
//
// PAM asks through a conversation; ours answers every prompt with the typed
// password and keeps the lines PAM shows the user. The password is never
// logged.
#include <string>

#include "desktop/password.hpp"

namespace tav {

inline constexpr const char* kPamService = "tavorensia";

struct LoginCheck {
  // Unavailable: PAM itself failed (no service, module error, system error).
  enum class Result { Verified, Wrong, Unavailable } result;
  // PAM's own text for the user (its PAM_ERROR_MSG/PAM_TEXT_INFO lines, one
  // per line), else pam_strerror of the failing call (e.g. "Authentication
  // failure"); empty when verified without any message.
  std::string message;
};

// pam_start(service, user), pam_authenticate, pam_acct_mgmt, then
// pam_setcred(PAM_REFRESH_CRED), pam_end. Wrong: PAM refused the password or
// the user (PAM_AUTH_ERR, PAM_MAXTRIES, PAM_USER_UNKNOWN) or the account
// after a right password (PAM_ACCT_EXPIRED, PAM_PERM_DENIED); any other
// failure is Unavailable. An expired password (the account
// check asks for a new one) still counts as the right one: the result is
// Verified with a line that says it must be changed, since a lock screen
// cannot change it and a session must never stay locked for good. A failed
// refresh of the credentials after a right password is logged to stderr and
// also stays Verified. An empty user name is Unavailable (PAM is not asked).
LoginCheck CheckLoginPassword(const std::string& user, const SecureString& password,
                              const char* service = kPamService);

// The name of the user running us (getpwuid(getuid())), "" when unknown.
std::string LoginUserName();

}  // namespace tav
