#pragma once
// A fixed-capacity array of zeros whose pages cost resident memory only once
// they are written: the settings window's tables are sized for a 1600 x 1200
// wallpaper, while its live preview touches a few percent of them. Each
// buffer sits between two inaccessible guard pages, so an index that runs
// off either end faults at once instead of corrupting a neighbour.
#include <algorithm>
#include <cstddef>
#include <type_traits>

namespace tav {

// Maps `bytes` zeroed bytes between guard pages; throws std::bad_alloc when
// the address space cannot be had.
void* MapZeroed(std::size_t bytes, std::size_t& mappedBytes);
void UnmapZeroed(void* data, std::size_t mappedBytes);
// Makes the pages of [data, data + bytes) resident and writable in one
// system call, which costs less than faulting them in one by one when they
// are first written. The contents are unchanged; a kernel without the call
// leaves the pages to be faulted in as before.
void PrefaultForWriting(void* data, std::size_t bytes);

template <typename T>
class ZeroBuffer {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  ZeroBuffer() = default;
  // Maps in the body: mapped_ has its default value by then, so the size
  // MapZeroed stores there stays (in the initialiser list the default would
  // overwrite it, and the destructor would unmap nothing).
  explicit ZeroBuffer(std::size_t count) : count_(count) {
    data_ = static_cast<T*>(MapZeroed(count * sizeof(T), mapped_));
  }
  ~ZeroBuffer() { UnmapZeroed(data_, mapped_); }
  ZeroBuffer(const ZeroBuffer&) = delete;
  ZeroBuffer& operator=(const ZeroBuffer&) = delete;
  ZeroBuffer(ZeroBuffer&& o) noexcept : data_(o.data_), count_(o.count_), mapped_(o.mapped_) {
    o.data_ = nullptr;
    o.count_ = o.mapped_ = 0;
  }
  ZeroBuffer& operator=(ZeroBuffer&& o) noexcept {
    if (this != &o) {
      UnmapZeroed(data_, mapped_);
      data_ = o.data_;
      count_ = o.count_;
      mapped_ = o.mapped_;
      o.data_ = nullptr;
      o.count_ = o.mapped_ = 0;
    }
    return *this;
  }

  // Prefaults entries [first, first + count) for writing.
  void Prefault(std::size_t first, std::size_t count) {
    if (first < count_) PrefaultForWriting(data_ + first, std::min(count, count_ - first) * sizeof(T));
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return count_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  std::size_t count_ = 0;
  std::size_t mapped_ = 0;
};

}  // namespace tav
