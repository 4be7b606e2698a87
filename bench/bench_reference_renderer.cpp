// One frame of the reference renderer in the full-screen instance, at the
// full-screen defaults and at the largest field.
#include <benchmark/benchmark.h>

#include "generator/settings.hpp"
#include "generator/generator.hpp"
#include "generator/reference_renderer.hpp"

namespace {

// state.range: Satiation, Picture, Blur.
void BM_ReferenceFrame(benchmark::State& state) {
  tav::Settings settings;
  settings.Fast = 20;
  settings.Satiation = static_cast<int32_t>(state.range(0));
  settings.Picture = static_cast<int32_t>(state.range(1));
  settings.Blur = static_cast<int32_t>(state.range(2));
  settings.Color = 5;
  tav::RandomGenerator random(1);
  tav::PatternGenerator gen(tav::GeneratorShape::FullScreen, settings, random);
  gen.SetupFullScreen();
  for (auto _ : state) {
    tav::RenderReference(gen.NextFrame());
    benchmark::ClobberMemory();
  }
  state.counters["points"] = gen.PointsPerFrame();
  state.SetItemsProcessed(state.iterations() * gen.PointsPerFrame());
}
BENCHMARK(BM_ReferenceFrame)
    ->ArgNames({"satiation", "picture", "blur"})
    ->Args({80, 25, 0})     // full-screen defaults
    ->Args({100, 75, 100})  // the largest field, chained formulas, modulation
    ->Args({30, 25, 0})     // coarse tiles
    ->Unit(benchmark::kMillisecond);

// The whole tick: renderer, plane copy and blur.
void BM_FrameTick(benchmark::State& state) {
  tav::Settings settings;
  settings.Fast = 20;
  settings.Satiation = static_cast<int32_t>(state.range(0));
  settings.Picture = 25;
  settings.Color = 5;
  tav::RandomGenerator random(1);
  tav::PatternGenerator gen(tav::GeneratorShape::FullScreen, settings, random);
  gen.SetupFullScreen();
  for (auto _ : state) {
    gen.FrameTick();
    benchmark::DoNotOptimize(gen.FieldBitmap().Bits());
  }
}
BENCHMARK(BM_FrameTick)->ArgName("satiation")->Arg(80)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
