// The save-wallpaper dialog's model: drives from a mount table, the linked
// folder and file lists, the offered names, "Save" and its failures, and the
// hand-back on every way out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "display/dib.hpp"
#include "modes/save_wallpaper_dialog.hpp"
#include "forms_test_support.hpp"

namespace {

namespace fs = std::filesystem;
using formtest::Sandbox;
using tav::TOKRightDlg;

class Owner final : public tav::WallpaperOwner {
 public:
  Owner() {
    wallpaper.SetBitCount(24);
    wallpaper.SetSize(8, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 24; ++x) wallpaper.ScanLine(y)[x] = static_cast<uint8_t>(x * 10 + y);
  }
  std::string& PathWall() override { return pathWall; }
  const tav::TDIB& Wallpaper() const override { return wallpaper; }
  int32_t& WallpaperCount() override { return count; }
  void HandBack() override { ++handBacks; }
  tav::BackgroundResult SetDesktopBackground(const std::string& file, const tav::TDIB&) override {
    backgrounds.push_back(file);
    return background;
  }

  std::string pathWall;
  std::vector<std::string> backgrounds;  // files made the background
  tav::BackgroundResult background{true, {}};
  tav::TDIB wallpaper;
  int32_t count = 0;
  int handBacks = 0;
};

void Touch(const fs::path& p, const std::string& text = "x") { std::ofstream(p) << text; }

ino_t InodeOf(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string Cwd() { return fs::current_path().string(); }

TEST(SaveDriveRoots, FromMountTable) {
  const std::string mounts =
      "overlay / overlay rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "sysfs /sys sysfs rw 0 0\n"
      "/dev/sda1 /boot ext4 rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n"
      "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
      "/dev/sdc1 /run/media/ann/CARD vfat rw 0 0\n"
      "tmpfs /run tmpfs rw 0 0\n";
  const struct {
    const char* home;
    std::vector<std::string> roots;
  } cases[] = {
      {"/home/ann", {"/", "/home", "/media/ann/USB STICK", "/run/media/ann/CARD"}},
      {"/root", {"/", "/media/ann/USB STICK", "/run/media/ann/CARD"}},
      {"/homework/x", {"/", "/media/ann/USB STICK", "/run/media/ann/CARD"}},  // not under /home
      {"", {"/", "/media/ann/USB STICK", "/run/media/ann/CARD"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.home);
    EXPECT_EQ(tav::SaveDriveRoots(mounts, c.home), c.roots);
  }
  EXPECT_EQ(tav::SaveDriveRoots("", "/home/ann"), std::vector<std::string>{"/"});
}

std::string Head(const fs::path& p, std::size_t n) {
  std::ifstream in(p, std::ios::binary);
  std::string head(n, '\0');
  in.read(head.data(), static_cast<std::streamsize>(n));
  return head.substr(0, static_cast<std::size_t>(in.gcount()));
}

// The type list picks the mask, the offered name's extension and the format
// of a name without one; a name ending in .bmp or .png is written in that
// format whatever the type. The format written and the check box are
// remembered for the next dialog.
TEST(SaveWallpaperDialog, FileTypeAndSetAsBackground) {
  const std::string kPng = "\x89PNG", kBmp = "BM";
  const struct {
    tav::ImageFileType type;
    const char* typed;  // nullptr: the offered name
    const char* file;
    std::string head;
    bool setBackground;
    tav::BackgroundResult result;
    const char* error;  // what the save raises after writing, nullptr for nothing
  } cases[] = {
      {tav::ImageFileType::Png, nullptr, "Tavorensia1.png", kPng, false, {true, {}}, nullptr},
      {tav::ImageFileType::Png, "a.BMP", "a.BMP", kBmp, false, {true, {}}, nullptr},
      {tav::ImageFileType::Bitmap, "b.Png", "b.Png", kPng, true, {true, {}}, nullptr},
      {tav::ImageFileType::Bitmap, "c.jpg", "c.jpg.bmp", kBmp, true, {false, "no shell"},
       "Cannot set the desktop background: no shell"},
      {tav::ImageFileType::Png, "d", "d.png", kPng, true, {true, "keep it so"}, "keep it so"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Sandbox box;
    const std::string pics = box.Folder("pics");
    box.StoreString("Path_Wall", pics);
    Touch(fs::path(pics) / "Tavorensia0.png");
    Touch(fs::path(pics) / "old.bmp");
    Owner owner;
    owner.background = c.result;
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    EXPECT_EQ(dlg.FileType(), tav::ImageFileType::Bitmap);  // nothing remembered yet
    dlg.SetFileType(c.type);
    dlg.SetAsBackground = c.setBackground;
    const bool png = c.type == tav::ImageFileType::Png;
    EXPECT_EQ(dlg.Files(), std::vector<std::string>{png ? "Tavorensia0.png" : "old.bmp"});
    if (c.typed) {
      dlg.Edit = c.typed;
    } else {
      // The offered name follows the type: Tavorensia0.png is taken.
      dlg.FormCreate();
      dlg.SetFileType(c.type);
      EXPECT_EQ(dlg.Edit, "Tavorensia1");
    }
    if (c.error) {
      try {
        dlg.OKBtnClick();
        ADD_FAILURE() << "no error";
      } catch (const tav::EDesktopBackground& e) {
        EXPECT_EQ(std::string(e.what()), c.error);
      }
    } else {
      dlg.OKBtnClick();
    }
    // Saved (and kept) either way.
    EXPECT_EQ(Head(fs::path(pics) / c.file, c.head.size()), c.head);
    EXPECT_FALSE(dlg.Visible());
    EXPECT_EQ(owner.count, 1);
    EXPECT_EQ(owner.backgrounds, c.setBackground ? std::vector<std::string>{pics + "/" + c.file}
                                                 : std::vector<std::string>{});
    // The format written is remembered, whatever the box showed.
    const bool wrotePng = c.head == kPng;
    EXPECT_EQ(box.String("Wall_Type"), wrotePng ? "png" : "bmp");
    EXPECT_EQ(box.Int("Wall_Background"), c.setBackground ? 1 : 0);
    TOKRightDlg next(owner, {"/"});
    next.FormCreate();
    EXPECT_EQ(next.FileType(), wrotePng ? tav::ImageFileType::Png : tav::ImageFileType::Bitmap);
    EXPECT_EQ(next.SetAsBackground, c.setBackground);
    EXPECT_STREQ(next.Mask(), wrotePng ? "*.png" : "*.bmp");
  }
}

// Typing a name moves the type box to the extension typed (in any case),
// keeps the name as typed and lists that type's files; "Save" writes that
// format and Wall_Type stores it.
TEST(SaveWallpaperDialog, TypedExtensionMovesTheTypeAndWallTypeFollowsTheFile) {
  using tav::ImageFileType;
  const struct {
    const char* what;
    ImageFileType start;            // the type box before typing
    std::vector<std::string> keys;  // the field's text after each key stroke
    ImageFileType type;             // the box afterwards
    const char* file;               // what "Save" writes
    const char* wallType;
  } cases[] = {
      {"png typed", ImageFileType::Bitmap, {"a", "a.", "a.p", "a.pn", "a.png"}, ImageFileType::Png, "a.png", "png"},
      {"in capitals", ImageFileType::Bitmap, {"B.PNG"}, ImageFileType::Png, "B.PNG", "png"},
      {"mixed case bmp", ImageFileType::Png, {"c.bMp"}, ImageFileType::Bitmap, "c.bMp", "bmp"},
      {"typed, then taken back", ImageFileType::Bitmap, {"d.png", "d.pn"}, ImageFileType::Png, "d.pn.png", "png"},
      {"another extension leaves the box", ImageFileType::Png, {"e.jpg"}, ImageFileType::Png, "e.jpg.png", "png"},
      {"no extension", ImageFileType::Bitmap, {"f"}, ImageFileType::Bitmap, "f.bmp", "bmp"},
      {"same type as shown", ImageFileType::Png, {"g.png"}, ImageFileType::Png, "g.png", "png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    const std::string pics = box.Folder("pics");
    box.StoreString("Path_Wall", pics);
    Touch(fs::path(pics) / "old.bmp");
    Touch(fs::path(pics) / "old.png");
    Owner owner;
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    dlg.SetFileType(c.start);
    for (const auto& text : c.keys) {
      dlg.NameTyped(text);
      EXPECT_EQ(dlg.Edit, text);  // never rewritten under the typist
    }
    EXPECT_EQ(dlg.FileType(), c.type);
    const bool png = c.type == ImageFileType::Png;
    EXPECT_EQ(dlg.Files(), std::vector<std::string>{png ? "old.png" : "old.bmp"});
    dlg.OKBtnClick();
    ASSERT_FALSE(dlg.Visible());
    const bool wrotePng = std::string(c.wallType) == "png";
    EXPECT_EQ(Head(fs::path(pics) / c.file, wrotePng ? 4 : 2), wrotePng ? "\x89PNG" : "BM");
    EXPECT_EQ(box.String("Wall_Type"), c.wallType);
  }
}

TEST(SaveWallpaperDialog, OpensInTheStoredFolderWithTheNextName) {
  Sandbox box;
  const std::string pics = box.Folder("pics");
  box.StoreString("Path_Wall", pics);
  Owner owner;
  owner.count = 3;
  TOKRightDlg dlg(owner, {"/"});
  dlg.FormCreate();
  EXPECT_TRUE(dlg.Visible());
  EXPECT_EQ(dlg.Directory(), pics);
  EXPECT_EQ(Cwd(), pics);
  EXPECT_EQ(dlg.Edit, "Tavorensia3");
  EXPECT_EQ(owner.pathWall, pics);
}

TEST(SaveWallpaperDialog, SaveWritesTheBitmapInTheShownFolder) {
  Sandbox box;
  const std::string pics = box.Folder("pics");
  box.StoreString("Path_Wall", pics);
  Owner owner;
  TOKRightDlg dlg(owner, {"/"});
  dlg.FormCreate();
  fs::current_path(box.Root());  // something else moved the current folder
  dlg.OKBtnClick();
  const fs::path file = fs::path(pics) / "Tavorensia0.bmp";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::file_size(file), 54u + 24u * 4u);
  EXPECT_FALSE(dlg.Visible());
  EXPECT_EQ(owner.count, 1);
  EXPECT_EQ(owner.handBacks, 1);
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(static_cast<uint8_t>(bytes[54]), 0 * 10 + 3);  // bottom row first
}

TEST(SaveWallpaperDialog, FailedSavesKeepTheDialogOpen) {
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"*.bmp", "Cannot create file *.bmp"},  {"a?b", "Cannot create file a?b.bmp"},
      {"say \"hi\"", "Cannot create file say \"hi\".bmp"}, {"<x>", "Cannot create file <x>.bmp"},
      {"p|q", "Cannot create file p|q.bmp"},     {"missing/x", "Cannot create file missing/x.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    const std::string pics = box.Folder("pics");
    box.StoreString("Path_Wall", pics);
    Owner owner;
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    dlg.Edit = c.name;
    try {
      dlg.OKBtnClick();
      ADD_FAILURE() << "saved";
    } catch (const tav::EFCreateError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_TRUE(dlg.Visible());
    EXPECT_EQ(owner.count, 0);
    EXPECT_EQ(owner.handBacks, 0);
    EXPECT_TRUE(fs::is_empty(pics));  // no partial or stray file
  }
}

TEST(SaveWallpaperDialog, ChangingFolderOffersTheMaskWhichThenFails) {
  Sandbox box;
  const std::string pics = box.Folder("pics");
  const std::string other = box.Folder("other");
  box.StoreString("Path_Wall", pics);
  Owner owner;
  TOKRightDlg dlg(owner, {"/"});
  dlg.FormCreate();
  ASSERT_TRUE(dlg.SetDirectory(other));
  EXPECT_EQ(dlg.Edit, "*.bmp");
  EXPECT_EQ(Cwd(), other);
  EXPECT_THROW(dlg.OKBtnClick(), tav::EFCreateError);
  EXPECT_TRUE(dlg.Visible());
  // The folder is written before the save is tried.
  EXPECT_EQ(box.String("Path_Wall"), other);
  EXPECT_EQ(owner.pathWall, other);
  dlg.Edit = "fixed";
  dlg.OKBtnClick();
  EXPECT_TRUE(fs::exists(fs::path(other) / "fixed.bmp"));
}

TEST(SaveWallpaperDialog, PathWallWrittenOnlyWhenTheFolderChanged) {
  Sandbox box;
  const std::string pics = box.Folder("pics");
  const std::string other = box.Folder("other");
  box.StoreString("Path_Wall", pics);
  Owner owner;
  {
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    const ino_t before = InodeOf(box.Hive());
    dlg.OKBtnClick();  // same folder as stored: no write
    EXPECT_EQ(InodeOf(box.Hive()), before);
  }
  {
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    dlg.SetDirectory(other);
    dlg.Edit = "b";
    const ino_t before = InodeOf(box.Hive());
    dlg.OKBtnClick();  // changed: one write
    EXPECT_NE(InodeOf(box.Hive()), before);
    EXPECT_EQ(box.String("Path_Wall"), other);
  }
  {
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    EXPECT_EQ(dlg.Directory(), other);
    dlg.Edit = "c";
    const ino_t before = InodeOf(box.Hive());
    dlg.OKBtnClick();  // saving again there: no write
    EXPECT_EQ(InodeOf(box.Hive()), before);
  }
  EXPECT_EQ(owner.count, 3);
}

// What the dialog offers, which file "Save" writes, and when it asks first.
TEST(SaveWallpaperDialog, NamingAndReplaceRules) {
  const std::string w250(250, 'w'), w251(251, 'w'), w252(252, 'w');
  enum Answer { kNone, kYes, kNo };
  const struct {
    const char* what;
    std::vector<std::string> before;  // files in the folder ("/" ends a folder)
    int32_t count;                    // wallpapers saved earlier in this run
    std::string typed;                // empty: keep the offered name
    Answer answer;
    std::string offered, question, error;
    std::vector<std::string> after;   // the folder afterwards
    const char* written;              // the file that holds the wallpaper now
  } cases[] = {
      {"first of a run", {}, 0, "", kNone, "Tavorensia0", "", "", {"Tavorensia0.bmp"}, "Tavorensia0.bmp"},
      {"earlier runs' files are skipped", {"Tavorensia0.bmp", "Tavorensia1.bmp"}, 0, "", kNone, "Tavorensia2", "", "",
       {"Tavorensia0.bmp", "Tavorensia1.bmp", "Tavorensia2.bmp"}, "Tavorensia2.bmp"},
      {"counting on from this run's count", {"Tavorensia0.bmp", "Tavorensia2.bmp"}, 2, "", kNone, "Tavorensia3", "",
       "", {"Tavorensia0.bmp", "Tavorensia2.bmp", "Tavorensia3.bmp"}, "Tavorensia3.bmp"},
      {"a gap is not filled behind the count", {"Tavorensia1.bmp"}, 0, "", kNone, "Tavorensia0", "", "",
       {"Tavorensia0.bmp", "Tavorensia1.bmp"}, "Tavorensia0.bmp"},
      {"existing file, No", {"big.bmp"}, 0, "big", kNo, "Tavorensia0",
       "big.bmp already exists. Do you want to replace it?", "", {"big.bmp"}, nullptr},
      {"existing file, Yes", {"big.bmp"}, 0, "big", kYes, "Tavorensia0",
       "big.bmp already exists. Do you want to replace it?", "", {"big.bmp"}, "big.bmp"},
      {"extension typed: none added", {"big.bmp"}, 0, "big.bmp", kYes, "Tavorensia0",
       "big.bmp already exists. Do you want to replace it?", "", {"big.bmp"}, "big.bmp"},
      {"extension in capitals", {}, 0, "Shot.BMP", kNone, "Tavorensia0", "", "", {"Shot.BMP"}, "Shot.BMP"},
      {"another extension gets .bmp", {}, 0, "a.b", kNone, "Tavorensia0", "", "", {"a.b.bmp"}, "a.b.bmp"},
      {"250 bytes typed", {}, 0, w250, kNone, "Tavorensia0", "", "", {w250 + ".bmp"}, nullptr},
      {"255 bytes with the extension", {}, 0, w251, kNone, "Tavorensia0", "", "", {w251 + ".bmp"}, nullptr},
      {"longer than the file system allows", {}, 0, w252, kNone, "Tavorensia0", "",
       "Cannot create file " + w252 + ".bmp", {}, nullptr},
      {"a folder of that name", {"sub.bmp/"}, 0, "sub", kNone, "Tavorensia0", "", "Cannot create file sub.bmp",
       {"sub.bmp"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    const std::string pics = box.Folder("pics");
    for (const auto& f : c.before) {
      if (f.back() == '/')
        fs::create_directory(fs::path(pics) / f);
      else
        Touch(fs::path(pics) / f, "old");
    }
    box.StoreString("Path_Wall", pics);
    Owner owner;
    owner.count = c.count;
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    EXPECT_EQ(dlg.Edit, c.offered);
    if (!c.typed.empty()) dlg.Edit = c.typed;
    const std::string typed = dlg.Edit;
    std::string error;
    try {
      dlg.OKBtnClick();
      EXPECT_EQ(dlg.ReplaceQuestion(), c.question);
      if (c.answer == kYes) dlg.ReplaceYesClick();
      if (c.answer == kNo) dlg.ReplaceNoClick();
    } catch (const tav::EFCreateError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(dlg.ReplaceQuestion().empty());
    const bool saved = c.error.empty() && c.answer != kNo;
    EXPECT_EQ(dlg.Visible(), !saved);
    EXPECT_EQ(owner.count, c.count + (saved ? 1 : 0));
    EXPECT_EQ(owner.handBacks, saved ? 1 : 0);
    if (!saved) {
      EXPECT_EQ(dlg.Edit, typed);  // the name stays for another try
    }
    std::vector<std::string> after;
    for (const auto& e : fs::directory_iterator(pics)) after.push_back(e.path().filename().string());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, c.after);  // no temporary file left behind either
    for (const auto& f : c.after) {
      if (fs::is_directory(fs::path(pics) / f)) continue;
      const bool isWallpaper = c.written ? f == c.written : saved && f.rfind("ww", 0) == 0;
      EXPECT_EQ(fs::file_size(fs::path(pics) / f), isWallpaper ? 54u + 24u * 4u : 3u) << f;
    }
  }
}

TEST(SaveWallpaperDialog, ClickedFileIsSavedUnderItsOwnNameAfterAsking) {
  Sandbox box;
  const std::string pics = box.Folder("pics");
  Touch(fs::path(pics) / "Tavorensia0.bmp", "old");
  Touch(fs::path(pics) / "B.BMP");
  Touch(fs::path(pics) / "notes.txt");
  fs::create_directories(fs::path(pics) / "sub.bmp");
  box.StoreString("Path_Wall", pics);
  Owner owner;
  TOKRightDlg dlg(owner, {"/"});
  dlg.FormCreate();
  EXPECT_EQ(dlg.Files(), (std::vector<std::string>{"B.BMP", "Tavorensia0.bmp"}));
  dlg.ClickFile(1);
  EXPECT_EQ(dlg.Edit, "Tavorensia0.bmp");
  EXPECT_TRUE(dlg.SelectEditText);
  dlg.OKBtnClick();
  EXPECT_EQ(dlg.ReplaceQuestion(), "Tavorensia0.bmp already exists. Do you want to replace it?");
  EXPECT_EQ(fs::file_size(fs::path(pics) / "Tavorensia0.bmp"), 3u);
  dlg.ReplaceYesClick();
  EXPECT_EQ(fs::file_size(fs::path(pics) / "Tavorensia0.bmp"), 54u + 24u * 4u);
  EXPECT_FALSE(fs::exists(fs::path(pics) / "Tavorensia0.bmp.bmp"));
  EXPECT_FALSE(dlg.Visible());
}

TEST(SaveWallpaperDialog, FullPathInTheNameIsUsedAsTyped) {
  Sandbox box;
  const std::string pics = box.Folder("pics");
  const std::string elsewhere = box.Folder("elsewhere");
  box.StoreString("Path_Wall", box.Folder("stored"));
  Owner owner;
  TOKRightDlg dlg(owner, {"/"});
  dlg.FormCreate();
  dlg.SetDirectory(pics);
  dlg.Edit = elsewhere + "/wall";
  dlg.OKBtnClick();
  EXPECT_TRUE(fs::exists(fs::path(elsewhere) / "wall.bmp"));
  EXPECT_TRUE(fs::is_empty(pics));
  EXPECT_EQ(box.String("Path_Wall"), pics);  // the folder shown, not the one typed
}

TEST(SaveWallpaperDialog, MissingStoredFolderStaysOnTheCurrentFolder) {
  Sandbox box;
  const std::string here = box.Folder("here");
  fs::current_path(here);
  box.StoreString("Path_Wall", (box.Root() / "gone").string());
  Owner owner;
  TOKRightDlg dlg(owner, {"/"});
  dlg.FormCreate();
  EXPECT_EQ(dlg.Directory(), here);
  dlg.OKBtnClick();
  EXPECT_TRUE(fs::exists(fs::path(here) / "Tavorensia0.bmp"));
  EXPECT_EQ(box.String("Path_Wall"), here);
}

TEST(SaveWallpaperDialog, CancelAndCloseWriteNothing) {
  for (auto way : {&TOKRightDlg::CancelBtnClick, &TOKRightDlg::FormClose}) {
    Sandbox box;
    const std::string pics = box.Folder("pics");
    const std::string other = box.Folder("other");
    box.StoreString("Path_Wall", pics);
    Owner owner;
    TOKRightDlg dlg(owner, {"/"});
    dlg.FormCreate();
    dlg.SetDirectory(other);
    (dlg.*way)();
    EXPECT_FALSE(dlg.Visible());
    EXPECT_EQ(owner.handBacks, 1);
    EXPECT_EQ(owner.count, 0);
    EXPECT_EQ(box.String("Path_Wall"), pics);
    EXPECT_TRUE(fs::is_empty(other));
  }
}

TEST(SaveWallpaperDialog, FolderAndDriveListsFollowEachOther) {
  Sandbox box;
  const std::string drive = box.Folder("drive");
  const std::string deep = box.Folder("drive/a/b");
  box.Folder("drive/a/c");
  box.Folder("drive/a/.hidden");
  box.StoreString("Path_Wall", (fs::path(drive) / "a").string());
  fs::current_path(drive);  // so "/" has not been visited
  Owner owner;
  TOKRightDlg dlg(owner, {"/", drive});
  dlg.FormCreate();
  ASSERT_EQ(dlg.DriveIndex(), 1);
  // Ancestors from the drive's root, the folder, then its subfolders.
  const std::string a = drive + "/a";
  EXPECT_EQ(dlg.DirectoryItems(), (std::vector<std::string>{drive, a, a + "/b", a + "/c"}));
  EXPECT_EQ(dlg.DirectoryItemIndex(), 1);
  dlg.OpenDirectoryItem(2);
  EXPECT_EQ(dlg.Directory(), deep);
  EXPECT_EQ(Cwd(), deep);
  EXPECT_EQ(dlg.Edit, "*.bmp");

  dlg.SelectDrive(0);
  EXPECT_EQ(dlg.DriveIndex(), 0);
  EXPECT_EQ(dlg.Directory(), "/");
  dlg.SelectDrive(1);  // back where it was on that drive
  EXPECT_EQ(dlg.Directory(), deep);
  EXPECT_FALSE(dlg.SetDirectory(drive + "/nothing"));
  EXPECT_EQ(dlg.Directory(), deep);
}

}  // namespace
