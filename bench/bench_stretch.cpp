// The software present path's share of a frame: one field bitmap written,
// stretched, into a screen-sized 32-bit framebuffer.
//   build/bench/bench_stretch
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "display/stretch.hpp"

namespace {

using O = tav::TDXDrawOption;

void Stretch(benchmark::State& state) {
  const int srcW = static_cast<int>(state.range(0)), srcH = static_cast<int>(state.range(1));
  const int dstW = static_cast<int>(state.range(2)), dstH = static_cast<int>(state.range(3));
  tav::TDIB frame;
  frame.SetBitCount(24);
  frame.SetSize(srcW, srcH);
  std::mt19937 rng(1);
  for (int y = 0; y < srcH; ++y)
    for (int x = 0; x < srcW * 3; ++x) frame.ScanLine(y)[x] = static_cast<uint8_t>(rng());
  std::vector<uint32_t> screen(static_cast<size_t>(dstW) * dstH);
  const tav::PixelTarget target{reinterpret_cast<uint8_t*>(screen.data()), dstW * 4, dstW, dstH, tav::kXrgb8888};
  tav::FrameStretcher stretcher;
  for (auto _ : state) {
    stretcher.Draw(frame, {O::doStretch}, target);
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * dstW * dstH * 4);
}
BENCHMARK(Stretch)
    ->Args({457, 343, 1920, 1080})
    ->Args({640, 480, 1920, 1080})
    ->Args({457, 343, 3840, 2160})
    ->Args({640, 480, 3840, 2160})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
