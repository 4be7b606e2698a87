#include "generator/frame_workers.hpp"

#include <stdexcept>

namespace tav::fastgen {

int FrameWorkers::DefaultHelpers() { return std::thread::hardware_concurrency() >= 2 ? 1 : 0; }

FrameWorkers::FrameWorkers(int helpers) {
  if (helpers > 0) helper_ = std::thread([this] { HelperLoop(); });
}

FrameWorkers::~FrameWorkers() {
  if (!helper_.joinable()) return;
  stop_.store(true, std::memory_order_release);
  wake_.fetch_add(1, std::memory_order_release);
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
    if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == count) done_.notify_all();
  }
}

void FrameWorkers::HelperLoop() {
  uint32_t seen = wake_.load(std::memory_order_acquire);
  for (;;) {
    wake_.wait(seen, std::memory_order_acquire);
    seen = wake_.load(std::memory_order_acquire);
    if (stop_.load(std::memory_order_acquire)) return;
    Drain();
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
  wake_.fetch_add(1, std::memory_order_release);
  wake_.notify_one();
  Drain();
  // Wait for chunks the helper still runs: spin briefly, then sleep.
  const uint32_t count = static_cast<uint32_t>(chunks);
  for (int spin = 0; spin < 2000; ++spin) {
    if (done_.load(std::memory_order_acquire) == count) return;
    __builtin_ia32_pause();
  }
  for (uint32_t d = done_.load(std::memory_order_acquire); d != count;
       d = done_.load(std::memory_order_acquire)) {
    done_.wait(d, std::memory_order_acquire);
  }
}

}  // namespace tav::fastgen
