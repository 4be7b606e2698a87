// The hive parser on any bytes: it must not crash, and whatever it accepts
// must write back to text that parses to the same hive. Read leniently, the
// same holds, and what it kept writes back to text with nothing to skip;
// read strictly, it is accepted only when nothing had to be skipped.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "settings/hive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<tav::SkippedLine> skipped;
  if (const auto lenient = tav::ParseHive(text, &skipped)) {
    std::vector<tav::SkippedLine> again;
    const auto reread = tav::ParseHive(tav::WriteHive(*lenient), &again);
    if (!reread || !(*reread == *lenient) || !again.empty()) std::abort();
  }
  const auto hive = tav::ParseHive(text);
  if (hive.has_value() != (skipped.empty() && tav::ParseHive(text, &skipped).has_value())) std::abort();
  if (!hive) return 0;
  const auto again = tav::ParseHive(tav::WriteHive(*hive));
  if (!again || !(*again == *hive)) std::abort();

  for (const auto& key : hive->keys) {
    if (!hive->KeyExists(key.path) || hive->FindKey(key.path) == nullptr) std::abort();
    for (const auto& e : key.entries) {
      if (e.comment) continue;
      switch (tav::KindOf(e.data)) {
        case tav::ValueKind::Dword:
          (void)tav::DecodeDword(e.data);
          break;
        case tav::ValueKind::String:
          if (const auto s = tav::DecodeString(e.data);
              s && s->find('\0') == std::string::npos) {
            // A string read from the hive is stored back unchanged.
            if (const auto encoded = tav::EncodeString(*s)) {
              if (tav::DecodeString(*encoded) != *s) std::abort();
            }
          }
          break;
        case tav::ValueKind::Other:
          break;
      }
    }
  }
  return 0;
}
