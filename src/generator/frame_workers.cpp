#include "generator/frame_workers.hpp"

#include <stdexcept>

namespace tav::fastgen {

int FrameWorkers::DefaultHelpers() { return std::thread::hardware_concurrency() >= 2 ? 1 : 0; }

FrameWorkers::FrameWorkers(int helpers) {
  if (helpers > 0) helper_ = std::thread([this] { HelperLoop(); });
}

FrameWorkers::~FrameWorkers() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  helper_.join();
}

void FrameWorkers::Drain() {
  for (;;) {
    // The claim carries the job's generation and size, so a helper that
    // reads a newer job than it was woken for still reads a consistent one.
    const uint64_t t = ticket_.fetch_add(1, std::memory_order_acq_rel);
    const uint64_t next = t & kMask;
    const uint64_t count = (t >> kNextBits) & kMask;
    if (next >= count) return;
    // A claimed chunk keeps the job alive: Run waits for it to be done.
    fn_(ctx_, static_cast<std::size_t>(next));
    if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == count) {
      // The caller may be asleep waiting for this last chunk.
      std::lock_guard lock(mutex_);
      finished_.notify_one();
    }
  }
}

void FrameWorkers::HelperLoop() {
  std::unique_lock lock(mutex_);
  uint32_t seen = 0;
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || jobs_ != seen; });
    if (stop_) return;
    seen = jobs_;
    lock.unlock();
    Drain();
    lock.lock();
  }
}

void FrameWorkers::Run(std::size_t chunks, ChunkFn fn, void* ctx) {
  if (chunks == 0) return;
  if (chunks > kMask - 64) throw std::length_error("FrameWorkers: too many chunks");
  if (!helper_.joinable()) {
    for (std::size_t i = 0; i < chunks; ++i) fn(ctx, i);
    return;
  }
  fn_ = fn;
  ctx_ = ctx;
  done_.store(0, std::memory_order_relaxed);
  generation_ = (generation_ + 1) & 0xffff;
  ticket_.store((generation_ << (2 * kNextBits)) | (uint64_t{chunks} << kNextBits),
                std::memory_order_release);
  {
    std::lock_guard lock(mutex_);
    ++jobs_;
  }
  wake_.notify_one();
  Drain();
  // Wait for chunks the helper still runs: spin briefly, then sleep.
  const uint32_t count = static_cast<uint32_t>(chunks);
  for (int spin = 0; spin < 2000; ++spin) {
    if (done_.load(std::memory_order_acquire) == count) return;
    __builtin_ia32_pause();
  }
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return done_.load(std::memory_order_acquire) == count; });
}

}  // namespace tav::fastgen
