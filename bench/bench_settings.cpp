// The settings store on the hive file: a load that finds its settings (reads
// only), a first run (eight locked, flushed rewrites), and "Save Settings".
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "settings/settings_store.hpp"

namespace {

namespace fs = std::filesystem;

class ConfigDir {
 public:
  ConfigDir() {
    std::string pattern = (fs::temp_directory_path() / "tav-bench-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  ~ConfigDir() { fs::remove_all(root_); }
  void Clear() const { fs::remove_all(root_ / "tavorensia"); }

 private:
  fs::path root_;
};

void BM_LoadStoredSettings(benchmark::State& state) {
  ConfigDir dir;
  tav::SaveSettings(tav::Settings{20, 2, 80, 25, 0, 5, 1, ""});
  tav::RandomGenerator rng(1);
  for (auto _ : state) {
    tav::Settings s;
    (void)tav::LoadFullScreenSettings(s, rng);
    benchmark::DoNotOptimize(s.Picture);
  }
}
BENCHMARK(BM_LoadStoredSettings);

void BM_FirstRunLoad(benchmark::State& state) {
  ConfigDir dir;
  tav::RandomGenerator rng(1);
  for (auto _ : state) {
    state.PauseTiming();
    dir.Clear();
    state.ResumeTiming();
    tav::Settings s;
    (void)tav::LoadFullScreenSettings(s, rng);
    benchmark::DoNotOptimize(s.Picture);
  }
}
BENCHMARK(BM_FirstRunLoad)->Unit(benchmark::kMillisecond);

void BM_SaveSettings(benchmark::State& state) {
  ConfigDir dir;
  const tav::Settings s{20, 2, 80, 25, 0, 5, 1, ""};
  for (auto _ : state) tav::SaveSettings(s);
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

}  // namespace
