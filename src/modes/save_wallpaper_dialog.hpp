#pragma once
// TOKRightDlg: the save-wallpaper dialog's model. A drive list, a folder list
// and a file list of the chosen type (BMP or PNG) linked as a folder picker,
// the name field, the file-type box, and the handlers the dialog's window
// (modes/save_wallpaper_window) binds. Drawing lives in the window code; the
// handlers here are plain calls so they can be driven directly.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop_background.hpp"
#include "settings/settings_store.hpp"
#include "display/dib.hpp"
#include "display/png.hpp"

namespace tav {

// What the dialog needs of the settings window that opened it.
class WallpaperOwner {
 public:
  virtual ~WallpaperOwner() = default;
  virtual std::string& PathWall() = 0;       // the settings' Path_Wall
  virtual const TDIB& Wallpaper() const = 0;  // the rendered wallpaper
  virtual int32_t& WallpaperCount() = 0;      // wallpapers saved this run
  // PreviewRestore := 1 and the frame timer on: the preview comes back.
  virtual void HandBack() = 0;
  // Makes the saved file (an absolute path; image is its picture) the
  // desktop's background.
  virtual BackgroundResult SetDesktopBackground(const std::string& file, const TDIB& image) = 0;
};

// A place a user would save to: its mount point and the folder last visited
// on it (at first the mount point itself).
struct Drive {
  std::string Root;
  std::string Folder;
};

// The mount points of a mount table (the text of /proc/self/mounts) that a
// user would save to: the root, the file system holding home, and removable
// media under /media and /run/media. The root comes first, the rest sorted.
std::vector<std::string> SaveDriveRoots(std::string_view mounts, const std::string& home);

// SaveDriveRoots of this process's mount table and home folder.
std::vector<std::string> CurrentSaveDriveRoots();

// Characters the desktop the program was designed for refuses in file
// names; a name holding one fails as an uncreatable file.
bool HasReservedFileNameChar(std::string_view name);

class TOKRightDlg {
 public:
  static constexpr const char* kCaption = "Save Wallpaper";
  // The file type list, in the order of ImageFileType.
  static constexpr const char* kFileTypes[2] = {"Bitmap (*.bmp)", "PNG image (*.png)"};
  static constexpr const char* kSetAsBackground = "Set as desktop background";
  static constexpr int kClientWidth = 415;
  // One row more than the lists need: the file type and the background check box.
  static constexpr int kClientHeight = 260;

  // drives: mount points as SaveDriveRoots gives them.
  TOKRightDlg(WallpaperOwner& owner, std::vector<std::string> drives);

  // Reads Path_Wall, shows the dialog, opens that folder and offers
  // "Tavorensia<N>" as the name: N counts up from the wallpapers saved this
  // run to the first whose file is not in that folder yet. The wallpaper
  // rendered for this dialog is kept with it, so that it is what "Save"
  // writes even after another dialog has handed the preview back.
  void FormCreate();
  // "Save": the name field as typed when it ends in ".bmp" or ".png" (in
  // any case), written in that format; any other name gets the chosen
  // type's extension. Wall_Type remembers the format written. After a successful save with "Set as desktop
  // background" checked the file becomes the background; a failure then
  // raises EDesktopBackground (the file stays).
  // Onto an existing file it only asks (ReplaceQuestion); otherwise it saves.
  // May raise EFCreateError / EWriteError; the dialog then stays open with
  // its name.
  void OKBtnClick();      // the "Save" button (and Enter)
  void CancelBtnClick();  // the "Cancel" button (and Esc)
  void FormClose();       // the dialog's close box

  // "<name> already exists. Do you want to replace it?" while "Save" waits
  // for an answer, empty otherwise.
  const std::string& ReplaceQuestion() const { return replaceQuestion_; }
  void ReplaceYesClick();  // "Yes": saves over the file, as OKBtnClick may raise
  void ReplaceNoClick();   // "No": back to the dialog, nothing written

  // The file "Save" writes for the name field as it is now.
  std::string FileName() const;

  bool Visible() const { return visible_; }

  // The file type list: the file list's mask follows it. Choosing another
  // type re-reads the file list; a name typed in the field stays, the
  // offered name becomes the first one free under the new extension.
  ImageFileType FileType() const { return type_; }
  void SetFileType(ImageFileType type);
  const char* Mask() const { return type_ == ImageFileType::Png ? "*.png" : "*.bmp"; }
  const char* Extension() const { return type_ == ImageFileType::Png ? ".png" : ".bmp"; }

  // The "Set as desktop background" check box.
  bool SetAsBackground = false;

  // The name field.
  std::string Edit;
  // The name field as the user typed it: a name ending in ".png" or ".bmp"
  // (in any case) moves the file type along, as SetFileType does; the name
  // stays as typed.
  void NameTyped(const std::string& text);
  // True once the field's whole text should be selected (a file was clicked);
  // the window clears it after selecting.
  bool SelectEditText = false;

  // Drive list.
  const std::vector<Drive>& Drives() const { return drives_; }
  int DriveIndex() const { return driveIndex_; }
  void SelectDrive(int index);

  // Folder list: the folder shown, and the entries listed for it (the
  // folder's ancestors from its drive's root down, the folder itself, then
  // its subfolders), each a full path.
  const std::string& Directory() const { return directory_; }
  const std::vector<std::string>& DirectoryItems() const { return dirItems_; }
  int DirectoryItemIndex() const { return dirItemIndex_; }  // the folder itself
  int DirectoryItemDepth(int index) const;                  // for indenting
  // Moves the folder list to path and makes it the process's current folder.
  // A folder that does not exist or cannot be entered changes nothing; false.
  bool SetDirectory(const std::string& path);
  void OpenDirectoryItem(int index);

  // File list: names (no folder) of the shown folder's files matching the mask.
  const std::vector<std::string>& Files() const { return files_; }
  void ClickFile(int index);

 private:
  void ReadFiles();
  void WritePathWall();  // Path_Wall := the shown folder, stored when it changed
  void Save(const std::string& fileName);
  void ReadDirectoryItems();
  int DriveOf(const std::string& path) const;

  WallpaperOwner& owner_;
  std::vector<Drive> drives_;
  int driveIndex_ = -1;
  std::string directory_;
  std::vector<std::string> dirItems_;
  int dirItemIndex_ = -1;
  std::vector<std::string> files_;
  bool visible_ = false;
  TDIB wallpaper_;
  ImageFileType type_ = ImageFileType::Bitmap;
  std::optional<WallpaperSaveChoices> savedChoices_;  // as the hive holds them, when it does
  std::string offered_;                // the name FormCreate offered
  std::string OfferedName() const;
  std::string replaceQuestion_;
  std::string replaceFile_;  // the file the question is about
};

}  // namespace tav
