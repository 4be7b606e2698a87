#pragma once
// What the lock holder (tavorensia-lock) and its children say to each other
// over pipes. The children are modes of the main program:
//
//   PATH --lock-draw --heartbeat-fd 3 [SAVER-OPTIONS...] --windows ID,ID,...
//     draws into the given X windows (decimal ids, one a monitor) and writes
//     any byte to fd 3 at least once a second;
//   PATH --lock-prompt --window ID --failures N
//     asks for the password in window ID; reads one KeyRecord per key press
//     from stdin, writes one ResultRecord to fd 3 per answer: Wrong for each
//     wrong one, Verified (and then exits with status 0) for the right one.
//
// No X11 here: the children include it without the holder's libraries.
// Both ends run on the same machine, so the records are in host byte order.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tav::lock {

inline constexpr uint16_t kProtocolVersion = 1;
inline constexpr uint32_t kKeyMagic = 0x4b564154;     // "TAVK" in memory
inline constexpr uint32_t kResultMagic = 0x52564154;  // "TAVR" in memory
// The child's end of the heartbeat or result pipe.
inline constexpr int kChildFd = 3;

// State of the keyboard when the key was pressed.
enum KeyFlag : uint16_t {
  kCapsLockOn = 1u << 0,
  kNumLockOn = 1u << 1,
  kShiftDown = 1u << 2,
  kControlDown = 1u << 3,
  kAltDown = 1u << 4,
};
inline constexpr uint16_t kKnownKeyFlags = 0x1f;

// One key press. text is what the key typed, UTF-8, not 0-terminated (empty
// for keys that type nothing: arrows, BackSpace is keysym 0xff08 and no text).
struct KeyRecord {
  uint32_t magic = kKeyMagic;
  uint16_t version = kProtocolVersion;
  uint16_t flags = 0;
  uint32_t keysym = 0;  // X keysym (the children need no X to compare: see keysymdef.h)
  uint8_t textLength = 0;
  uint8_t reserved[3] = {};
  char text[16] = {};
};
static_assert(sizeof(KeyRecord) == 32 && std::is_trivially_copyable_v<KeyRecord>);
inline constexpr std::size_t kKeyRecordSize = sizeof(KeyRecord);

enum class ResultKind : uint32_t { Verified = 1, Wrong = 2 };

struct ResultRecord {
  uint32_t magic = kResultMagic;
  uint16_t version = kProtocolVersion;
  uint16_t reserved = 0;
  ResultKind kind = ResultKind::Wrong;
  uint32_t reserved2 = 0;
};
static_assert(sizeof(ResultRecord) == 16 && std::is_trivially_copyable_v<ResultRecord>);
inline constexpr std::size_t kResultRecordSize = sizeof(ResultRecord);

// Keysyms the holder and the prompt both treat specially.
inline constexpr uint32_t kKeysymReturn = 0xff0d;
inline constexpr uint32_t kKeysymKpEnter = 0xff8d;
inline constexpr uint32_t kKeysymEscape = 0xff1b;
inline constexpr uint32_t kKeysymBackSpace = 0xff08;

// A record of this text (truncated at a character boundary to 16 bytes).
KeyRecord MakeKeyRecord(uint32_t keysym, uint16_t flags, std::string_view text);
// Exactly kKeyRecordSize bytes, else none; also none for a wrong magic or
// version, unknown flags, a text length over 16, or bytes set outside the text.
std::optional<KeyRecord> DecodeKeyRecord(std::span<const unsigned char> bytes);
std::optional<ResultRecord> DecodeResultRecord(std::span<const unsigned char> bytes);

// The holder's reading of the result pipe, fed byte by byte as they come.
// A record after Verified, or anything malformed, spoils the stream for good.
class ResultStream {
 public:
  enum class Event { Nothing, Wrong, Verified, Malformed };
  Event Feed(unsigned char byte);
  bool Verified() const { return verified_ && !spoiled_ && filled_ == 0; }
  bool Spoiled() const { return spoiled_; }
  bool Partial() const { return filled_ != 0; }

 private:
  unsigned char buffer_[kResultRecordSize] = {};
  std::size_t filled_ = 0;
  bool verified_ = false;
  bool spoiled_ = false;
};

// ---- the children's side ----

enum class ReadResult { Key, End, Malformed, Error };
// Reads exactly one record (through short reads and EINTR). End: the pipe
// closed between records; Malformed: mid-record or a record that fails
// DecodeKeyRecord. The caller wipes out once done with it.
ReadResult ReadKeyRecord(int fd, KeyRecord& out);
// The whole record or false (EINTR is retried).
bool WriteResultRecord(int fd, ResultKind kind);
// One heartbeat byte; false if the holder is gone.
bool WriteHeartbeat(int fd);
// For the prompt child, first thing: execve made it dumpable again, and a
// core or a ptrace of it would show what was typed.
void MakeNonDumpable();
// "12,34" -> {12, 34}; none for an empty list, a non-digit or an id of 0.
std::optional<std::vector<unsigned long>> ParseWindowList(std::string_view text);

// How long a prompt refuses input after the n-th wrong answer in a row:
// one second more for each, at most 30.
inline std::chrono::milliseconds DelayAfterFailures(int failures) {
  if (failures <= 0) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(1000LL * (failures < 30 ? failures : 30));
}

}  // namespace tav::lock
