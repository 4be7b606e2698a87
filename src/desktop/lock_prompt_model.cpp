#include "desktop/lock_prompt_model.hpp"

#include <cstring>

namespace tav {

LockPromptModel::LockPromptModel(int priorFailures, Check check)
    : check_(std::move(check)), failures_(priorFailures > 0 ? priorFailures : 0) {}

void LockPromptModel::AppendText(const char* text, std::size_t length) {
  std::size_t size = typed_.size();
  // Whole characters only: a cut one would leave a broken UTF-8 sequence.
  std::size_t take = 0;
  while (take < length) {
    std::size_t next = take + 1;
    while (next < length && (static_cast<unsigned char>(text[next]) & 0xc0) == 0x80) ++next;
    if (size + next >= SecureString::kCapacity) break;
    take = next;
  }
  std::memcpy(typed_.Buffer() + size, text, take);
  typed_.Buffer()[size + take] = '\0';
}

void LockPromptModel::DeleteLastCharacter() {
  std::size_t size = typed_.size();
  if (size == 0) return;
  --size;
  while (size > 0 && (static_cast<unsigned char>(typed_.c_str()[size]) & 0xc0) == 0x80) --size;
  std::memset(typed_.Buffer() + size, 0, SecureString::kCapacity - size);
}

LockPromptModel::Outcome LockPromptModel::Apply(const lock::KeyRecord& key, Clock::time_point now) {
  capsLock_ = (key.flags & lock::kCapsLockOn) != 0;
  if (Refusing(now)) return Outcome::None;  // the holder drops these too
  switch (key.keysym) {
    case lock::kKeysymBackSpace:
      DeleteLastCharacter();
      return Outcome::None;
    case lock::kKeysymReturn:
    case lock::kKeysymKpEnter: {
      PasswordAnswer answer = check_(typed_);
      typed_.Clear();
      checkMessage_ = std::move(answer.message);
      if (answer.right) return Outcome::Verified;
      ++failures_;
      refuseUntil_ = now + DelayAfterFailures(failures_);
      return Outcome::Wrong;
    }
    default:
      AppendText(key.text, key.textLength <= sizeof key.text ? key.textLength : sizeof key.text);
      return Outcome::None;
  }
}

std::string LockPromptModel::Notice(Clock::time_point now) const {
  if (failures_ == 0) return {};
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(refuseUntil_ - now);
  std::string notice = WrongPasswordNotice(left) + "\nFailed attempts: " + std::to_string(failures_);
  return checkMessage_.empty() ? notice : checkMessage_ + "\n" + notice;
}

}  // namespace tav
