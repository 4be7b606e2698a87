#pragma once
// A password dialog that answers from a script: a password, or none for
// Cancel; once the script is used up, every further question is cancelled.
// The wrong-password notices it was asked to show are kept.
#include <chrono>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "desktop/password.hpp"

namespace tavtest {

class ScriptedPrompt : public tav::PasswordPrompt {
 public:
  std::optional<tav::SecureString> Ask() override {
    ++asked;
    if (answers.empty()) return std::nullopt;
    auto a = std::move(answers.front());
    answers.pop_front();
    return a;
  }
  // Records the delay instead of waiting it out.
  void WrongPassword(std::chrono::milliseconds delay) override { wrongNotices.push_back(delay); }
  void Answer(const char* text) { answers.emplace_back(tav::SecureString(text)); }
  void Cancel() { answers.emplace_back(std::nullopt); }
  std::deque<std::optional<tav::SecureString>> answers;
  int asked = 0;
  std::vector<std::chrono::milliseconds> wrongNotices;
};

}  // namespace tavtest
