// The fast renderer's loops for processors with AVX2 and FMA. Only the code
// after the target pragma uses those instructions, and it is reached only
// through Avx2Kernels(), which Kernels() hands out after checking the CPU.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "generator/fast_kernels.hpp"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

namespace tav::fastgen {
namespace {
#define TAV_SIMD_AVX2 1
#include "fast_kernels.inc"
#undef TAV_SIMD_AVX2
}  // namespace

const KernelSet& Avx2Kernels() {
  static const KernelSet set = MakeKernels("avx2", true);
  return set;
}

const KernelSet& Avx2QuickKernels() {
  static const KernelSet set = MakeKernels("avx2-quick", false);
  return set;
}

}  // namespace tav::fastgen

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
