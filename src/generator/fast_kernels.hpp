#pragma once
// The vectorised inner loops of the fast renderer, compiled for SSE2 (any
// x86-64), for AVX2 + FMA and for AVX-512; Kernels() picks the best set the
// processor runs. Everything a loop needs comes in one plain record per
// frame, so the loops read flat arrays and call nothing virtual.
#include <cstddef>
#include <cstdint>

namespace tav::fastgen {

// A pixel colour mode applied to one value: the straightforward form, used
// for values outside the lookup table.
using PixelModeFn = int32_t (*)(int32_t value, int32_t mode);

// The per-frame turn and modulation shared by both passes.
struct TurnParams {
  double A1, A2, A3, B1, B2, B3, C1, C2, C3;
  bool modulate = false;      // Blur > 0
  double blur = 0;            // Blur as a double
  int64_t lookX = 0, lookY = 0, lookZ = 0;  // look-ahead of each modulation
  double mulX = 0, mulY = 0, mulZ = 0;      // coefficient of each modulation
  // Full coordinate tables the modulation reads at original index + look-ahead.
  const double* tableX = nullptr;
  const double* tableY = nullptr;
  const double* tableZ = nullptr;
  int64_t tableSize = 0;  // look-ups are kept inside 0 .. tableSize - 1
  bool lookInside = false;  // every look-up of the frame lies inside already
  // By index (fine pass with the modulation): the live points carry only
  // their index, and their coordinates come from the tables. The ring
  // radius and the third coordinate stay the same along a ring, so they are
  // kept once per run of equal pairs: run j covers the table entries from
  // runEnd[j - 1] (0 for the first) to runEnd[j] - 1, with radius runRadius[j]
  // and third coordinate runZ[j]; the last run ends at tableSize or later.
  bool byIndex = false;
  const int32_t* runEnd = nullptr;
  const double* runRadius = nullptr;
  const double* runZ = nullptr;
  int32_t runCount = 0;
};

// The colour formulas' per-frame constants, for both passes.
struct ColourParams {
  bool chained = false;          // Picture > 50
  // Every rounded value of the frame stays far inside the 32-bit range, so
  // rounding needs no saturation (true for coefficients in their range).
  bool bounded = false;
  double piCoef1 = 0, piCoef2 = 0, piCoef3 = 0;  // pi x Coef
  // Chained: denominator = r + X' + chainAdd[i] + chainExtra.
  double chainAdd1 = 0, chainAdd2 = 0, chainAdd3 = 0, chainExtra = 0;
  // Independent: denominator = indepAdd[i] + r.
  double indepAdd1 = 0, indepAdd2 = 0, indepAdd3 = 0;
  double third1 = 0, third2 = 0, third3 = 0;     // Coef / 3
  double coef1 = 1, coef2 = 1, coef3 = 1;
};

// What both passes read of a frame: its turn and colours, and the live
// points, structure of arrays (coordinates, ring radius, original index;
// the index alone when the turn reads them by index).
struct FramePoints {
  TurnParams turn;
  ColourParams colour;
  const double *x = nullptr, *y = nullptr, *z = nullptr, *r = nullptr;
  const int32_t* index = nullptr;  // original point index
};

// Points of the fine pass, written into the planes in the order given (the
// renderer's live points each write a pixel no other one writes). The
// arrays have room for one more block past the last point.
struct FineFrame : FramePoints {
  const int32_t* pixel = nullptr;  // plane offset row * stride + column
  int32_t *red = nullptr, *green = nullptr, *blue = nullptr;
  // Colour mode: lut[v + lutHalf] for -lutHalf <= v < lutHalf, else direct.
  const int32_t* lut = nullptr;  // null: values stay as computed
  int32_t lutHalf = 0;
  PixelModeFn direct = nullptr;
  int32_t mode = 0;
};

// Points of the coarse pass and their tile entries. The entries of point i
// are entryBegin[i] .. entryBegin[i + 1] - 1; an entry names a plane offset
// and one of the distinct figure weights.
struct CoarseFrame : FramePoints {
  const int32_t* entryBegin = nullptr;
  const int32_t* entryPixel = nullptr;
  const uint8_t* entryWeight = nullptr;
  const double* weights = nullptr;  // distinct figure weights
  int32_t weightCount = 0;          // at most kMaxWeights
  int32_t mode = 0;                 // tile colour mode
  int32_t *red = nullptr, *green = nullptr, *blue = nullptr;
};

inline constexpr int kMaxWeights = 11;

// The loops of one instruction set in one of two arithmetics. Exact keeps
// the straightforward renderer's operations; quick takes polynomial sines
// and reciprocals (see fast_kernels.inc), with which a bitmap byte now and
// then comes out otherwise.
struct KernelSet {
  const char* name;
  bool exact;
  // out[i] = sin(in[i]), 0 for |in[i]| >= 2^63 and non-finite values.
  void (*sinArray)(const double* in, double* out, std::size_t n);
  // The tile colour mode on n values in place.
  void (*tileMode)(double* values, std::size_t n, int32_t mode);
  // Live points begin .. end - 1 of a frame.
  void (*fine)(const FineFrame& f, std::size_t begin, std::size_t end);
  void (*coarse)(const CoarseFrame& f, std::size_t begin, std::size_t end);
};

// Each instruction set's exact and quick loops.
const KernelSet& Sse2Kernels();
const KernelSet& Avx2Kernels();
const KernelSet& Avx512Kernels();
const KernelSet& Sse2QuickKernels();
const KernelSet& Avx2QuickKernels();
const KernelSet& Avx512QuickKernels();
// True when the processor (and the system) can run the AVX2 + FMA set.
bool CpuHasAvx2Fma();
// True when it can run the AVX-512 set (F, DQ and VL).
bool CpuHasAvx512();
// The set the renderer uses: the widest the processor runs, in the quick
// arithmetic unless the environment variable TAVORENSIA_EXACT asks for the
// exact one (see ExactAsked), which is read once.
const KernelSet& Kernels();
// The widest set the processor runs in the given arithmetic.
const KernelSet& WidestKernels(bool exact);
// True for a TAVORENSIA_EXACT value that asks for the exact arithmetic:
// set and neither empty nor "0".
bool ExactAsked(const char* value);

}  // namespace tav::fastgen
