#pragma once
// Files written complete or not at all, for the hive and for wallpapers: the
// bytes go under a temporary name in the target's folder, are flushed to
// disk and only then renamed over the target, so a crash or a full disk
// leaves the old file or the new one, never a part of either.
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace tav {

// A file descriptor of our own, closed when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd();
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// All size bytes, through short writes and interruptions.
bool WriteAll(int fd, const void* data, std::size_t size);

enum class AtomicWrite {
  Done,
  NotCreated,  // no temporary file could be made in the folder
  NotWritten,  // writing or flushing failed (a full disk); nothing changed
  NotRenamed,  // the target could not be replaced; nothing changed
};

// The temporary name is short and hidden: a target name may use the file
// system's whole limit, and a folder's file list should not show a save in
// progress. mode is the new file's (less the umask). The folder is flushed
// after the rename, so that the rename itself survives a crash. On a
// failure errno tells why.
AtomicWrite WriteFileAtomically(const std::string& fileName, const void* data, std::size_t size,
                                mode_t mode);

}  // namespace tav
