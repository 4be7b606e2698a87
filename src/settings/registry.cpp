#include "settings/registry.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <system_error>
#include <vector>

#include "display/atomic_file.hpp"
#include "settings/hive.hpp"

namespace tav {
namespace fs = std::filesystem;

namespace {

// Larger than any hive this program writes by far; a bigger file is not ours.
constexpr off_t kMaxHiveBytes = 16 << 20;

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

// "\Software\Tavorensia\" -> "HKEY_CURRENT_USER\Software\Tavorensia"
std::string FullKeyPath(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  std::string path(kCurrentUserRoot);
  if (!key.empty()) {
    path += '\\';
    path += key;
  }
  return path;
}

// Ok with lines skipped: what could be read is there, the rest is not.
enum class LoadResult { Ok, Missing, Damaged, Unreadable };

// Each skipped line is reported once a process, not at every read.
void ReportSkipped(const fs::path& path, const std::vector<SkippedLine>& skipped) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  const std::lock_guard lock(mutex);
  for (const SkippedLine& line : skipped) {
    std::string key = path.string() + ':' + std::to_string(line.number) + ':' + line.text;
    if (!reported.insert(std::move(key)).second) continue;
    std::fprintf(stderr, "tavorensia: %s line %zu is skipped (%s): %s\n", path.c_str(), line.number,
                 line.why.c_str(), line.text.c_str());
  }
}

LoadResult LoadHive(const fs::path& path, Hive& out, bool* linesSkipped = nullptr) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? LoadResult::Missing : LoadResult::Unreadable;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LoadResult::Unreadable;
  if (!S_ISREG(st.st_mode) || st.st_size > kMaxHiveBytes) return LoadResult::Damaged;
  std::string text;
  char buf[65536];
  while (true) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LoadResult::Unreadable;
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > static_cast<std::size_t>(kMaxHiveBytes)) return LoadResult::Damaged;
  }
  std::vector<SkippedLine> skipped;
  auto hive = ParseHive(text, &skipped);
  if (!hive) return LoadResult::Damaged;
  ReportSkipped(path, skipped);
  if (linesSkipped) *linesSkipped = !skipped.empty();
  out = std::move(*hive);
  return LoadResult::Ok;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool CopyFileExclusive(const std::string& from, const std::string& to, bool& exists) {
  exists = false;
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) {
    exists = errno == EEXIST;
    return false;
  }
  char buf[65536];
  while (true) {
    const ssize_t n = ::read(in.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    if (!WriteAll(out.get(), buf, static_cast<std::size_t>(n))) return false;
  }
  return ::fsync(out.get()) == 0;
}

// Keeps a damaged hive beside it as registry.reg.damaged (or .damaged.N when
// that name is taken by an earlier one), so replacing it loses nothing.
bool PreserveDamaged(const fs::path& hive) {
  const std::string from = hive.string();
  for (int n = 0; n < 1000; ++n) {
    std::string to = from + ".damaged";
    if (n > 0) {
      to += '.';
      to += std::to_string(n);
    }
    if (::link(from.c_str(), to.c_str()) == 0) return true;
    if (errno == EEXIST) {
      if (SameFile(from, to)) return true;  // kept already by an earlier attempt
      continue;
    }
    // No hard links on this file system: copy instead.
    bool exists = false;
    if (CopyFileExclusive(from, to, exists)) return true;
    if (!exists) {
      ::unlink(to.c_str());
      return false;
    }
  }
  return false;
}

// What failed, and why: "cannot create <file>: <the system's reason>".
std::string Failure(const char* what, const std::string& file, int error) {
  return std::string(what) + " " + file + ": " + std::strerror(error);
}

bool EnsureFolder(const fs::path& folder, std::string& why) {
  if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
    if (fs::is_directory(folder)) return true;
    why = Failure("cannot create folder", folder.string(), ENOTDIR);
    return false;
  }
  if (errno != ENOENT) {
    why = Failure("cannot create folder", folder.string(), errno);
    return false;
  }
  std::error_code ec;
  fs::create_directories(folder.parent_path(), ec);
  if (ec) {
    why = "cannot create folder " + folder.parent_path().string() + ": " + ec.message();
    return false;
  }
  if ((::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) && fs::is_directory(folder)) return true;
  why = Failure("cannot create folder", folder.string(), errno == EEXIST ? ENOTDIR : errno);
  return false;
}

// Read-modify-write of the whole hive under an exclusive lock. The new text
// goes to a temporary file in the same folder, is flushed to disk and then
// renamed over the hive, so a crash leaves either the old or the new file.
// Gives the hive as written, or nullopt when nothing could be written;
// why then names the file and the reason.
std::optional<Hive> ModifyHive(const fs::path& path, const std::function<void(Hive&)>& change, std::string& why) {
  const fs::path folder = path.parent_path();
  if (!EnsureFolder(folder, why)) return std::nullopt;
  const std::string lockName = path.string() + ".lock";
  Fd lock(::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) {
    why = Failure("cannot create", lockName, errno);
    return std::nullopt;
  }
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      why = Failure("cannot lock", lockName, errno);
      return std::nullopt;
    }
  }

  Hive hive;
  bool skipped = false;
  switch (LoadHive(path, hive, &skipped)) {
    case LoadResult::Ok:
      // The lines left out are kept in the copy, not lost.
      if (skipped && !PreserveDamaged(path)) {
        why = Failure("cannot keep a copy of the damaged", path.string(), errno);
        return std::nullopt;
      }
      break;
    case LoadResult::Missing:
      break;
    case LoadResult::Damaged:
      if (!PreserveDamaged(path)) {
        why = Failure("cannot keep a copy of the damaged", path.string(), errno);
        return std::nullopt;
      }
      hive = Hive{};
      break;
    case LoadResult::Unreadable:
      why = "cannot read " + path.string();
      return std::nullopt;  // never replace what we could not read
  }
  change(hive);
  const std::string text = WriteHive(hive);

  switch (WriteFileAtomically(path.string(), text.data(), text.size(), 0600)) {
    case AtomicWrite::Done: return hive;
    case AtomicWrite::NotCreated: why = Failure("cannot create a new file in", folder.string(), errno); break;
    case AtomicWrite::NotWritten: why = Failure("cannot write", path.string(), errno); break;
    case AtomicWrite::NotRenamed: why = Failure("cannot replace", path.string(), errno); break;
  }
  return std::nullopt;
}

// The message of format for the value name, and after it why, when known.
[[noreturn]] void Fail(const char* format, const std::string& name, const std::string& why = {}) {
  std::string message(format);
  message.replace(message.find("%s"), 2, name);
  if (!why.empty()) message += ": " + why;
  throw ERegistryException(message);
}

constexpr const char* kGetFailed = "Failed to get data for '%s'";
constexpr const char* kInvalidType = "Invalid data type for '%s'";
constexpr const char* kSetFailed = "Failed to set data for '%s'";

}  // namespace

fs::path DefaultHivePath() {
  fs::path base;
  // Relative values are to be ignored, as the XDG base-directory rules say.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else {
    base = fs::path(HomeFolder()) / ".config";
  }
  return base / "tavorensia" / "registry.reg";
}

struct Registry::Impl {
  fs::path hive;
  std::string key;  // full path of the open key
  bool open = false;
  bool damaged = false;  // as OpenKey found the file
  std::string writeError;  // why the last write failed
  HiveKey values;   // the open key as last read or written

  void Take(const Hive& h) {
    const HiveKey* k = h.FindKey(key);
    values = k ? *k : HiveKey{key, {}};
  }
  void Write(const std::string& name, const std::function<void(HiveKey&)>& change) {
    if (!open) Fail(kSetFailed, name);
    const auto written = ModifyHive(hive, [&](Hive& h) { change(h.FindOrAddKey(key)); }, writeError);
    if (!written) Fail(kSetFailed, name, writeError);
    Take(*written);
  }
};

Registry::Registry(fs::path hive) : impl_(new Impl) { impl_->hive = std::move(hive); }
Registry::~Registry() { delete impl_; }

bool Registry::OpenKey(const std::string& key, bool canCreate) {
  CloseKey();
  impl_->key = FullKeyPath(key);
  Hive hive;
  bool skipped = false;
  const LoadResult loaded = LoadHive(impl_->hive, hive, &skipped);
  impl_->damaged = skipped || loaded == LoadResult::Damaged || loaded == LoadResult::Unreadable;
  if (loaded == LoadResult::Ok && hive.KeyExists(impl_->key)) {
    impl_->Take(hive);
    impl_->open = true;
    return true;
  }
  if (!canCreate) return false;
  const auto written = ModifyHive(impl_->hive, [&](Hive& h) {
    if (!h.KeyExists(impl_->key)) h.FindOrAddKey(impl_->key);
  }, impl_->writeError);
  if (!written) return false;
  impl_->Take(*written);
  impl_->open = true;
  return true;
}

void Registry::CloseKey() {
  impl_->open = false;
  impl_->values = {};
}

bool Registry::HiveDamaged() const { return impl_->damaged; }

const std::string& Registry::WriteError() const { return impl_->writeError; }

bool Registry::ValueExists(const std::string& name) const {
  return impl_->open && FindValue(impl_->values, name) != nullptr;
}

int32_t Registry::ReadInteger(const std::string& name) {
  if (!impl_->open) Fail(kGetFailed, name);
  const HiveEntry* e = FindValue(impl_->values, name);
  if (!e) Fail(kGetFailed, name);
  if (KindOf(e->data) != ValueKind::Dword) Fail(kInvalidType, name);
  const auto v = DecodeDword(e->data);
  if (!v) Fail(kGetFailed, name);
  return static_cast<int32_t>(*v);
}

std::string Registry::ReadString(const std::string& name) {
  if (!impl_->open) Fail(kGetFailed, name);
  const HiveEntry* e = FindValue(impl_->values, name);
  if (!e) return {};
  if (KindOf(e->data) != ValueKind::String) Fail(kInvalidType, name);
  auto s = DecodeString(e->data);
  if (!s) Fail(kGetFailed, name);
  return std::move(*s);
}

void Registry::WriteInteger(const std::string& name, int32_t value) {
  const std::string data = EncodeDword(static_cast<uint32_t>(value));
  impl_->Write(name, [&](HiveKey& k) { SetValue(k, name, data); });
}

void Registry::WriteString(const std::string& name, const std::string& value) {
  const auto data = EncodeString(value);
  if (!data) Fail(kSetFailed, name);
  impl_->Write(name, [&](HiveKey& k) { SetValue(k, name, *data); });
}

bool Registry::DeleteValue(const std::string& name) {
  if (!impl_->open) return false;
  bool removed = false;
  const auto written = ModifyHive(impl_->hive, [&](Hive& h) {
    if (HiveKey* k = h.FindKey(impl_->key)) removed = RemoveValue(*k, name);
  }, impl_->writeError);
  if (!written) return false;
  impl_->Take(*written);
  return removed;
}

}  // namespace tav
