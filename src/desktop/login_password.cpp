#include "desktop/login_password.hpp"

#include <pwd.h>
#include <security/pam_appl.h>
#include <sodium.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tav {

namespace {

constexpr const char* kExpiredNotice = "Your password has expired and must be changed.";

struct Conversation {
  const SecureString* password;
  std::string lines;  // the PAM_ERROR_MSG and PAM_TEXT_INFO lines, '\n' between them
};

void AddLine(std::string& lines, const char* text) {
  if (!text) return;
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.empty()) return;
  if (!lines.empty()) lines += '\n';
  lines += line;
}

void DropReplies(pam_response* replies, int count) {
  for (int i = 0; i < count; ++i) {
    if (char* r = replies[i].resp) {
      sodium_memzero(r, std::strlen(r));
      std::free(r);
    }
  }
  std::free(replies);
}

// Linux-PAM's layout: msg is an array of num_msg pointers; the replies are one
// calloc'd array that PAM frees, each resp a malloc'd string PAM wipes and frees.
// A module that only shows lines may pass no place for replies (pam_matrix
// does); the lines are kept all the same.
extern "C" int Converse(int numMsg, const struct pam_message** msg, struct pam_response** resp, void* data) {
  if (resp) *resp = nullptr;
  if (numMsg <= 0 || numMsg > PAM_MAX_NUM_MSG || !msg || !data) return PAM_CONV_ERR;
  auto* conv = static_cast<Conversation*>(data);
  pam_response* replies = nullptr;
  if (resp) {
    replies = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(numMsg), sizeof(pam_response)));
    if (!replies) return PAM_BUF_ERR;
  }
  auto fail = [&](int status) {
    if (replies) DropReplies(replies, numMsg);
    return status;
  };
  std::string lines;
  for (int i = 0; i < numMsg; ++i) {
    const pam_message* m = msg[i];
    if (!m) return fail(PAM_CONV_ERR);
    switch (m->msg_style) {
      case PAM_PROMPT_ECHO_OFF:
      case PAM_PROMPT_ECHO_ON:
        if (!replies) return fail(PAM_CONV_ERR);
        replies[i].resp = strdup(conv->password->c_str());
        if (!replies[i].resp) return fail(PAM_BUF_ERR);
        break;
      case PAM_ERROR_MSG:
      case PAM_TEXT_INFO:
        AddLine(lines, m->msg);
        break;
      default:  // binary prompts and the like: nothing we could answer
        return fail(PAM_CONV_ERR);
    }
  }
  AddLine(conv->lines, lines.c_str());
  if (resp) *resp = replies;
  return PAM_SUCCESS;
}

// The results that mean "not this password, not this user": the answer was
// heard and refused. Everything else that is not a success is PAM failing.
bool Refused(int status) {
  switch (status) {
    case PAM_AUTH_ERR:
    case PAM_MAXTRIES:
    case PAM_USER_UNKNOWN:
    case PAM_ACCT_EXPIRED:
    case PAM_PERM_DENIED:
      return true;
    default:
      return false;
  }
}

}  // namespace

LoginCheck CheckLoginPassword(const std::string& user, const SecureString& password, const char* service) {
  // Without a name PAM would ask for one, and we would answer with the password.
  if (user.empty() || user.find('\0') != std::string::npos)
    return {LoginCheck::Result::Unavailable, "No user name to check the password of."};
  if (!service || !*service) service = kPamService;

  Conversation conversation{&password, {}};
  const pam_conv conv{&Converse, &conversation};
  pam_handle_t* pamh = nullptr;
  int status = pam_start(service, user.c_str(), &conv, &pamh);
  if (status != PAM_SUCCESS || !pamh) {
    // No service file and no "other" to fall back on, or none readable.
    if (pamh) pam_end(pamh, status);
    return {LoginCheck::Result::Unavailable, pam_strerror(nullptr, status)};
  }

  auto failed = [&](int code) {
    LoginCheck check{Refused(code) ? LoginCheck::Result::Wrong : LoginCheck::Result::Unavailable,
                     conversation.lines};
    if (check.message.empty()) check.message = pam_strerror(pamh, code);
    pam_end(pamh, code);
    return check;
  };

  status = pam_authenticate(pamh, 0);
  if (status != PAM_SUCCESS) return failed(status);

  bool expired = false;
  status = pam_acct_mgmt(pamh, 0);
  if (status == PAM_NEW_AUTHTOK_REQD) {
    expired = true;  // the password was right; changing it is for a login, not for a lock
  } else if (status != PAM_SUCCESS) {
    return failed(status);
  }

  // Refreshes tickets and the like. The password was right whatever this
  // says, so a failure is only logged.
  status = pam_setcred(pamh, PAM_REFRESH_CRED);
  if (status != PAM_SUCCESS)
    std::fprintf(stderr, "tavorensia: pam_setcred for %s: %s\n", user.c_str(), pam_strerror(pamh, status));

  LoginCheck check{LoginCheck::Result::Verified, conversation.lines};
  if (expired) AddLine(check.message, kExpiredNotice);
  pam_end(pamh, PAM_SUCCESS);
  return check;
}

std::string LoginUserName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  while (true) {
    const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || !found || !found->pw_name) return "";
    return found->pw_name;
  }
}

}  // namespace tav
