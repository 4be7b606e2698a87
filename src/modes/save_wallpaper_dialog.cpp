#include "modes/save_wallpaper_dialog.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "settings/settings_store.hpp"
#include "display/dib.hpp"

namespace tav {
namespace fs = std::filesystem;

namespace {

// Mount points in the mount table escape blanks and backslashes as \ooo.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

// True when path is root itself or lies below it.
bool IsUnder(const std::string& path, const std::string& root) {
  if (root == "/") return !path.empty() && path[0] == '/';
  if (path.compare(0, root.size(), root) != 0) return false;
  return path.size() == root.size() || path[root.size()] == '/';
}

bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.size() > prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// An absolute path without "." or "..", and without a trailing slash.
std::string NormalFolder(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec);
  if (ec) p = fs::path(path);
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

bool EndsWithNoCase(const std::string& s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) !=
        std::tolower(static_cast<unsigned char>(suffix[i])))
      return false;
  }
  return true;
}

// A name taken, by a file or by anything else (a dangling link too).
bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

}  // namespace

std::vector<std::string> SaveDriveRoots(std::string_view mounts, const std::string& home) {
  std::vector<std::string> all;
  std::istringstream in{std::string(mounts)};
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint)) continue;
    all.push_back(UnescapeMountField(mountPoint));
  }

  std::vector<std::string> roots;
  // The home folder's file system: the deepest mount point holding it.
  std::string homeRoot;
  const std::string homeNorm = home.empty() ? std::string() : NormalFolder(home);
  for (const auto& m : all) {
    if (!homeNorm.empty() && IsUnder(homeNorm, m) && m.size() > homeRoot.size()) homeRoot = m;
  }
  if (!homeRoot.empty() && homeRoot != "/") roots.push_back(homeRoot);
  for (const auto& m : all) {
    if (StartsWith(m, "/media/") || StartsWith(m, "/run/media/")) roots.push_back(m);
  }
  std::sort(roots.begin(), roots.end());
  roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  roots.insert(roots.begin(), "/");
  return roots;
}

std::vector<std::string> CurrentSaveDriveRoots() {
  std::ifstream in("/proc/self/mounts");
  std::ostringstream text;
  text << in.rdbuf();
  const char* home = std::getenv("HOME");
  return SaveDriveRoots(text.str(), home ? home : "");
}

bool HasReservedFileNameChar(std::string_view name) {
  return name.find_first_of("*?\"<>|") != std::string_view::npos;
}

TOKRightDlg::TOKRightDlg(WallpaperOwner& owner, std::vector<std::string> drives) : owner_(owner) {
  if (std::find(drives.begin(), drives.end(), "/") == drives.end()) drives.insert(drives.begin(), "/");
  for (auto& d : drives) drives_.push_back({d, d});
  // Until a folder is set the list shows the process's current folder.
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  SetDirectory(ec ? std::string("/") : cwd.string());
  Edit = Mask();
}

void TOKRightDlg::FormCreate() {
  std::string& pathWall = owner_.PathWall();
  LoadWallpaperPath(pathWall);  // a key that cannot be opened leaves it as it is
  if (pathWall.empty()) pathWall = DefaultPicturesFolder();
  wallpaper_ = owner_.Wallpaper();
  const WallpaperSaveChoices saved = ReadWallpaperSaveChoices();
  type_ = saved.Type == "png" ? ImageFileType::Png : ImageFileType::Bitmap;
  SetAsBackground = saved.SetBackground;
  if (WallpaperSaveChoicesStored()) savedChoices_ = saved;
  visible_ = true;
  SetDirectory(pathWall);
  Edit = offered_ = OfferedName();
  SelectEditText = false;
}

std::string TOKRightDlg::OfferedName() const {
  // A new run must not offer the file an earlier run saved.
  int32_t n = std::max(owner_.WallpaperCount(), int32_t{0});
  while (n < INT32_MAX && Exists(fs::path(directory_) / ("Tavorensia" + std::to_string(n) + Extension()))) ++n;
  return "Tavorensia" + std::to_string(n);
}

std::string TOKRightDlg::FileName() const {
  // A name taken from the file list already carries its extension.
  return ImageFileTypeOf(Edit) ? Edit : Edit + Extension();
}

void TOKRightDlg::OKBtnClick() {
  replaceQuestion_.clear();
  const std::string fileName = FileName();
  if (HasReservedFileNameChar(fileName)) {
    WritePathWall();
    throw EFCreateError("Cannot create file " + fileName);
  }
  // A folder of that name is no file to replace: the save fails on it.
  const fs::path target = fs::path(directory_) / fileName;  // a full path stays as typed
  std::error_code ec;
  if (Exists(target) && !fs::is_directory(target, ec)) {
    replaceFile_ = fileName;
    replaceQuestion_ = fileName + " already exists. Do you want to replace it?";
    return;
  }
  Save(fileName);
}

void TOKRightDlg::ReplaceYesClick() {
  if (replaceQuestion_.empty()) return;
  replaceQuestion_.clear();
  Save(replaceFile_);
}

void TOKRightDlg::ReplaceNoClick() { replaceQuestion_.clear(); }

void TOKRightDlg::WritePathWall() {
  std::string& pathWall = owner_.PathWall();
  if (directory_ != pathWall) {
    pathWall = directory_;
    WriteWallpaperPath(pathWall);
  }
}

void TOKRightDlg::Save(const std::string& fileName) {
  WritePathWall();
  // A plain name lands in the folder shown here, whatever another dialog
  // has made the current folder since.
  if (!fs::path(fileName).is_absolute() && ::chdir(directory_.c_str()) != 0)
    throw EFCreateError("Cannot create file " + fileName);
  // The next dialog offers the format this one writes; the hive says so
  // even when that is the default.
  const ImageFileType written = ImageFileTypeOf(fileName).value_or(type_);
  const WallpaperSaveChoices choices{written == ImageFileType::Png ? "png" : "bmp", SetAsBackground};
  if (choices != savedChoices_) {
    WriteWallpaperSaveChoices(choices);
    savedChoices_ = choices;
  }
  SaveImageFile(wallpaper_, fileName, written);
  visible_ = false;
  owner_.WallpaperCount() += 1;
  owner_.HandBack();
  if (!SetAsBackground) return;
  std::error_code ec;
  const std::string file = fs::absolute(fs::path(directory_) / fileName, ec).lexically_normal().string();
  const BackgroundResult set = owner_.SetDesktopBackground(file, wallpaper_);
  if (!set.ok) throw EDesktopBackground("Cannot set the desktop background: " + set.message);
  if (!set.message.empty()) throw EDesktopBackground(set.message);
}

void TOKRightDlg::CancelBtnClick() {
  replaceQuestion_.clear();
  visible_ = false;
  owner_.HandBack();
}

void TOKRightDlg::FormClose() {
  replaceQuestion_.clear();
  owner_.HandBack();
  visible_ = false;
}

int TOKRightDlg::DriveOf(const std::string& path) const {
  int best = -1;
  for (int i = 0; i < static_cast<int>(drives_.size()); ++i) {
    if (IsUnder(path, drives_[i].Root) &&
        (best < 0 || drives_[i].Root.size() > drives_[best].Root.size()))
      best = i;
  }
  return best;
}

void TOKRightDlg::SelectDrive(int index) {
  if (index < 0 || index >= static_cast<int>(drives_.size())) return;
  if (!SetDirectory(drives_[index].Folder)) {
    // The folder last visited there is gone: fall back to the drive's root.
    if (!SetDirectory(drives_[index].Root)) return;
  }
}

bool TOKRightDlg::SetDirectory(const std::string& path) {
  if (path.empty()) return false;
  const std::string folder = NormalFolder(path);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return false;
  if (::chdir(folder.c_str()) != 0) return false;
  directory_ = folder;
  driveIndex_ = DriveOf(folder);
  if (driveIndex_ >= 0) drives_[driveIndex_].Folder = folder;
  ReadDirectoryItems();
  ReadFiles();
  return true;
}

void TOKRightDlg::OpenDirectoryItem(int index) {
  if (index < 0 || index >= static_cast<int>(dirItems_.size())) return;
  SetDirectory(dirItems_[index]);
}

int TOKRightDlg::DirectoryItemDepth(int index) const {
  return index <= dirItemIndex_ ? index : dirItemIndex_ + 1;
}

void TOKRightDlg::ReadDirectoryItems() {
  dirItems_.clear();
  const std::string root = driveIndex_ >= 0 ? drives_[driveIndex_].Root : std::string("/");
  // Ancestors from the drive's root down to the folder itself.
  std::vector<std::string> chain;
  for (fs::path p(directory_);; p = p.parent_path()) {
    chain.push_back(p.string());
    if (p.string() == root || !p.has_relative_path()) break;
  }
  dirItems_.assign(chain.rbegin(), chain.rend());
  dirItemIndex_ = static_cast<int>(dirItems_.size()) - 1;

  std::vector<std::string> subs;
  std::error_code ec;
  for (fs::directory_iterator it(directory_, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code ec2;
    if (name.empty() || name[0] == '.' || !it->is_directory(ec2)) continue;
    subs.push_back(name);
  }
  std::sort(subs.begin(), subs.end(), LessNoCase);
  for (const auto& s : subs) dirItems_.push_back((fs::path(directory_) / s).string());
}

void TOKRightDlg::ReadFiles() {
  files_.clear();
  std::error_code ec;
  for (fs::directory_iterator it(directory_, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code ec2;
    if (name.empty() || name[0] == '.' || !it->is_regular_file(ec2)) continue;
    if (EndsWithNoCase(name, Extension())) files_.push_back(name);
  }
  std::sort(files_.begin(), files_.end(), LessNoCase);
  // A list read anew has no file selected, so the field shows the mask.
  Edit = Mask();
  SelectEditText = false;
}

void TOKRightDlg::SetFileType(ImageFileType type) {
  if (type == type_) return;
  const bool showsMask = Edit == Mask(), showsOffer = !offered_.empty() && Edit == offered_;
  const std::string typed = Edit;
  type_ = type;
  ReadFiles();
  if (showsOffer) {
    Edit = offered_ = OfferedName();  // free under the new extension too
  } else if (!showsMask) {
    Edit = typed;
  }
}

void TOKRightDlg::NameTyped(const std::string& text) {
  Edit = text;
  if (const auto typed = ImageFileTypeOf(text); typed && *typed != type_) SetFileType(*typed);
}

void TOKRightDlg::ClickFile(int index) {
  if (index < 0 || index >= static_cast<int>(files_.size())) return;
  Edit = files_[index];
  SelectEditText = true;
}

}  // namespace tav
