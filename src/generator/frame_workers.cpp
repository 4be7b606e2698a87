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

bool FrameWorkers::Claim(bool fromBack, std::size_t& chunk) {
  uint64_t t = ticket_.load(std::memory_order_acquire);
  for (;;) {
    const uint64_t front = (t >> kNextBits) & kMask;
    const uint64_t back = t & kMask;
    if (front >= back) return false;
    const uint64_t next = fromBack ? t - 1 : t + (uint64_t{1} << kNextBits);
    if (ticket_.compare_exchange_weak(t, next, std::memory_order_acq_rel,
                                      std::memory_order_acquire)) {
      chunk = static_cast<std::size_t>(fromBack ? back - 1 : front);
      return true;
    }
  }
}

void FrameWorkers::Drain(bool fromBack) {
  std::size_t chunk = 0;
  // The claim compares the job's generation too, so a helper that still
  // holds an old ticket cannot take a chunk of a newer job by mistake.
  while (Claim(fromBack, chunk)) {
    // A claimed chunk keeps the job alive: Run waits for it to be done, so
    // the job's function and size stay as they were when it was claimed.
    const uint32_t total = count_;  // read before the job can end
    fn_(ctx_, chunk);
    if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == total) {
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
    Drain(true);
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
  count_ = static_cast<uint32_t>(chunks);
  done_.store(0, std::memory_order_relaxed);
  generation_ = (generation_ + 1) & 0xffff;
  ticket_.store((generation_ << (2 * kNextBits)) | uint64_t{chunks}, std::memory_order_release);
  {
    std::lock_guard lock(mutex_);
    ++jobs_;
  }
  wake_.notify_one();
  Drain(false);
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
