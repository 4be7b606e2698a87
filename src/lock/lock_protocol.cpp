#include "lock/lock_protocol.hpp"

#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace tav::lock {

KeyRecord MakeKeyRecord(uint32_t keysym, uint16_t flags, std::string_view text) {
  KeyRecord r;
  r.keysym = keysym;
  r.flags = flags & kKnownKeyFlags;
  std::size_t n = text.size() < sizeof r.text ? text.size() : sizeof r.text;
  // Never half a character: back up over continuation bytes.
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xc0) == 0x80) --n;
  }
  std::memcpy(r.text, text.data(), n);
  r.textLength = static_cast<uint8_t>(n);
  return r;
}

std::optional<KeyRecord> DecodeKeyRecord(std::span<const unsigned char> bytes) {
  if (bytes.size() != kKeyRecordSize) return std::nullopt;
  KeyRecord r;
  std::memcpy(&r, bytes.data(), sizeof r);
  if (r.magic != kKeyMagic || r.version != kProtocolVersion) return std::nullopt;
  if ((r.flags & ~kKnownKeyFlags) != 0 || r.textLength > sizeof r.text) return std::nullopt;
  for (uint8_t b : r.reserved)
    if (b != 0) return std::nullopt;
  for (std::size_t i = r.textLength; i < sizeof r.text; ++i)
    if (r.text[i] != 0) return std::nullopt;
  return r;
}

std::optional<ResultRecord> DecodeResultRecord(std::span<const unsigned char> bytes) {
  if (bytes.size() != kResultRecordSize) return std::nullopt;
  ResultRecord r;
  std::memcpy(&r, bytes.data(), sizeof r);
  if (r.magic != kResultMagic || r.version != kProtocolVersion) return std::nullopt;
  if (r.reserved != 0 || r.reserved2 != 0) return std::nullopt;
  if (r.kind != ResultKind::Verified && r.kind != ResultKind::Wrong) return std::nullopt;
  return r;
}

ResultStream::Event ResultStream::Feed(unsigned char byte) {
  if (spoiled_) return Event::Nothing;
  // Verified is the last word: anything after it is not from an honest prompt.
  if (verified_) {
    spoiled_ = true;
    return Event::Malformed;
  }
  buffer_[filled_++] = byte;
  if (filled_ < sizeof buffer_) return Event::Nothing;
  filled_ = 0;
  const auto r = DecodeResultRecord(buffer_);
  if (!r) {
    spoiled_ = true;
    return Event::Malformed;
  }
  if (r->kind == ResultKind::Wrong) return Event::Wrong;
  verified_ = true;
  return Event::Verified;
}

ReadResult ReadKeyRecord(int fd, KeyRecord& out) {
  unsigned char buf[kKeyRecordSize];
  std::size_t got = 0;
  ReadResult result = ReadResult::Key;
  while (got < sizeof buf) {
    const ssize_t n = read(fd, buf + got, sizeof buf - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      result = n < 0 ? ReadResult::Error : got == 0 ? ReadResult::End : ReadResult::Malformed;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  if (result == ReadResult::Key) {
    if (const auto r = DecodeKeyRecord(buf)) out = *r;
    else result = ReadResult::Malformed;
  }
  explicit_bzero(buf, sizeof buf);
  return result;
}

namespace {

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteResultRecord(int fd, ResultKind kind) {
  ResultRecord r;
  r.kind = kind;
  return WriteAll(fd, &r, sizeof r);
}

bool WriteHeartbeat(int fd) {
  const unsigned char beat = 1;
  return WriteAll(fd, &beat, 1);
}

void MakeNonDumpable() { prctl(PR_SET_DUMPABLE, 0, 0, 0, 0); }

std::optional<std::vector<unsigned long>> ParseWindowList(std::string_view text) {
  std::vector<unsigned long> ids;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    unsigned long id = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), id);
    if (item.empty() || ec != std::errc() || end != item.data() + item.size() || id == 0)
      return std::nullopt;
    ids.push_back(id);
    if (comma == std::string_view::npos) return ids;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace tav::lock
