// cmake --install into a staging tree: everything a desktop and XScreenSaver
// need is where they look for it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "staging.hpp"

namespace {

namespace fs = std::filesystem;

TEST(Install, StagedTreeHoldsProgramsManPagesDesktopEntryAndHackEntry) {
  tavtest::SharedDir dir(tavtest::HackUser{});
  tavtest::StagedInstall inst(dir.path);
  ASSERT_EQ(inst.status, 0) << inst.log;
  // Nothing outside the prefix, though XScreenSaver and PAM read folders of
  // their own (only the cache variables lead there); the log says so.
  for (const auto& e : fs::recursive_directory_iterator(inst.root)) {
    const fs::path rel = fs::relative(e.path(), inst.root);
    EXPECT_TRUE(rel == "usr" || rel.string().rfind("usr/local", 0) == 0) << rel;
  }
  EXPECT_NE(inst.log.find("/usr/share/xscreensaver/config"), std::string::npos) << inst.log;
  EXPECT_NE(inst.log.find("-DTAVORENSIA_PAM_DIR=/etc/pam.d"), std::string::npos) << inst.log;

  for (const char* f : {"usr/local/bin/tavorensia", "usr/local/share/man/man1/tavorensia.1",
                        "usr/local/share/applications/tavorensia.desktop",
                        "usr/local/share/xscreensaver/config/tavorensia.xml",
                        "usr/local/etc/pam.d/tavorensia",
                        "usr/local/libexec/tavorensia/tavorensia-lock"}) {
    EXPECT_TRUE(fs::is_regular_file(inst.root / f)) << f;
  }
  EXPECT_EQ(access(inst.Bin("tavorensia").c_str(), X_OK), 0);
#ifdef TAV_RENDER_EXE
  EXPECT_TRUE(fs::is_regular_file(inst.root / "usr/local/share/man/man1/tavorensia-render.1"));
  std::string usage;
  EXPECT_EQ(tavtest::RunToEnd({inst.Bin("tavorensia-render").string(), "--help"}, "", {}, &usage),
            0);
  EXPECT_NE(usage.find("--wallpaper"), std::string::npos) << usage;
#endif
  // The hack entry is a link that resolves to the installed program, also
  // inside the staging tree (so it is relative).
  ASSERT_TRUE(fs::is_symlink(inst.HackEntry()));
  EXPECT_TRUE(fs::read_symlink(inst.HackEntry()).is_relative());
  EXPECT_EQ(fs::canonical(inst.HackEntry()), fs::canonical(inst.Bin("tavorensia")));

  const std::string xml =
      tavtest::ReadFile(inst.root / "usr/local/share/xscreensaver/config/tavorensia.xml");
  EXPECT_NE(xml.find("<screensaver name=\"tavorensia\""), std::string::npos);
  EXPECT_NE(xml.find("<command arg=\"--root\"/>"), std::string::npos);
  EXPECT_NE(xml.find("tavorensia /c"), std::string::npos);
  // Our icon in the hicolor sizes, PNG files of those sizes, named by the entry.
  for (const int size : {48, 128, 256}) {
    const std::string dim = std::to_string(size) + "x" + std::to_string(size);
    const std::string png = tavtest::ReadFile(inst.root / "usr/local/share/icons/hicolor" / dim /
                                              "apps/tavorensia.png");
    SCOPED_TRACE(dim);
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const auto be32 = [&](size_t at) {
      return (static_cast<uint32_t>(static_cast<uint8_t>(png[at])) << 24) |
             (static_cast<uint32_t>(static_cast<uint8_t>(png[at + 1])) << 16) |
             (static_cast<uint32_t>(static_cast<uint8_t>(png[at + 2])) << 8) |
             static_cast<uint32_t>(static_cast<uint8_t>(png[at + 3]));
    };
    EXPECT_EQ(be32(16), static_cast<uint32_t>(size));  // IHDR width
    EXPECT_EQ(be32(20), static_cast<uint32_t>(size));  // IHDR height
  }
  const std::string desktop =
      tavtest::ReadFile(inst.root / "usr/local/share/applications/tavorensia.desktop");
  EXPECT_NE(desktop.find("\nIcon=tavorensia\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nName=Tavorensia Settings\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nExec=tavorensia /c\n"), std::string::npos);
}

// `cmake --install build --prefix ~/.local` as an ordinary user: everything
// lands under the prefix (where XScreenSaver does not look), with a note that
// says what to add to ~/.xscreensaver; the install succeeds. The helper it
// names then makes the user's XScreenSaver run the saver.
TEST(Install, OrdinaryUserIntoAHomePrefix) {
  const tavtest::HackUser user = tavtest::HackUser::Get();
  ASSERT_FALSE(user.name.empty()) << "no ordinary user";
  tavtest::SharedDir home(user);
  ASSERT_FALSE(home.path.empty());
  // cmake writes its list of installed files into the build tree. A user
  // installs from a tree of their own; this one may belong to root, so that
  // one file is lent to the user for the run.
  const fs::path manifest = fs::path(TAV_BINARY_DIR) / "install_manifest.txt";
  struct stat before {};
  const bool lend = user.switchUser;
  if (lend) {
    if (!fs::exists(manifest)) std::ofstream(manifest).close();
    ASSERT_EQ(stat(manifest.c_str(), &before), 0);
    ASSERT_EQ(chown(manifest.c_str(), user.uid, user.gid), 0);
  }
  const fs::path prefix = home.path / ".local";
  std::string out;
  const int status = tavtest::RunToEnd(
      user.Command(home.path.string(), "", {"cmake", "--install", TAV_BINARY_DIR, "--prefix", prefix.string()}),
      "", {}, &out);
  if (lend) {
    EXPECT_EQ(chown(manifest.c_str(), before.st_uid, before.st_gid), 0);
  }
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(access((prefix / "bin/tavorensia").c_str(), X_OK), 0);
  EXPECT_TRUE(fs::is_regular_file(prefix / "share/xscreensaver/config/tavorensia.xml"));
  EXPECT_TRUE(fs::is_symlink(prefix / "libexec/xscreensaver/tavorensia"));
  EXPECT_NE(out.find("programs:"), std::string::npos) << out;
  EXPECT_NE(out.find("\n  " + (prefix / "bin/tavorensia").string() + " --root\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("reads option descriptions only from its system folder"), std::string::npos)
      << out;

  // The helper it names, on a ~/.xscreensaver in random mode with another hack.
  const fs::path rc = home.path / ".xscreensaver";
  std::ofstream(rc) << "timeout:\t0:10:00\nmode:\t\trandom\nselected:\t4\n"
                       "programs:\t\t\\\n\t\tmaze --root\t\\n\\\n\n";
  if (user.switchUser) {
    ASSERT_EQ(chown(rc.c_str(), user.uid, user.gid), 0);
  }
  ASSERT_EQ(tavtest::RunToEnd(user.Command(home.path.string(), "",
                                           {(prefix / "share/tavorensia/use-with-xscreensaver").string(),
                                            (prefix / "bin/tavorensia").string()}),
                              "", {}, &out),
            0)
      << out;
  EXPECT_EQ(tavtest::ReadFile(rc),
            "timeout:\t0:10:00\nmode:\t\tone\nselected:\t0\nprograms:\t\t\\\n\t\t\t\t" +
                (prefix / "bin/tavorensia").string() +
                " --root\t\t\\n\\\n\t\tmaze --root\t\\n\\\n\n");
}

}  // namespace
