#include "display/atomic_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tav {

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

AtomicWrite WriteFileAtomically(const std::string& fileName, const void* data, std::size_t size,
                                mode_t mode) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = fileName.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  std::string tmp;
  int fd = -1;
  // A name left behind by a process that was killed mid-write is skipped.
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tmp = folder + ".tavorensia-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) +
          ".tmp";
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return AtomicWrite::NotCreated;
  Fd out(fd);
  const bool written = WriteAll(out.get(), data, size) && ::fsync(out.get()) == 0;
  const bool closed = ::close(out.release()) == 0;
  if (!written || !closed) {
    const int why = errno;
    ::unlink(tmp.c_str());
    errno = why;
    return AtomicWrite::NotWritten;
  }
  if (::rename(tmp.c_str(), fileName.c_str()) != 0) {
    const int why = errno;
    ::unlink(tmp.c_str());
    errno = why;
    return AtomicWrite::NotRenamed;
  }
  const Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return AtomicWrite::Done;
}

}  // namespace tav
