#include "generator/zero_buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace tav {

void* MapZeroed(std::size_t bytes, std::size_t& mappedBytes) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t body = (bytes + page - 1) / page * page;
  mappedBytes = body + 2 * page;
  // Reserve guard + body + guard without access, then open the body. Fresh
  // anonymous pages read as zero and take memory only when first written.
  void* base = mmap(nullptr, mappedBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                    -1, 0);
  if (base == MAP_FAILED) throw std::bad_alloc();
  char* data = static_cast<char*>(base) + page;
  if (body != 0 && mprotect(data, body, PROT_READ | PROT_WRITE) != 0) {
    munmap(base, mappedBytes);
    throw std::bad_alloc();
  }
  return data;
}

void UnmapZeroed(void* data, std::size_t mappedBytes) {
  if (!data) return;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  munmap(static_cast<char*>(data) - page, mappedBytes);
}

void PrefaultForWriting(void* data, std::size_t bytes) {
  if (bytes == 0) return;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(data) / page * page;
  const auto end = reinterpret_cast<std::uintptr_t>(data) + bytes;
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

}  // namespace tav
