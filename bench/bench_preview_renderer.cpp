// One preview paint (renderer step plus the bitmap) at the sizes a host's
// preview area and our own pop-up have.
#include <benchmark/benchmark.h>

#include "generator/preview_renderer.hpp"

namespace {

void BM_PreviewPaint(benchmark::State& state) {
  const auto w = static_cast<int32_t>(state.range(0));
  const auto h = static_cast<int32_t>(state.range(1));
  tav::RandomGenerator random(12345);
  tav::PreviewRenderer renderer(random);
  tav::TDIB bitmap;
  for (auto _ : state) {
    renderer.PreviewPaint(w, h, bitmap);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  state.counters["points"] = static_cast<double>(renderer.PointsComputed());
}
BENCHMARK(BM_PreviewPaint)->Args({152, 112})->Args({320, 240})->Unit(benchmark::kMicrosecond);

}  // namespace
