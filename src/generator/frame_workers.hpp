#pragma once
// A helper thread that stays for the life of its owner and shares the chunks
// of one job with the calling thread: no thread is started per frame. The
// caller claims chunks from the front, the helper from the back, so a helper
// that wakes late (the machine is busy) only means the caller does more of
// the work itself. Claiming from both ends also keeps the two threads apart
// while they write: neighbouring chunks draw neighbouring rings, whose pixels
// share cache lines, and two cores writing the same lines at once stall each
// other (a frame took 1.7 times as long when both claimed from one end).
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tav::fastgen {

class FrameWorkers {
 public:
  // helpers: 1 to use a second core, 0 to run everything on the caller.
  explicit FrameWorkers(int helpers = DefaultHelpers());
  ~FrameWorkers();
  FrameWorkers(const FrameWorkers&) = delete;
  FrameWorkers& operator=(const FrameWorkers&) = delete;

  // Calls fn(ctx, i) once for every chunk i in 0 .. chunks - 1, on the caller
  // and the helper, and returns when all calls have returned. Chunks must
  // not depend on one another. Not reentrant: one job at a time.
  using ChunkFn = void (*)(void* ctx, std::size_t chunk);
  void Run(std::size_t chunks, ChunkFn fn, void* ctx);

  // The same with any callable taking the chunk index.
  template <typename F>
  void Run(std::size_t chunks, F& f) {
    Run(chunks, [](void* c, std::size_t i) { (*static_cast<F*>(c))(i); }, &f);
  }

  int Helpers() const { return helper_.joinable() ? 1 : 0; }
  // 1 when the machine has at least two hardware threads, else 0.
  static int DefaultHelpers();

 private:
  void HelperLoop();
  // Takes the next unclaimed chunk from the front or the back of the job.
  bool Claim(bool fromBack, std::size_t& chunk);
  // Claims and runs chunks of the current job until none is left.
  void Drain(bool fromBack);

  // Job: generation (high 16 bits), first unclaimed chunk (middle 24), one
  // past the last unclaimed chunk (low 24).
  static constexpr int kNextBits = 24;
  static constexpr uint64_t kMask = (uint64_t{1} << kNextBits) - 1;
  std::atomic<uint64_t> ticket_{0};
  std::atomic<uint32_t> done_{0};  // chunks of the current job finished
  uint32_t count_ = 0;             // chunks of the current job
  // The helper sleeps on wake_ between jobs; the caller sleeps on finished_
  // when the helper still runs a chunk after the caller ran out of chunks.
  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  uint32_t jobs_ = 0;  // bumped per job, under mutex_
  bool stop_ = false;  // under mutex_
  ChunkFn fn_ = nullptr;
  void* ctx_ = nullptr;
  uint64_t generation_ = 0;
  std::thread helper_;
};

}  // namespace tav::fastgen
