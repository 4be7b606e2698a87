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
  static const KernelSet set = MakeKernels("sse2", true);
  return set;
}

const KernelSet& Sse2QuickKernels() {
  static const KernelSet set = MakeKernels("sse2-quick", false);
  return set;
}

}  // namespace tav::fastgen
