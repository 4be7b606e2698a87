// A PAM module for the login-password test (run under pam_wrapper): returns
// what its arguments say, so that the test can stack the results PAM's real
// modules give on a real system and pam_matrix does not.
//   authenticate=R, acct_mgmt=R, setcred=R  the result of that call (default success);
//                                           R: success, new_authtok_reqd, maxtries,
//                                           system_err, cred_err
//   converse=N                              authenticate first calls the conversation
//                                           with N messages and fails as it does
#include <security/pam_modules.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Code(const std::string& name) {
  if (name == "new_authtok_reqd") return PAM_NEW_AUTHTOK_REQD;
  if (name == "maxtries") return PAM_MAXTRIES;
  if (name == "system_err") return PAM_SYSTEM_ERR;
  if (name == "cred_err") return PAM_CRED_ERR;
  return PAM_SUCCESS;
}

const char* Option(int argc, const char** argv, const char* key) {
  const std::size_t n = std::strlen(key);
  for (int i = 0; i < argc; ++i)
    if (std::strncmp(argv[i], key, n) == 0 && argv[i][n] == '=') return argv[i] + n + 1;
  return nullptr;
}

int Result(int argc, const char** argv, const char* call) {
  const char* value = Option(argc, argv, call);
  return value ? Code(value) : PAM_SUCCESS;
}

// Asks count text lines; PAM_MAX_NUM_MSG bounds what a conversation takes.
int Converse(pam_handle_t* pamh, int count) {
  const void* item = nullptr;
  if (pam_get_item(pamh, PAM_CONV, &item) != PAM_SUCCESS || !item) return PAM_CONV_ERR;
  const auto* conv = static_cast<const pam_conv*>(item);
  std::vector<pam_message> messages(static_cast<std::size_t>(count > 0 ? count : 1),
                                    pam_message{PAM_TEXT_INFO, "line"});
  std::vector<const pam_message*> pointers;
  for (auto& m : messages) pointers.push_back(&m);
  pam_response* replies = nullptr;
  const int status = conv->conv(count, pointers.data(), &replies, conv->appdata_ptr);
  if (replies) {
    for (int i = 0; i < count; ++i) std::free(replies[i].resp);
    std::free(replies);
  }
  return status;
}

}  // namespace

extern "C" {

PAM_EXTERN int pam_sm_authenticate(pam_handle_t* pamh, int, int argc, const char** argv) {
  if (const char* count = Option(argc, argv, "converse")) {
    const int status = Converse(pamh, std::atoi(count));
    if (status != PAM_SUCCESS) return status;
  }
  return Result(argc, argv, "authenticate");
}

PAM_EXTERN int pam_sm_setcred(pam_handle_t*, int, int argc, const char** argv) {
  return Result(argc, argv, "setcred");
}

PAM_EXTERN int pam_sm_acct_mgmt(pam_handle_t*, int, int argc, const char** argv) {
  return Result(argc, argv, "acct_mgmt");
}

}  // extern "C"
