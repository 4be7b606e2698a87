// The fast renderer's loops for the SSE2 baseline every x86-64 has.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "generator/fast_kernels.hpp"

namespace tav::fastgen {
namespace {
#define TAV_SIMD_AVX2 0
#include "fast_kernels.inc"
#undef TAV_SIMD_AVX2
}  // namespace

const KernelSet& Sse2Kernels() {
  static const KernelSet set{"sse2", SinArray, TileModeArray, FineKernel, CoarseKernel};
  return set;
}

}  // namespace tav::fastgen
