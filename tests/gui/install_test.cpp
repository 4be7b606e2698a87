// cmake --install into a staging tree: everything a desktop and XScreenSaver
// need is where they look for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "staging.hpp"

namespace {

namespace fs = std::filesystem;

TEST(Install, StagedTreeHoldsProgramsManPagesDesktopEntryAndHackEntry) {
  ASSERT_TRUE(fs::is_directory("/usr/libexec/xscreensaver"))
      << "XScreenSaver's hacks folder is missing: scripts/deps installs xscreensaver-data";
  tavtest::SharedDir dir(tavtest::HackUser{});
  tavtest::StagedInstall inst(dir.path);
  ASSERT_EQ(inst.status, 0) << inst.log;

  for (const char* f : {"usr/local/bin/tavorensia", "usr/local/share/man/man1/tavorensia.1",
                        "usr/local/share/applications/tavorensia.desktop",
                        "usr/share/xscreensaver/config/tavorensia.xml"}) {
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
      tavtest::ReadFile(inst.root / "usr/share/xscreensaver/config/tavorensia.xml");
  EXPECT_NE(xml.find("<screensaver name=\"tavorensia\""), std::string::npos);
  EXPECT_NE(xml.find("<command arg=\"--root\"/>"), std::string::npos);
  EXPECT_NE(xml.find("tavorensia /c"), std::string::npos);
  const std::string desktop =
      tavtest::ReadFile(inst.root / "usr/local/share/applications/tavorensia.desktop");
  EXPECT_NE(desktop.find("\nName=Tavorensia Settings\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nExec=tavorensia /c\n"), std::string::npos);
}

}  // namespace
