// Bitmap operations on the largest field the full-screen mode uses.
#include <benchmark/benchmark.h>

#include "display/dib.hpp"

namespace {

tav::TDIB Field(int w, int h) {
  tav::TDIB d;
  d.SetBitCount(24);
  d.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = d.ScanLine(y);
    for (int x = 0; x < w * 3; ++x) row[x] = static_cast<uint8_t>(x * 7 + y * 13);
  }
  return d;
}

void BM_BoxBlur(benchmark::State& state) {
  tav::TDIB d = Field(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    d.BoxBlur(24, 1);
    benchmark::DoNotOptimize(d.Bits());
  }
}
BENCHMARK(BM_BoxBlur)->Args({370, 277})->Args({640, 480});

void BM_DrawScaled(benchmark::State& state) {
  const tav::TDIB src = Field(400, 300);
  tav::TDIB dst;
  dst.SetBitCount(24);
  dst.SetSize(1600, 1200);
  for (auto _ : state) {
    dst.DrawScaled({0, 0, 1600, 1200}, src);
    benchmark::DoNotOptimize(dst.Bits());
  }
}
BENCHMARK(BM_DrawScaled);

}  // namespace
