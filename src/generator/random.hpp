#pragma once
// The process's one pseudo-random generator: a 32-bit linear congruential
// generator. The mode that owns it seeds it and passes it to whoever draws.
#include <cstdint>

namespace tav {

class RandomGenerator {
 public:
  explicit RandomGenerator(uint32_t seed = 0) : seed_(seed) {}

  // A uniform integer in 0 .. n-1; n <= 0 gives 0.
  int32_t Random(int32_t n) {
    seed_ = seed_ * 134775813u + 1u;
    if (n <= 0) return 0;
    return static_cast<int32_t>((static_cast<uint64_t>(seed_) * static_cast<uint32_t>(n)) >> 32);
  }

  // Seeds from a time of day: ((hour*60 + minute)*60 + second)*1000 + ms.
  void Randomize(uint32_t hour, uint32_t minute, uint32_t second, uint32_t ms) {
    seed_ = ((hour * 60u + minute) * 60u + second) * 1000u + ms;
  }
  // Seeds from the local time of day now.
  void Randomize();

  uint32_t Seed() const { return seed_; }
  void SetSeed(uint32_t s) { seed_ = s; }

 private:
  uint32_t seed_;
};

}  // namespace tav
