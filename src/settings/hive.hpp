#pragma once
// The text ".reg" form of the per-user hive: parsing, writing, and the value
// encodings. Value data is kept as it stands in the file, so types this
// program does not use survive every rewrite unchanged.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

inline constexpr std::string_view kHiveHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kCurrentUserRoot = "HKEY_CURRENT_USER";

struct HiveEntry {
  bool comment = false;      // a ';' line kept where it stood; text in data
  bool defaultValue = false;  // the key's unnamed value, written "@="
  std::string name;           // unescaped value name
  std::string data;           // right-hand side as written: "\"...\"", "dword:...", "hex(2):..."
  bool operator==(const HiveEntry&) const = default;
};

struct HiveKey {
  std::string path;  // full path as written, e.g. HKEY_CURRENT_USER\Software\Tavorensia
  std::vector<HiveEntry> entries;
  bool operator==(const HiveKey&) const = default;
};

struct Hive {
  std::vector<HiveKey> keys;

  // Keys and value names compare case-insensitively (ASCII letters).
  HiveKey* FindKey(std::string_view path);
  const HiveKey* FindKey(std::string_view path) const;
  // True when the key or any key below it is present.
  bool KeyExists(std::string_view path) const;
  HiveKey& FindOrAddKey(std::string_view path);
  bool operator==(const Hive&) const = default;
};

const HiveEntry* FindValue(const HiveKey& key, std::string_view name);
void SetValue(HiveKey& key, std::string_view name, std::string data);
bool RemoveValue(HiveKey& key, std::string_view name);

// A line of a hive file that could not be parsed.
struct SkippedLine {
  std::size_t number;  // from 1
  std::string text;    // its start, as it stands
  std::string why;
};

// Parses a whole hive file (UTF-8 with or without a byte-order mark, or
// UTF-16LE with one; LF or CRLF). nullopt when the text is not a hive.
// Without skipped, a line that cannot be parsed makes it not a hive; with
// it, such a line is left out and noted there, as a registry import does,
// and every key and value that can be read is kept (the values under a key
// line that cannot be read are left out with it).
std::optional<Hive> ParseHive(std::string_view text, std::vector<SkippedLine>* skipped = nullptr);
// The file text: UTF-8, LF line ends.
std::string WriteHive(const Hive& hive);

bool EqualsNoCase(std::string_view a, std::string_view b);

// Value data in the file's notation.
std::string EncodeDword(uint32_t value);
// Quoted with \\ and \" escapes; a string holding control characters is
// written as hex(1): (UTF-16LE), which the quoted form cannot carry.
// nullopt when such a string is not valid UTF-8.
std::optional<std::string> EncodeString(std::string_view value);

enum class ValueKind { String, Dword, Other };
ValueKind KindOf(std::string_view data);
// dword: or four bytes of hex(4):; nullopt when malformed.
std::optional<uint32_t> DecodeDword(std::string_view data);
// A quoted string, or hex(1):/hex(2): UTF-16LE up to its first NUL.
std::optional<std::string> DecodeString(std::string_view data);

}  // namespace tav
