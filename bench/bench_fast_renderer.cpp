// The fast renderer's pieces and whole frames, next to the reference.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "generator/settings.hpp"
#include "generator/color_lut.hpp"
#include "generator/color_modes.hpp"
#include "generator/fast_kernels.hpp"
#include "generator/fast_renderer.hpp"
#include "generator/generator.hpp"
#include "generator/reference_renderer.hpp"
#include "generator/random.hpp"
#include "generator/round.hpp"

namespace {

using tav::fastgen::KernelSet;

std::vector<double> Arguments(std::size_t n) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = std::sin(i * 0.37) * 40.0;
  return v;
}

void SinWith(benchmark::State& state, const KernelSet& k) {
  const std::vector<double> in = Arguments(4096);
  std::vector<double> out(in.size());
  for (auto _ : state) {
    k.sinArray(in.data(), out.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}
void BM_SinAvx2(benchmark::State& state) {
  if (!tav::fastgen::CpuHasAvx2Fma()) return state.SkipWithError("no AVX2");
  SinWith(state, tav::fastgen::Avx2Kernels());
}
void BM_SinSse2(benchmark::State& state) { SinWith(state, tav::fastgen::Sse2Kernels()); }
void BM_SinQuick(benchmark::State& state) { SinWith(state, tav::fastgen::WidestKernels(false)); }
void BM_SinScalar(benchmark::State& state) {
  const std::vector<double> in = Arguments(4096);
  std::vector<double> out(in.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < in.size(); ++i) out[i] = tav::Sin(in[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_SinAvx2);
BENCHMARK(BM_SinSse2);
BENCHMARK(BM_SinQuick);
BENCHMARK(BM_SinScalar);

void BM_PixelModeTable(benchmark::State& state) {
  tav::fastgen::PixelModeTable t;
  t.Prepare(static_cast<int32_t>(state.range(0)), tav::ColorModePixelValue);
  int32_t sum = 0;
  for (auto _ : state) {
    for (int32_t v = -2500; v < 2500; ++v) sum += t.Apply(v);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 5000);
}
void BM_PixelModeDirect(benchmark::State& state) {
  const int32_t mode = static_cast<int32_t>(state.range(0));
  int32_t sum = 0;
  for (auto _ : state) {
    for (int32_t v = -2500; v < 2500; ++v) sum += tav::ColorModePixelValue(v, mode);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(BM_PixelModeTable)->DenseRange(0, 10);
BENCHMARK(BM_PixelModeDirect)->Arg(2)->Arg(9)->Arg(10);

// A full-screen generator set up for the given settings.
struct Rig {
  tav::Settings settings;
  tav::RandomGenerator random{12345};
  std::unique_ptr<tav::PatternGenerator> gen;
  Rig(int satiation, int picture, int blur, int color, bool reference = false) {
    settings.Fast = 20;
    settings.Satiation = satiation;
    settings.Picture = picture;
    settings.Blur = blur;
    settings.Color = color;
    gen = std::make_unique<tav::PatternGenerator>(tav::GeneratorShape::FullScreen, settings, random);
    gen->UseReferenceRenderer(reference);
    gen->SetupFullScreen();
  }
  // The generator refers to the rig's settings and random generator.
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;
};

// The rig for the frame arguments: satiation, picture, blur, color.
Rig FrameRig(const benchmark::State& state, bool reference = false) {
  return Rig(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
             static_cast<int>(state.range(2)), static_cast<int>(state.range(3)), reference);
}

// The renderer alone, as a tick runs it (both cores, the processor's kernels).
void BM_Frame(benchmark::State& state) {
  Rig rig = FrameRig(state);
  tav::fastgen::FastRenderer fast(rig.gen->Capacity());
  for (auto _ : state) fast.Render(rig.gen->NextFrame());
  state.SetItemsProcessed(state.iterations() * rig.gen->PointsPerFrame());
}
// A renderer of its own with helpers (0: one thread) and a kernel set (null:
// the one the processor gets): what each instruction set and the second core
// are worth. Wide vectors on both cores may run at a lower clock than on one.
void FrameWith(benchmark::State& state, int helpers, const KernelSet* kernels) {
  Rig rig = FrameRig(state);
  tav::fastgen::FastRenderer fast(rig.gen->Capacity(), helpers);
  const KernelSet& k = kernels ? *kernels : tav::fastgen::Kernels();
  for (auto _ : state) fast.Render(rig.gen->NextFrame(), k);
}
const KernelSet* Avx2Or(benchmark::State& state) {
  if (tav::fastgen::CpuHasAvx2Fma()) return &tav::fastgen::Avx2Kernels();
  state.SkipWithError("no AVX2");
  return nullptr;
}
const KernelSet* Avx512Or(benchmark::State& state) {
  if (tav::fastgen::CpuHasAvx512()) return &tav::fastgen::Avx512Kernels();
  state.SkipWithError("no AVX-512");
  return nullptr;
}
void BM_FrameOneThread(benchmark::State& state) { FrameWith(state, 0, nullptr); }
// The same in each arithmetic of the widest set, whatever TAVORENSIA_EXACT says.
void BM_FrameOneThreadExact(benchmark::State& state) {
  FrameWith(state, 0, &tav::fastgen::WidestKernels(true));
}
void BM_FrameOneThreadQuick(benchmark::State& state) {
  FrameWith(state, 0, &tav::fastgen::WidestKernels(false));
}
void BM_FrameSse2(benchmark::State& state) { FrameWith(state, 1, &tav::fastgen::Sse2Kernels()); }
void BM_FrameAvx2(benchmark::State& state) {
  if (const KernelSet* k = Avx2Or(state)) FrameWith(state, 1, k);
}
void BM_FrameAvx512(benchmark::State& state) {
  if (const KernelSet* k = Avx512Or(state)) FrameWith(state, 1, k);
}
void BM_FrameOneThreadAvx2(benchmark::State& state) {
  if (const KernelSet* k = Avx2Or(state)) FrameWith(state, 0, k);
}
void BM_FrameOneThreadAvx512(benchmark::State& state) {
  if (const KernelSet* k = Avx512Or(state)) FrameWith(state, 0, k);
}
void BM_FrameOneThreadSse2(benchmark::State& state) {
  FrameWith(state, 0, &tav::fastgen::Sse2Kernels());
}
void BM_FrameOneThreadSse2Quick(benchmark::State& state) {
  FrameWith(state, 0, &tav::fastgen::Sse2QuickKernels());
}
void BM_FrameOneThreadAvx2Quick(benchmark::State& state) {
  if (Avx2Or(state)) FrameWith(state, 0, &tav::fastgen::Avx2QuickKernels());
}
void BM_FrameOneThreadAvx512Quick(benchmark::State& state) {
  if (Avx512Or(state)) FrameWith(state, 0, &tav::fastgen::Avx512QuickKernels());
}
void BM_FrameReference(benchmark::State& state) {
  Rig rig = FrameRig(state, true);
  for (auto _ : state) tav::RenderReference(rig.gen->NextFrame());
}
void FrameArgs(benchmark::internal::Benchmark* b) {
  b->Args({100, 75, 100, 3})->Args({100, 25, 100, 3})->Args({100, 25, 0, 3})
      ->Args({80, 25, 0, 5})->Args({59, 25, 100, 3})->Args({59, 75, 100, 9})
      ->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Frame)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThread)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadExact)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadQuick)->Apply(FrameArgs);
BENCHMARK(BM_FrameSse2)->Apply(FrameArgs);
BENCHMARK(BM_FrameAvx2)->Apply(FrameArgs);
BENCHMARK(BM_FrameAvx512)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadAvx2)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadAvx512)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadSse2)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadSse2Quick)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadAvx2Quick)->Apply(FrameArgs);
BENCHMARK(BM_FrameOneThreadAvx512Quick)->Apply(FrameArgs);
BENCHMARK(BM_FrameReference)->Args({100, 75, 100, 3})->Args({59, 25, 100, 3})
    ->Unit(benchmark::kMillisecond);

// Every colour mode at Satiation 100, Blur 100.
void BM_FrameColour(benchmark::State& state) {
  Rig rig(100, 75, 100, static_cast<int>(state.range(0)));
  tav::fastgen::FastRenderer fast(rig.gen->Capacity());
  for (auto _ : state) fast.Render(rig.gen->NextFrame());
}
BENCHMARK(BM_FrameColour)->DenseRange(0, 10)->Unit(benchmark::kMillisecond);

void BM_PlaneCopy(benchmark::State& state) {
  Rig rig(static_cast<int>(state.range(0)), 25, 0, 5);
  rig.gen->FrameTick();
  const tav::FrameInputs in = rig.gen->NextFrame();  // for the planes
  const tav::GeneratorCapacity& cap = rig.gen->Capacity();
  tav::TDIB field = rig.gen->FieldBitmap();
  tav::fastgen::FrameWorkers workers;
  for (auto _ : state) {
    tav::CopyPlanesToBitmap(in.red, in.green, in.blue, cap.PlaneRows, cap.PlaneColumns, field,
                            workers);
  }
}
BENCHMARK(BM_PlaneCopy)->Arg(100)->Arg(80)->Unit(benchmark::kMicrosecond);

void BM_SetUp(benchmark::State& state) {
  for (auto _ : state) Rig rig(static_cast<int>(state.range(0)), 25, 0, 5);
}
BENCHMARK(BM_SetUp)->Arg(100)->Arg(59)->Unit(benchmark::kMillisecond);

}  // namespace
