#include "settings/hive.hpp"

#include <algorithm>

namespace tav {
namespace {

constexpr std::string_view kBlank = " \t\r";

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view TrimLeft(std::string_view s) {
  const auto i = s.find_first_not_of(kBlank);
  return i == std::string_view::npos ? std::string_view{} : s.substr(i);
}
std::string_view TrimRight(std::string_view s) {
  const auto i = s.find_last_not_of(kBlank);
  return i == std::string_view::npos ? std::string_view{} : s.substr(0, i + 1);
}
std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16 code units to UTF-8, stopping at the first NUL; a lone surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(const std::vector<uint16_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const uint16_t u = units[i];
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

// Strict UTF-8 to code points; nullopt on any malformed sequence.
std::optional<std::vector<char32_t>> Utf8ToCodePoints(std::string_view s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    else return std::nullopt;
    if (i + len > s.size()) return std::nullopt;
    char32_t v = c & (0xFF >> (len + 1));
    for (std::size_t k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return std::nullopt;
      v = (v << 6) | (b & 0x3F);
    }
    out.push_back(v);
    i += len;
  }
  return out;
}

// "hex:" or "hex(N):" followed by comma-separated bytes. Gives the type
// number (3, REG_BINARY, for plain "hex:") and the bytes.
bool ParseHexData(std::string_view data, uint32_t& type, std::vector<uint8_t>& bytes) {
  if (!StartsWithNoCase(data, "hex")) return false;
  data.remove_prefix(3);
  type = 3;
  if (!data.empty() && data.front() == '(') {
    const auto close = data.find(')');
    if (close == std::string_view::npos || close < 2 || close > 9) return false;
    type = 0;
    for (const char c : data.substr(1, close - 1)) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      type = type * 16 + static_cast<uint32_t>(d);
    }
    data.remove_prefix(close + 1);
  }
  if (data.empty() || data.front() != ':') return false;
  data.remove_prefix(1);
  bytes.clear();
  if (Trim(data).empty()) return true;
  while (true) {
    const auto comma = data.find(',');
    const std::string_view token = Trim(data.substr(0, comma));
    if (token.size() != 2 || HexDigit(token[0]) < 0 || HexDigit(token[1]) < 0) return false;
    bytes.push_back(static_cast<uint8_t>(HexDigit(token[0]) * 16 + HexDigit(token[1])));
    if (comma == std::string_view::npos) return true;
    data.remove_prefix(comma + 1);
  }
}

// A quoted text with \\ and \" escapes starting at s[0] == '"'. A backslash
// before any other character stands for itself, as hand-written paths have
// it. Gives the text and how many characters the quoted form took.
bool ParseQuoted(std::string_view s, std::string& out, std::size_t& used) {
  if (s.empty() || s.front() != '"') return false;
  out.clear();
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      used = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
      continue;
    }
    out += c;
  }
  return false;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

bool ValidData(std::string_view data) {
  if (!data.empty() && data.front() == '"') {
    std::string text;
    std::size_t used = 0;
    return ParseQuoted(data, text, used) && used == data.size();
  }
  if (StartsWithNoCase(data, "dword:")) {
    const std::string_view digits = data.substr(6);
    return !digits.empty() && digits.size() <= 8 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; });
  }
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  return ParseHexData(data, type, bytes);
}

std::string FromUtf16LeFile(std::string_view text) {
  std::vector<uint16_t> units;
  for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
    const auto u = static_cast<uint16_t>(static_cast<unsigned char>(text[i]) |
                                         (static_cast<unsigned char>(text[i + 1]) << 8));
    // A NUL would end the decoding early; no hive holds one outside hex data.
    units.push_back(u == 0 ? 0xFFFD : u);
  }
  return Utf16ToUtf8(units);
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

HiveKey* Hive::FindKey(std::string_view path) {
  for (auto& k : keys) {
    if (EqualsNoCase(k.path, path)) return &k;
  }
  return nullptr;
}
const HiveKey* Hive::FindKey(std::string_view path) const {
  return const_cast<Hive*>(this)->FindKey(path);
}

bool Hive::KeyExists(std::string_view path) const {
  for (const auto& k : keys) {
    if (EqualsNoCase(k.path, path)) return true;
    if (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
        EqualsNoCase(std::string_view(k.path).substr(0, path.size()), path)) {
      return true;
    }
  }
  return false;
}

HiveKey& Hive::FindOrAddKey(std::string_view path) {
  if (HiveKey* k = FindKey(path)) return *k;
  keys.push_back(HiveKey{std::string(path), {}});
  return keys.back();
}

const HiveEntry* FindValue(const HiveKey& key, std::string_view name) {
  for (const auto& e : key.entries) {
    if (!e.comment && !e.defaultValue && EqualsNoCase(e.name, name)) return &e;
  }
  return nullptr;
}

void SetValue(HiveKey& key, std::string_view name, std::string data) {
  for (auto& e : key.entries) {
    if (!e.comment && !e.defaultValue && EqualsNoCase(e.name, name)) {
      e.data = std::move(data);
      return;
    }
  }
  key.entries.push_back(HiveEntry{false, false, std::string(name), std::move(data)});
}

bool RemoveValue(HiveKey& key, std::string_view name) {
  const auto it = std::find_if(key.entries.begin(), key.entries.end(), [&](const HiveEntry& e) {
    return !e.comment && !e.defaultValue && EqualsNoCase(e.name, name);
  });
  if (it == key.entries.end()) return false;
  key.entries.erase(it);
  return true;
}

std::optional<Hive> ParseHive(std::string_view raw, std::vector<SkippedLine>* skipped) {
  std::string converted;
  if (raw.starts_with("\xFF\xFE")) {
    if (raw.size() % 2 != 0) return std::nullopt;
    converted = FromUtf16LeFile(raw);
    raw = converted;
  } else if (raw.starts_with("\xEF\xBB\xBF")) {
    raw.remove_prefix(3);
  }

  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= raw.size();) {
    const auto nl = raw.find('\n', start);
    const auto end = nl == std::string_view::npos ? raw.size() : nl;
    lines.push_back(raw.substr(start, end - start));
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }

  std::size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i == lines.size() || Trim(lines[i]) != kHiveHeader) return std::nullopt;
  ++i;

  Hive hive;
  HiveKey* current = nullptr;
  // After a key line that cannot be read, its values have no key to go to.
  bool inUnreadableKey = false;
  for (; i < lines.size(); ++i) {
    const std::string_view line = Trim(lines[i]);
    if (line.empty()) continue;
    const std::size_t number = i + 1;
    // A line that cannot be parsed: the whole text is refused, or, when the
    // caller takes what can be read, the line is skipped and noted.
    const auto bad = [&](std::string_view why) {
      if (skipped) skipped->push_back(SkippedLine{number, std::string(line.substr(0, 80)), std::string(why)});
      return skipped != nullptr;
    };
    if (line.front() == ';') {
      // Comments before the first key have nowhere to stay and are dropped.
      if (current) current->entries.push_back(HiveEntry{true, false, {}, std::string(line)});
      continue;
    }
    if (line.front() == '[') {
      std::string_view path = line.size() >= 3 && line.back() == ']' ? line.substr(1, line.size() - 2) : "";
      while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
      // A deletion ("[-...]") belongs in an import, not a hive.
      if (path.empty() || line[1] == '-') {
        if (!bad("not a key")) return std::nullopt;
        current = nullptr;
        inUnreadableKey = true;
        continue;
      }
      current = &hive.FindOrAddKey(path);
      inUnreadableKey = false;
      continue;
    }
    if (!current) {
      if (!bad(inUnreadableKey ? "a value of a key that cannot be read" : "a value before any key")) return std::nullopt;
      continue;
    }

    HiveEntry entry;
    std::string_view rest;
    bool readable = true;
    if (line.front() == '@') {
      entry.defaultValue = true;
      rest = line.substr(1);
    } else {
      std::size_t used = 0;
      readable = ParseQuoted(line, entry.name, used);
      if (readable) rest = line.substr(used);
    }
    rest = TrimLeft(rest);
    readable = readable && !rest.empty() && rest.front() == '=';
    std::string data(readable ? TrimLeft(rest.substr(1)) : std::string_view());
    // Binary data may go on over several lines, each but the last ending in '\'.
    if (readable && StartsWithNoCase(data, "hex")) {
      while (!data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
        data.pop_back();
        data += Trim(lines[++i]);
      }
    }
    if (!readable || !ValidData(data)) {
      if (!bad("not a value")) return std::nullopt;
      continue;
    }
    entry.data = std::move(data);
    if (entry.defaultValue) {
      auto it = std::find_if(current->entries.begin(), current->entries.end(),
                             [](const HiveEntry& e) { return e.defaultValue; });
      if (it != current->entries.end()) it->data = std::move(entry.data);
      else current->entries.push_back(std::move(entry));
    } else {
      SetValue(*current, entry.name, std::move(entry.data));  // a repeated name: the last one counts
    }
  }
  return hive;
}

std::string WriteHive(const Hive& hive) {
  std::string out(kHiveHeader);
  out += "\n\n";
  for (const auto& k : hive.keys) {
    out += '[';
    out += k.path;
    out += "]\n";
    for (const auto& e : k.entries) {
      if (e.comment) {
        out += e.data;
      } else {
        out += e.defaultValue ? std::string("@") : Quote(e.name);
        out += '=';
        out += e.data;
      }
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

std::string EncodeDword(uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "dword:";
  for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
  return out;
}

std::optional<std::string> EncodeString(std::string_view value) {
  const bool plain = std::none_of(value.begin(), value.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
  if (plain) return Quote(value);
  const auto cps = Utf8ToCodePoints(value);
  if (!cps) return std::nullopt;
  std::vector<uint16_t> units;
  for (const char32_t cp : *cps) {
    if (cp >= 0x10000) {
      units.push_back(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units.push_back(static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<uint16_t>(cp));
    }
  }
  units.push_back(0);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "hex(1):";
  for (std::size_t i = 0; i < units.size(); ++i) {
    for (const int byte : {units[i] & 0xFF, units[i] >> 8}) {
      if (out.back() != ':') out += ',';
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    }
  }
  return out;
}

ValueKind KindOf(std::string_view data) {
  if (!data.empty() && data.front() == '"') return ValueKind::String;
  if (StartsWithNoCase(data, "dword:")) return ValueKind::Dword;
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  if (ParseHexData(data, type, bytes)) {
    if (type == 1 || type == 2) return ValueKind::String;
    if (type == 4) return ValueKind::Dword;
  }
  return ValueKind::Other;
}

std::optional<uint32_t> DecodeDword(std::string_view data) {
  if (StartsWithNoCase(data, "dword:")) {
    const std::string_view digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (const char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    return v;
  }
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  if (!ParseHexData(data, type, bytes) || type != 4 || bytes.size() != 4) return std::nullopt;
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

std::optional<std::string> DecodeString(std::string_view data) {
  if (!data.empty() && data.front() == '"') {
    std::string text;
    std::size_t used = 0;
    if (!ParseQuoted(data, text, used)) return std::nullopt;
    return text;
  }
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  if (!ParseHexData(data, type, bytes) || (type != 1 && type != 2)) return std::nullopt;
  std::vector<uint16_t> units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return Utf16ToUtf8(units);
}

}  // namespace tav
