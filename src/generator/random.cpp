#include "generator/random.hpp"

#include <chrono>
#include <ctime>

namespace tav {

void RandomGenerator::Randomize() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  Randomize(static_cast<uint32_t>(local.tm_hour), static_cast<uint32_t>(local.tm_min),
            static_cast<uint32_t>(local.tm_sec), static_cast<uint32_t>(ms));
}

}  // namespace tav
