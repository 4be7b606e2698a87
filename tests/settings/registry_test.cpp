#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <variant>

#include "settings/hive.hpp"
#include "settings/registry.hpp"
#include "temp_config.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using tavtest::ReadFile;
using tavtest::TempConfig;

const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\n";
const std::string kKey = "\\Software\\Tavorensia\\";

// Either a value or the message of the error a read raises.
template <typename T>
std::variant<T, std::string> Try(auto&& read) {
  try {
    return read();
  } catch (const tav::ERegistryException& e) {
    return std::string(e.what());
  }
}

TEST(Registry, HivePathFollowsXdgConfigHome) {
  TempConfig cfg;
  EXPECT_EQ(tav::DefaultHivePath(), cfg.hive());
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  EXPECT_EQ(tav::DefaultHivePath(), cfg.home() / ".config/tavorensia/registry.reg");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(tav::DefaultHivePath(), cfg.home() / ".config/tavorensia/registry.reg");
}

TEST(Registry, ReadsIntegersAsStored) {
  const struct {
    const char* what;
    std::string hive;
    std::variant<int32_t, std::string> result;
  } cases[] = {
      {"plain", kHead + "\"Fast\"=dword:00000014\n", 20},
      {"upper-case digits", kHead + "\"Fast\"=dword:0000ABCD\n", 0xABCD},
      {"short form", kHead + "\"Fast\"=dword:7\n", 7},
      {"all bits", kHead + "\"Fast\"=dword:ffffffff\n", -1},
      {"name in other case", kHead + "\"fAST\"=dword:00000003\n", 3},
      {"key in other case",
       "Windows Registry Editor Version 5.00\n\n[hkey_current_user\\SOFTWARE\\tavorensia]\n\"Fast\"=dword:5\n", 5},
      {"CRLF", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\r\n"
               "\"Fast\"=dword:00000009\r\n", 9},
      {"byte-order mark", "\xEF\xBB\xBF" + kHead + "\"Fast\"=dword:00000002\n", 2},
      {"dword as hex(4)", kHead + "\"Fast\"=hex(4):14,00,00,00\n", 20},
      {"last of a repeated name", kHead + "\"Fast\"=dword:1\n\"Fast\"=dword:2\n", 2},
      {"missing", kHead + "\"Bright\"=dword:00000002\n", "Failed to get data for 'Fast'"},
      {"hex(4) of the wrong size", kHead + "\"Fast\"=hex(4):14,00\n", "Failed to get data for 'Fast'"},
      {"string", kHead + "\"Fast\"=\"20\"\n", "Invalid data type for 'Fast'"},
      {"binary", kHead + "\"Fast\"=hex:14,00,00,00\n", "Invalid data type for 'Fast'"},
      {"qword", kHead + "\"Fast\"=hex(b):14,00,00,00,00,00,00,00\n", "Invalid data type for 'Fast'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempConfig cfg;
    cfg.WriteHive(c.hive);
    tav::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(Try<int32_t>([&] { return reg.ReadInteger("Fast"); }), c.result);
  }
}

TEST(Registry, ReadsStringsAsStored) {
  const struct {
    const char* what;
    std::string line;
    std::string result;  // the value, or the error's message
  } cases[] = {
      {"escapes", "\"Path_Wall\"=\"C:\\\\Windows \\\"x\\\"\"", "C:\\Windows \"x\""},
      {"lone backslash kept", "\"Path_Wall\"=\"C:\\Windows\"", "C:\\Windows"},
      {"UTF-8", "\"Path_Wall\"=\"/home/u/Bilder/\xC3\xA9t\xC3\xA9\"", "/home/u/Bilder/\xC3\xA9t\xC3\xA9"},
      {"empty", "\"Path_Wall\"=\"\"", ""},
      {"missing", "\"Other\"=\"x\"", ""},
      {"expandable, over two lines, not expanded",
       "\"Path_Wall\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,2f,00,\\\n  e9,00,3d,d8,00,de,00,00",
       "%HOME%/\xC3\xA9\xF0\x9F\x98\x80"},
      {"hex(1) string", "\"Path_Wall\"=hex(1):61,00,0a,00,62,00,00,00", "a\nb"},
      {"dword", "\"Path_Wall\"=dword:00000001", "Invalid data type for 'Path_Wall'"},
      {"multi-string", "\"Path_Wall\"=hex(7):61,00,00,00,00,00", "Invalid data type for 'Path_Wall'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempConfig cfg;
    cfg.WriteHive(kHead + c.line + "\n");
    tav::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    std::string got;
    try {
      got = reg.ReadString("Path_Wall");
    } catch (const tav::ERegistryException& e) {
      got = e.what();
    }
    EXPECT_EQ(got, c.result);
  }
}

TEST(Registry, OpensOnlyKeysThatExistUnlessAskedToCreate) {
  TempConfig cfg;
  tav::Registry reg;
  EXPECT_FALSE(reg.OpenKey(kKey, false));  // no hive yet
  EXPECT_FALSE(fs::exists(cfg.hive()));    // and reading made none
  cfg.WriteHive("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tavorensia\\Sub]\n");
  EXPECT_TRUE(reg.OpenKey("Software", false));          // a parent of a stored key exists
  EXPECT_TRUE(reg.OpenKey("Software\\Tavorensia", false));
  EXPECT_FALSE(reg.OpenKey("Software\\Tavor", false));  // a prefix of a name is not a key
  EXPECT_FALSE(reg.OpenKey("Control Panel\\Desktop", false));
  EXPECT_TRUE(reg.OpenKey("Control Panel\\Desktop", true));
  reg.WriteString("ScreenSaveUsePassword", "1");
  reg.CloseKey();
  EXPECT_THROW(reg.ReadInteger("Fast"), tav::ERegistryException);  // closed
  EXPECT_THROW(reg.WriteInteger("Fast", 1), tav::ERegistryException);
  tav::Registry again;
  ASSERT_TRUE(again.OpenKey("control panel\\desktop", false));
  EXPECT_EQ(again.ReadString("screensaveusepassword"), "1");
}

TEST(Registry, WritesTheTextFormWithPrivateModes) {
  TempConfig cfg;
  {
    tav::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger("Fast", 20);
    reg.WriteInteger("Color", -2);
    reg.WriteString("Path_Wall", "C:\\Windows \"x\"");
  }
  EXPECT_EQ(ReadFile(cfg.hive()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Tavorensia]\n"
            "\"Fast\"=dword:00000014\n"
            "\"Color\"=dword:fffffffe\n"
            "\"Path_Wall\"=\"C:\\\\Windows \\\"x\\\"\"\n\n");
  struct stat st {};
  ASSERT_EQ(::stat(cfg.hive().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(cfg.folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // Nothing but the hive and its lock is left in the folder.
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(cfg.folder())) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST(Registry, StringsSurviveAWriteAndReadBack) {
  const std::string values[] = {
      "", "plain", "back\\slash \"quoted\"", "ends with a backslash\\", "line\nbreak\r\n",
      "tab\there", "/home/u/\xC3\xA9t\xC3\xA9/\xF0\x9F\x98\x80", " leading and trailing  ",
  };
  TempConfig cfg;
  for (const auto& v : values) {
    SCOPED_TRACE(testing::PrintToString(v));
    tav::Registry w;
    ASSERT_TRUE(w.OpenKey(kKey, true));
    w.WriteString("Path_Wall", v);
    w.WriteInteger("Fast", 1);
    tav::Registry r;
    ASSERT_TRUE(r.OpenKey(kKey, false));  // the hive still parses
    EXPECT_EQ(r.ReadString("Path_Wall"), v);
    EXPECT_EQ(r.ReadInteger("Fast"), 1);
  }
  // Control characters with malformed UTF-8 cannot be stored faithfully.
  tav::Registry w;
  ASSERT_TRUE(w.OpenKey(kKey, true));
  EXPECT_THROW(w.WriteString("Path_Wall", "a\n\xFF"), tav::ERegistryException);
}

TEST(Registry, UnknownKeysAndValuesSurviveWrites) {
  TempConfig cfg;
  const std::string other =
      "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
      "\"ScreenSaveUsePassword\"=\"1\"\n"
      "@=\"default\"\n"
      "; kept comment\n"
      "\"Multi\"=hex(7):61,00,00,00,00,00\n"
      "\"Bin\"=hex:01,02,\\\n  03\n";
  cfg.WriteHive("Windows Registry Editor Version 5.00\n\n" + other +
                "\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\n\"Unknown\"=dword:00000007\n");
  tav::Registry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteInteger("Fast", 20);
  reg.WriteString("Path_Wall", "/p");
  const std::string text = ReadFile(cfg.hive());
  EXPECT_NE(text.find("\"ScreenSaveUsePassword\"=\"1\"\n@=\"default\"\n; kept comment\n"
                      "\"Multi\"=hex(7):61,00,00,00,00,00\n\"Bin\"=hex:01,02,03\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Unknown\"=dword:00000007\n\"Fast\"=dword:00000014\n\"Path_Wall\"=\"/p\"\n"),
            std::string::npos)
      << text;
}

TEST(Registry, DamagedHiveReadsAsMissingAndIsKeptBeforeReplacing) {
  for (const std::string text : {"not a hive at all", ""}) {
    SCOPED_TRACE(testing::PrintToString(text));
    TempConfig cfg;
    cfg.WriteHive(text);
    tav::Registry reg;
    EXPECT_FALSE(reg.OpenKey(kKey, false));
    EXPECT_TRUE(reg.HiveDamaged());
    EXPECT_FALSE(fs::exists(cfg.folder() / "registry.reg.damaged"));  // reading changes nothing
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger("Fast", 20);
    EXPECT_EQ(ReadFile(cfg.folder() / "registry.reg.damaged"), text);
    tav::Registry r;
    ASSERT_TRUE(r.OpenKey(kKey, false));
    EXPECT_EQ(r.ReadInteger("Fast"), 20);
    EXPECT_FALSE(r.HiveDamaged());
  }
}

// A line that cannot be parsed is left out, as an import does; everything
// else stays readable, and the file as it was is kept before any write.
TEST(Registry, LinesThatCannotBeParsedAreSkippedAndTheRestKept) {
  const std::string other = "[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=dword:00000007\n";
  const struct {
    std::string text;
    bool keyReadable;  // whether Software\Tavorensia itself was read
  } cases[] = {
      {"Windows Registry Editor Version 5.00\n\n\"Fast\"=dword:1\n" + other, false},  // value outside any key
      {kHead + "\"Fast\"=dword:123456789\n" + other, true},                         // nine digits
      {kHead + "\"Fast\"=\"unterminated\n" + other, true},
      {kHead + "\"Fast\"=hex:1,2\n" + other, true},
      {kHead + "\"Fast\"=-\n" + other, true},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Tavorensia\n\"Fast\"=dword:1\n" + other,
       false},  // its values are skipped with the key
      {other + "[HKEY_CURRENT_USER\\Software\\Broken\n\"x\"=dword:zz\n", false},
  };
  for (const auto& c : cases) {
    const std::string text = c.text.starts_with("Windows") ? c.text : "Windows Registry Editor Version 5.00\n\n" + c.text;
    SCOPED_TRACE(testing::PrintToString(text));
    TempConfig cfg;
    cfg.WriteHive(text);
    tav::Registry reg;
    EXPECT_EQ(reg.OpenKey(kKey, false), c.keyReadable);
    EXPECT_TRUE(reg.HiveDamaged());
    EXPECT_FALSE(reg.ValueExists("Fast"));
    tav::Registry kept;
    ASSERT_TRUE(kept.OpenKey("\\Software\\Other\\", false));
    EXPECT_EQ(kept.ReadInteger("Keep"), 7);
    EXPECT_FALSE(fs::exists(cfg.folder() / "registry.reg.damaged"));  // reading changes nothing
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger("Fast", 20);
    EXPECT_EQ(ReadFile(cfg.folder() / "registry.reg.damaged"), text);
    tav::Registry r;
    ASSERT_TRUE(r.OpenKey("\\Software\\Other\\", false));
    EXPECT_EQ(r.ReadInteger("Keep"), 7);
    EXPECT_FALSE(r.HiveDamaged());
    ASSERT_TRUE(r.OpenKey(kKey, false));
    EXPECT_EQ(r.ReadInteger("Fast"), 20);
  }
}

TEST(Registry, ASecondDamagedHiveIsKeptBesideTheFirst) {
  // A second damaged hive does not replace the first kept one.
  TempConfig cfg;
  cfg.WriteHive("first damage");
  tav::Registry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  cfg.WriteHive("second damage");
  reg.WriteInteger("Fast", 1);
  EXPECT_EQ(ReadFile(cfg.folder() / "registry.reg.damaged"), "first damage");
  EXPECT_EQ(ReadFile(cfg.folder() / "registry.reg.damaged.1"), "second damage");
}

TEST(Registry, FailuresToWrite) {
  TempConfig cfg;
  // The folder cannot be made: opening for writing fails, and says why.
  fs::create_directories(cfg.config());
  { std::ofstream(cfg.folder()) << "a file where the folder should be"; }
  tav::Registry reg;
  EXPECT_FALSE(reg.OpenKey(kKey, true));
  EXPECT_EQ(reg.WriteError(), "cannot create folder " + cfg.folder().string() + ": Not a directory");
  fs::remove(cfg.folder());
  // The key opened, then the folder went away: the write raises the error.
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  fs::remove_all(cfg.folder());
  { std::ofstream(cfg.folder()) << "x"; }
  try {
    reg.WriteInteger("Fast", 1);
    ADD_FAILURE() << "no error";
  } catch (const tav::ERegistryException& e) {
    // The value, the file and the system's reason.
    EXPECT_EQ(std::string(e.what()),
              "Failed to set data for 'Fast': cannot create folder " + cfg.folder().string() + ": Not a directory");
  }
}

TEST(Registry, TwoProcessesWritingAtOnceLoseNothing) {
  TempConfig cfg;
  constexpr int kValues = 40;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      int status = 0;
      try {
        tav::Registry reg;
        if (!reg.OpenKey(kKey, true)) ::_exit(3);
        for (int i = 0; i < kValues; ++i) {
          reg.WriteInteger(std::string(1, static_cast<char>('A' + p)) + std::to_string(i), i);
        }
      } catch (...) {
        status = 4;
      }
      ::_exit(status);
    }
  }
  for (const pid_t c : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(c, &status, 0), c);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  tav::Registry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kValues; ++i) {
      const std::string name = std::string(1, static_cast<char>('A' + p)) + std::to_string(i);
      EXPECT_TRUE(reg.ValueExists(name)) << name;
    }
  }
}

TEST(Hive, ParsedHiveWritesBackToTheSameHive) {
  const std::string texts[] = {
      kHead + "\"Fast\"=dword:00000014\n\"Path_Wall\"=\"a\\\\b\"\n",
      "\xFF\xFEW\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0s\0t\0r\0y\0 \0E\0d\0i\0t\0o\0r\0 \0V\0e\0r\0s\0i\0o\0n\0 \0"
      "5\0.\0" "0\0" "0\0\r\0\n\0[\0K\0]\0\r\0\n\0\"\0a\0\"\0=\0d\0w\0o\0r\0d\0:\0" "1\0"s,
      "Windows Registry Editor Version 5.00\n[A]\n[a\\B]\n\"x\"=hex(2):\\\n 41,00\n[A]\n\"y\"=\"2\"\n",
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(testing::PrintToString(t));
    const auto hive = tav::ParseHive(t);
    ASSERT_TRUE(hive.has_value());
    const auto again = tav::ParseHive(tav::WriteHive(*hive));
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, *hive);
  }
  const auto utf16 = tav::ParseHive(texts[1]);
  ASSERT_TRUE(utf16 && utf16->FindKey("k"));
  EXPECT_EQ(tav::DecodeDword(tav::FindValue(*utf16->FindKey("K"), "A")->data), 1u);
  const auto merged = tav::ParseHive(texts[2]);
  ASSERT_TRUE(merged);
  EXPECT_EQ(merged->keys.size(), 2u);  // the repeated [A] joins the first
  EXPECT_EQ(tav::DecodeString(tav::FindValue(*merged->FindKey("a\\b"), "X")->data), "A");
}

}  // namespace
