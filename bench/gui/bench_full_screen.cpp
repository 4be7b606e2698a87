// The full-screen mode as it runs: the real form and event loop for 10 s on
// the X server in DISPLAY (Xvfb will do), counting the frames it presents,
// the time each frame takes and how evenly they come (mean and standard
// deviation of the interval from one frame to the next). Settings come from
// a hive of its own: Satiation 100, or the first-run defaults (argument -1).
//   Xvfb :9 -screen 0 1024x768x24 & DISPLAY=:9 build/bench/bench_full_screen
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/application.hpp"
#include "settings/settings_store.hpp"
#include "modes/full_screen_form.hpp"

namespace {

Uint32 PushQuit(Uint32, void*) {
  SDL_Event e{};
  e.type = SDL_QUIT;
  SDL_PushEvent(&e);
  return 0;
}

// Points XDG_CONFIG_HOME at a fresh folder whose hive holds the given
// Satiation and Rands (a negative Satiation: no settings yet, so the saver
// starts from its first-run defaults). Returns the folder, or an empty string
// after reporting why the run cannot go on.
std::string PrivateHive(benchmark::State& state, int64_t satiation, int32_t rands) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs an X server in DISPLAY");
    return {};
  }
  char dir[] = "/tmp/tav-bench-XXXXXX";
  if (!mkdtemp(dir)) {
    state.SkipWithError("no temp folder");
    return {};
  }
  setenv("XDG_CONFIG_HOME", dir, 1);
  if (satiation >= 0) {
    tav::Settings s;
    s.Fast = 20;
    s.Bright = 2;
    s.Satiation = static_cast<int32_t>(satiation);
    s.Picture = 25;
    s.Color = 5;
    s.Rands = rands;
    tav::SaveSettings(s);
  }
  return dir;
}

void FullScreenLoop(benchmark::State& state) {
  const std::string dir = PrivateHive(state, state.range(0), 1);
  if (dir.empty()) return;
  int frames = 0;
  double frameSeconds = 0;
  double seconds = 0;
  int intervals = 0;
  double intervalSum = 0, intervalSquares = 0;  // ms
  for (auto _ : state) {
    tav::Application app(tav::kApplicationTitle);
    tav::TForm1 form(app);
    auto tick = form.DXTimer.OnTimer;
    std::chrono::steady_clock::time_point last{};
    form.DXTimer.OnTimer = [&](tav::TDXTimer& t, uint32_t lag) {
      const auto start = std::chrono::steady_clock::now();
      if (frames > 0) {
        const double ms = std::chrono::duration<double, std::milli>(start - last).count();
        ++intervals;
        intervalSum += ms;
        intervalSquares += ms * ms;
      }
      last = start;
      tick(t, lag);
      frameSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      ++frames;
    };
    app.SetMainWindow(form.Window(), [&form](const SDL_Event& e) {
      if (e.type != SDL_KEYDOWN && e.type != SDL_MOUSEMOTION) form.HandleEvent(e);
    });
    SDL_AddTimer(10000, PushQuit, nullptr);
    const auto start = std::chrono::steady_clock::now();
    app.Run();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["satiation"] = form.settings.Satiation;
    state.counters["field_w"] = form.generator.FieldBitmap().Width();
    state.counters["field_h"] = form.generator.FieldBitmap().Height();
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["frames_per_s"] = frames / seconds;
  state.counters["ms_per_frame"] = frames ? 1000.0 * frameSeconds / frames : 0;
  const double mean = intervals ? intervalSum / intervals : 0;
  state.counters["interval_ms"] = mean;
  state.counters["interval_sd_ms"] =
      intervals ? std::sqrt(std::max(0.0, intervalSquares / intervals - mean * mean)) : 0;
  state.counters["peak_rss_MiB"] = usage.ru_maxrss / 1024.0;
  std::filesystem::remove_all(dir);
}
// The display's share of a frame: fill, load and flip of a rendered field
// (blur included where the settings call for it), without the renderer.
void FullScreenPresent(benchmark::State& state) {
  const std::string dir = PrivateHive(state, state.range(0), 0);
  if (dir.empty()) return;
  tav::Application app(tav::kApplicationTitle);
  tav::TForm1 form(app);
  form.generator.FrameTick();
  // A copy of the frame, blurred again each time as a tick would blur it.
  tav::TDIB field = form.generator.FieldBitmap();
  for (auto _ : state) {
    if (form.generator.NeedsBoxBlur()) field.BoxBlur(24, 1);
    form.DXDraw.Surface().Fill(0);
    form.DXDraw.Surface().LoadFromBitmap(field);
    form.DXDraw.Flip();
  }
  state.counters["field_w"] = form.generator.FieldBitmap().Width();
  std::filesystem::remove_all(dir);
}
BENCHMARK(FullScreenPresent)->Arg(100)->Arg(80)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(FullScreenLoop)->Arg(100)->Arg(-1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
