// Picks the loops the processor can run.
#include "generator/fast_kernels.hpp"

#include <cstdlib>
#include <cstring>

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

const KernelSet& WidestKernels(bool exact) {
  if (CpuHasAvx512()) return exact ? Avx512Kernels() : Avx512QuickKernels();
  if (CpuHasAvx2Fma()) return exact ? Avx2Kernels() : Avx2QuickKernels();
  return exact ? Sse2Kernels() : Sse2QuickKernels();
}

bool ExactAsked(const char* value) {
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

const KernelSet& Kernels() {
  static const KernelSet& chosen = WidestKernels(ExactAsked(std::getenv("TAVORENSIA_EXACT")));
  return chosen;
}

}  // namespace tav::fastgen
