// Picks the loops the processor can run.
#include "generator/fast_kernels.hpp"

namespace tav::fastgen {

bool CpuHasAvx2Fma() {
  // __builtin_cpu_supports also checks that the system saves the wide
  // registers (OSXSAVE), so a true answer means the AVX2 set is safe.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool CpuHasAvx512() {
  __builtin_cpu_init();
  return CpuHasAvx2Fma() && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
}

const KernelSet& Kernels() {
  static const KernelSet& chosen = CpuHasAvx512()    ? Avx512Kernels()
                                   : CpuHasAvx2Fma() ? Avx2Kernels()
                                                     : Sse2Kernels();
  return chosen;
}

}  // namespace tav::fastgen
