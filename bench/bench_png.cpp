// Writing a wallpaper as PNG, next to rendering it: the picture of
// `tavorensia-render --seed 3 --size 3840x2160 --satiation 100 --blur 50`.
#include <benchmark/benchmark.h>

#include "display/png.hpp"
#include "generator/generator.hpp"
#include "generator/large_wallpaper.hpp"
#include "generator/random.hpp"
#include "generator/settings.hpp"

namespace {

tav::TDIB Render(int width, int height) {
  tav::Settings settings;
  settings.Fast = 20;
  settings.Satiation = 100;
  settings.Picture = 25;
  settings.Blur = 50;
  settings.Color = 5;
  tav::RandomGenerator random;
  random.SetSeed(3);
  tav::PatternGenerator gen(tav::GeneratorShape::SettingsWindow, settings, random);
  gen.SetupSettingsWindow(400, 300);
  gen.PreviewTick();  // as tavorensia-render does before its wallpaper
  tav::TDIB wallpaper;
  wallpaper.SetBitCount(24);
  wallpaper.SetSize(400, 300);
  tav::RenderWallpaperOfSize(gen, width, height, wallpaper);
  return wallpaper;
}

const tav::TDIB& Picture() {
  static const tav::TDIB picture = Render(3840, 2160);
  return picture;
}

void BM_RenderWallpaper4K(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Render(3840, 2160).Bits());
}
BENCHMARK(BM_RenderWallpaper4K)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngBytes4K(benchmark::State& state) {
  const tav::TDIB& picture = Picture();
  std::size_t size = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> file = tav::PngBytes(picture);
    size = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["file_MB"] = static_cast<double>(size) / 1e6;
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(picture.Width()) * picture.Height() * 3);
}
BENCHMARK(BM_PngBytes4K)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
