// The lock holder's decoders on arbitrary bytes: the key and result records,
// the result stream byte by byte, and the window list a drawing child parses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lock/lock_protocol.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav::lock;
  const std::span<const unsigned char> bytes(data, size);
  if (const auto k = DecodeKeyRecord(bytes)) {
    if (k->textLength > sizeof k->text) std::abort();
  }
  if (size >= kKeyRecordSize) (void)DecodeKeyRecord(bytes.first(kKeyRecordSize));
  (void)DecodeResultRecord(bytes);
  ResultStream stream;
  bool verified = false;
  for (unsigned char b : bytes) {
    const auto e = stream.Feed(b);
    // Nothing can follow a Verified and leave the stream verified.
    if (verified && e != ResultStream::Event::Nothing && stream.Verified()) std::abort();
    verified = verified || e == ResultStream::Event::Verified;
  }
  if (stream.Verified() && (size % kResultRecordSize) != 0) std::abort();
  if (const auto ids = ParseWindowList(std::string_view(reinterpret_cast<const char*>(data), size))) {
    for (unsigned long id : *ids)
      if (id == 0) std::abort();
  }
  return 0;
}
