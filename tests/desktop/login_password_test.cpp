// The login-password check against PAM, run under pam_wrapper (ctest sets
// LD_PRELOAD and PAM_WRAPPER; tests/CMakeLists.txt): the service files are
// the test's own, with pam_matrix for the password database and
// pam_result_module.cpp for the results pam_matrix never gives.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "desktop/login_password.hpp"

namespace tav {

void PrintTo(LoginCheck::Result result, std::ostream* os) {
  switch (result) {
    case LoginCheck::Result::Verified: *os << "Verified"; break;
    case LoginCheck::Result::Wrong: *os << "Wrong"; break;
    case LoginCheck::Result::Unavailable: *os << "Unavailable"; break;
  }
}

namespace {

namespace fs = std::filesystem;
using Result = LoginCheck::Result;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// Each service: its stack (@M pam_matrix with the service's own database @P,
// @R the result module) and so its name.
struct Service {
  const char* name;
  const char* stack;
};
const Service kServices[] = {
    {"matrix", "auth required @M passdb=@P\naccount required @M passdb=@P\n"},
    {"verbose", "auth required @M passdb=@P verbose echo\naccount required @M passdb=@P verbose\n"},
    {"expired", "auth required @M passdb=@P\naccount required @R acct_mgmt=new_authtok_reqd\n"},
    {"setcred", "auth required @M passdb=@P\nauth required @R setcred=cred_err\naccount required @M passdb=@P\n"},
    {"system", "auth required @R authenticate=system_err\naccount required @M passdb=@P\n"},
    {"nomodule", "auth required /nonexistent/pam_nothing.so\naccount required @M passdb=@P\n"},
    {"converse0", "auth required @R converse=0\naccount required @M passdb=@P\n"},
    {"converse32", "auth required @R converse=32\naccount required @M passdb=@P\n"},
    {"converse33", "auth required @R converse=33\naccount required @M passdb=@P\n"},
    // What PAM uses for a service without a file. A system's "other" refuses
    // everyone; this one says so with a result of its own. (Without any
    // "other", pam_start fails: Unavailable, and PAM leaks its handlers.)
    {"other", "auth required @R authenticate=maxtries\naccount required @R\n"},
};

class PamServices {
 public:
  PamServices() {
    std::string pattern = (fs::temp_directory_path() / "tav-pam-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    fs::create_directories(root_ / "services");
    // A service file names its modules by path, split at spaces: the result
    // module is copied out of the build tree, whose path may hold some.
    const fs::path resultModule = root_ / "pam_result.so";
    fs::copy_file(TAV_PAM_RESULT_MODULE, resultModule);
    for (const Service& s : kServices) {
      const fs::path passdb = root_ / (std::string(s.name) + ".passdb");
      // bob may not use any of these services (pam_matrix's account check).
      std::ofstream(passdb) << "alice:sesame:" << s.name << "\nbob:secret:elsewhere\n";
      std::string stack = Replace(s.stack, "@M", TAV_PAM_MATRIX);
      stack = Replace(stack, "@R", resultModule.string());
      std::ofstream(root_ / "services" / s.name) << Replace(stack, "@P", passdb.string());
    }
    ::setenv("PAM_WRAPPER_SERVICE_DIR", (root_ / "services").c_str(), 1);
  }
  ~PamServices() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

 private:
  fs::path root_;
};

std::string Lines(int count, const char* line) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i) text += '\n';
    text += line;
  }
  return text;
}

TEST(CheckLoginPassword, AnswersAsTheServiceStackDecides) {
  const char* wrapper = ::getenv("PAM_WRAPPER");
  ASSERT_TRUE(wrapper && std::string(wrapper) == "1")
      << "runs under pam_wrapper only: ctest -R LoginPassword sets LD_PRELOAD and PAM_WRAPPER";
  PamServices services;

  struct Case {
    const char* why;
    const char* service;
    const char* user;
    const char* password;
    Result result;
    std::string message;
  } cases[] = {
      {"right password", "matrix", "alice", "sesame", Result::Verified, ""},
      {"wrong password", "matrix", "alice", "Sesame", Result::Wrong, "Authentication failure"},
      {"empty password", "matrix", "alice", "", Result::Wrong, "Authentication failure"},
      {"unknown user", "matrix", "mallory", "sesame", Result::Wrong, "Authentication failure"},
      {"account refused after the right password", "matrix", "bob", "secret", Result::Wrong, "Permission denied"},
      {"module's own lines, echoed prompt", "verbose", "alice", "sesame", Result::Verified,
       "Authentication succeeded"},
      {"module's own line instead of PAM's", "verbose", "alice", "Sesame", Result::Wrong,
       "Authentication failed"},
      {"expired password still unlocks", "expired", "alice", "sesame", Result::Verified,
       "Your password has expired and must be changed."},
      {"expired, but the password is wrong", "expired", "alice", "Sesame", Result::Wrong, "Authentication failure"},
      {"failed credential refresh still unlocks", "setcred", "alice", "sesame", Result::Verified, ""},
      {"module error", "system", "alice", "sesame", Result::Unavailable, "System error"},
      {"module that does not load", "nomodule", "alice", "sesame", Result::Unavailable, "Module is unknown"},
      {"service without a file: PAM's fallback refuses", "absent", "alice", "sesame", Result::Wrong,
       "Have exhausted maximum number of retries for service"},
      {"no user name", "matrix", "", "sesame", Result::Unavailable, "No user name to check the password of."},
      {"conversation with no message", "converse0", "alice", "sesame", Result::Unavailable, "Conversation error"},
      {"conversation with PAM_MAX_NUM_MSG lines", "converse32", "alice", "sesame", Result::Verified,
       Lines(32, "line")},
      {"conversation with one line too many", "converse33", "alice", "sesame", Result::Unavailable,
       "Conversation error"},
  };
  for (const Case& c : cases) {
    const LoginCheck check = CheckLoginPassword(c.user, SecureString(c.password), c.service);
    EXPECT_EQ(check.result, c.result) << c.why << ": " << check.message;
    EXPECT_EQ(check.message, c.message) << c.why;
  }
}

}  // namespace
}  // namespace tav
