#pragma once
// What the lock prompt (modes/lock_prompt) does with the keys the lock holder
// sends it: the typed password, the Caps Lock warning, the check and the
// wrong-password notice. No display here, so that tests drive it directly.
#include <chrono>
#include <functional>
#include <string>

#include "desktop/password.hpp"
#include "lock/lock_protocol.hpp"

namespace tav {

class LockPromptModel {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Outcome { None, Wrong, Verified };

  using Check = std::function<PasswordAnswer(const SecureString&)>;
  // priorFailures: wrong answers given to earlier prompts of this lock.
  // check: what the stored settings say ends the lock, by default.
  explicit LockPromptModel(int priorFailures = 0,
                           Check check = [](const SecureString& typed) { return CheckStoredLockPassword(typed); });

  // One key press at now: text is appended (up to the buffer's capacity),
  // BackSpace removes the last character, Return and KP_Enter check what was
  // typed. Keys within the delay after a wrong answer are ignored.
  Outcome Apply(const lock::KeyRecord& key, Clock::time_point now);

  const SecureString& Typed() const { return typed_; }
  bool CapsLockOn() const { return capsLock_; }
  int Failures() const { return failures_; }
  // Whether keys are ignored at now.
  bool Refusing(Clock::time_point now) const { return now < refuseUntil_; }
  // The line under the field: empty until a failure, then what the check
  // said, the notice with the count and, while keys are ignored, the
  // seconds left.
  std::string Notice(Clock::time_point now) const;

 private:
  void AppendText(const char* text, std::size_t length);
  void DeleteLastCharacter();

  Check check_;
  std::string checkMessage_;  // what the last check said, PAM's lines
  SecureString typed_;
  bool capsLock_ = false;
  int failures_ = 0;
  Clock::time_point refuseUntil_{};
};

}  // namespace tav
