#pragma once
// A password dialog that answers from a script: a password, or none for
// Cancel; once the script is used up, every further question is cancelled.
#include <deque>
#include <optional>
#include <utility>

#include "preview/host_services.hpp"

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
  void Answer(const char* text) { answers.emplace_back(tav::SecureString(text)); }
  void Cancel() { answers.emplace_back(std::nullopt); }
  std::deque<std::optional<tav::SecureString>> answers;
  int asked = 0;
};

}  // namespace tavtest
