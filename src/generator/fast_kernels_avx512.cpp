// The fast renderer's loops for processors with AVX-512 (F, DQ, VL). Only the code
// after the target pragma uses those instructions, and it is reached only
// through Avx512Kernels(), which Kernels() hands out after checking the CPU.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "generator/fast_kernels.hpp"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512dq,avx512vl,avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx2,fma")
#endif

namespace tav::fastgen {
namespace {
#define TAV_SIMD_AVX512 1
#include "fast_kernels.inc"
#undef TAV_SIMD_AVX512
}  // namespace

const KernelSet& Avx512Kernels() {
  static const KernelSet set = MakeKernels("avx512", true);
  return set;
}

const KernelSet& Avx512QuickKernels() {
  static const KernelSet set = MakeKernels("avx512-quick", false);
  return set;
}

}  // namespace tav::fastgen

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
