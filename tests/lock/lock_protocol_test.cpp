// The records between the lock holder and its children: what the decoders
// refuse, what survives a round trip, and the delay after wrong answers.
#include "lock/lock_protocol.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tav::lock;

std::vector<unsigned char> Bytes(const void* p, std::size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  return {b, b + n};
}

struct KeyCase {
  const char* name;
  std::function<void(std::vector<unsigned char>&)> spoil;
};

TEST(LockProtocol, MalformedKeyRecordsAreRefused) {
  const KeyRecord good = MakeKeyRecord(0x61, kCapsLockOn, "a");
  const std::vector<KeyCase> cases = {
      {"short", [](auto& b) { b.pop_back(); }},
      {"long", [](auto& b) { b.push_back(0); }},
      {"magic", [](auto& b) { b[0] ^= 1; }},
      {"version", [](auto& b) { b[4] = 2; }},
      {"unknown flag", [](auto& b) { b[7] = 0x80; }},
      {"text length over 16", [](auto& b) { b[12] = 17; }},
      {"reserved byte", [](auto& b) { b[14] = 1; }},
      {"byte after the text", [](auto& b) { b[16 + 1] = 'x'; }},
  };
  ASSERT_TRUE(DecodeKeyRecord(Bytes(&good, sizeof good)));
  for (const auto& c : cases) {
    auto b = Bytes(&good, sizeof good);
    c.spoil(b);
    EXPECT_FALSE(DecodeKeyRecord(b)) << c.name;
  }
}

TEST(LockProtocol, KeyRecordsSurviveTheRoundTrip) {
  struct Case {
    uint32_t keysym;
    uint16_t flags;
    std::string text, expected;
  } cases[] = {
      {0x61, 0, "a", "a"},
      {0xff0d, kNumLockOn | kShiftDown, "", ""},
      {0x20ac, kAltDown, "\xe2\x82\xac", "\xe2\x82\xac"},
      {0x41, 0xffff, "A", "A"},  // unknown flags are dropped, not sent
      // Too long: cut before the character that would not fit whole.
      {0x61, 0, "aaaaaaaaaaaaaa\xe2\x82\xac", "aaaaaaaaaaaaaa"},
      {0x61, 0, std::string(20, 'b'), std::string(16, 'b')},
  };
  for (const auto& c : cases) {
    const KeyRecord r = MakeKeyRecord(c.keysym, c.flags, c.text);
    const auto back = DecodeKeyRecord(Bytes(&r, sizeof r));
    ASSERT_TRUE(back) << c.text;
    EXPECT_EQ(back->keysym, c.keysym);
    EXPECT_EQ(back->flags, c.flags & kKnownKeyFlags);
    EXPECT_EQ(std::string(back->text, back->textLength), c.expected);
  }
}

TEST(LockProtocol, MalformedResultRecordsAreRefused) {
  ResultRecord good;
  good.kind = ResultKind::Verified;
  ASSERT_TRUE(DecodeResultRecord(Bytes(&good, sizeof good)));
  const std::vector<std::pair<const char*, std::function<void(ResultRecord&)>>> cases = {
      {"magic", [](ResultRecord& r) { r.magic = kKeyMagic; }},
      {"version", [](ResultRecord& r) { r.version = 0; }},
      {"kind 0", [](ResultRecord& r) { r.kind = static_cast<ResultKind>(0); }},
      {"kind 3", [](ResultRecord& r) { r.kind = static_cast<ResultKind>(3); }},
      {"reserved", [](ResultRecord& r) { r.reserved = 1; }},
      {"reserved2", [](ResultRecord& r) { r.reserved2 = 1; }},
  };
  for (const auto& [name, spoil] : cases) {
    ResultRecord r = good;
    spoil(r);
    EXPECT_FALSE(DecodeResultRecord(Bytes(&r, sizeof r))) << name;
  }
  auto b = Bytes(&good, sizeof good);
  b.pop_back();
  EXPECT_FALSE(DecodeResultRecord(b));
}

// What the holder makes of a whole result stream: only one Verified, last.
TEST(LockProtocol, ResultStreamVerifiesOnlyACleanEnd) {
  ResultRecord wrong, verified;
  verified.kind = ResultKind::Verified;
  const auto w = Bytes(&wrong, sizeof wrong), v = Bytes(&verified, sizeof verified);
  struct Case {
    const char* name;
    std::vector<std::vector<unsigned char>> parts;
    int wrongs;
    bool verified, spoiled;
  } cases[] = {
      {"nothing", {}, 0, false, false},
      {"verified", {v}, 0, true, false},
      {"two wrong, then verified", {w, w, v}, 2, true, false},
      {"verified, then more", {v, w}, 0, false, true},
      {"verified, then one byte", {v, {1}}, 0, false, true},
      {"half a record", {{v.begin(), v.begin() + 8}}, 0, false, false},
      {"garbage", {std::vector<unsigned char>(16, 'x'), v}, 0, false, true},
  };
  for (const auto& c : cases) {
    ResultStream s;
    int wrongs = 0;
    for (const auto& part : c.parts)
      for (unsigned char b : part) wrongs += s.Feed(b) == ResultStream::Event::Wrong;
    EXPECT_EQ(wrongs, c.wrongs) << c.name;
    EXPECT_EQ(s.Verified(), c.verified) << c.name;
    EXPECT_EQ(s.Spoiled(), c.spoiled) << c.name;
  }
}

TEST(LockProtocol, ReadKeyRecordThroughAPipe) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  const KeyRecord r = MakeKeyRecord(0x78, 0, "x");
  // One record in two writes, then half of another, then the end.
  ASSERT_EQ(write(p[1], &r, 10), 10);
  ASSERT_EQ(write(p[1], reinterpret_cast<const char*>(&r) + 10, sizeof r - 10), static_cast<ssize_t>(sizeof r - 10));
  ASSERT_EQ(write(p[1], &r, 5), 5);
  close(p[1]);
  KeyRecord got;
  EXPECT_EQ(ReadKeyRecord(p[0], got), ReadResult::Key);
  EXPECT_EQ(got.keysym, 0x78u);
  EXPECT_EQ(ReadKeyRecord(p[0], got), ReadResult::Malformed);
  EXPECT_EQ(ReadKeyRecord(p[0], got), ReadResult::End);
  close(p[0]);
  EXPECT_EQ(ReadKeyRecord(p[0], got), ReadResult::Error);
}

TEST(LockProtocol, WriteResultRecordWritesADecodableRecord) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  ASSERT_TRUE(WriteResultRecord(p[1], ResultKind::Wrong));
  close(p[1]);
  unsigned char buf[64];
  const ssize_t n = read(p[0], buf, sizeof buf);
  close(p[0]);
  ASSERT_EQ(n, static_cast<ssize_t>(kResultRecordSize));
  const auto r = DecodeResultRecord({buf, kResultRecordSize});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->kind, ResultKind::Wrong);
}

TEST(LockProtocol, DelayAfterFailures) {
  const std::pair<int, long long> cases[] = {{-1, 0}, {0, 0}, {1, 1000}, {2, 2000}, {29, 29000}, {30, 30000}, {31, 30000}, {1000, 30000}};
  for (const auto& [failures, ms] : cases) EXPECT_EQ(DelayAfterFailures(failures).count(), ms) << failures;
}

TEST(LockProtocol, ParseWindowList) {
  using Ids = std::vector<unsigned long>;
  EXPECT_EQ(ParseWindowList("12"), Ids{12});
  EXPECT_EQ(ParseWindowList("12,34,4294967295"), (Ids{12, 34, 4294967295ul}));
  for (const char* bad : {"", ",", "12,", ",12", "1,,2", "0", "-1", "+1", "12a", " 12", "0x10"})
    EXPECT_FALSE(ParseWindowList(bad)) << bad;
}

}  // namespace
