#pragma once
// The renderer every mode uses: the same frames as the reference renderer,
// computed only where they can be seen and on both cores.
//
// Only the last point that writes a pixel decides its colour, and which
// point that is depends only on the layout. So, once per layout, the
// renderer keeps the live points (and, in the coarse pass, the live tile
// entries) in flat arrays; a frame computes those alone, a block of points
// at a time with the vector sine, split between the calling thread and one
// persistent helper. No two live writes share a pixel, so the threads never
// write the same cell and the drawing order is free: without the modulation
// (Blur 0) the fine pass's points are sorted into cell order (SortByCell),
// so a frame writes the planes front to back; with it they stay in point
// order, since the modulation reads the layout tables a little ahead of each
// point's own index, and the points keep only that index: their coordinates
// come from the same pass over the tables, and the ring radius and third
// coordinate, the same along a ring, from a short list of runs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "generator/color_lut.hpp"
#include "generator/fast_kernels.hpp"
#include "generator/frame_workers.hpp"
#include "generator/generator.hpp"
#include "generator/zero_buffer.hpp"

namespace tav::fastgen {

// This frame's turn and modulation (without the tables the modulation reads)
// and its colour constants, as every pass takes them.
TurnParams FrameTurn(const FrameInputs& in);
ColourParams FrameColour(const FrameInputs& in, bool fine, bool settingsFormulas);

// The distinct weights of the figure table (kFigureEntries entries), in the
// order they first appear, into weights (room for kMaxWeights), and which of
// them each entry takes; returns how many there are. A tile entry names its
// weight, so a frame rounds each point's colour once per weight rather than
// once per entry.
int32_t DistinctWeights(const double* figureWeight, double* weights, uint8_t* weightOf);

class FastRenderer {
 public:
  // Sized once for a generator of the given capacity. With a helper count
  // the renderer has workers of its own; otherwise it shares the given ones
  // (the generator's), which must outlive it.
  explicit FastRenderer(const GeneratorCapacity& capacity,
                        int helpers = FrameWorkers::DefaultHelpers());
  FastRenderer(const GeneratorCapacity& capacity, FrameWorkers& workers);

  // Rebuilds the live set for the given layout, for frames with or without
  // the modulation (Blur > 0), which decides the fine pass's point order
  // (see the top of this file). Render calls it by itself when the layout's
  // serial, or the modulation of the fine pass, differs from what the live
  // set was built for; calling it right after a set-up keeps that cost out
  // of the first frame.
  void Prepare(const LayoutView& layout, bool modulated = false);
  // One frame into the planes of in.
  void Render(const FrameInputs& in);
  // The same, with a chosen kernel set (tests and benchmarks).
  void Render(const FrameInputs& in, const KernelSet& kernels);

  // Live points of the current layout (fine or coarse) and live tile entries.
  std::size_t LivePoints() const { return live_; }
  std::size_t LiveEntries() const { return entries_; }

 private:
  void BuildFine(const LayoutView& l, bool cellOrder);
  void SortByCell(std::size_t cells);
  void BuildCoarse(const LayoutView& l);
  // Covers the layout's table entries 0 .. entries - 1 with runs.
  void ExtendRuns(const LayoutView& l, std::size_t entries);
  // Copies the live points' coordinates and radii out of the layout.
  void CopyLive(const double* x, const double* y, const double* z, const double* r);

  FastRenderer(const GeneratorCapacity& capacity, std::unique_ptr<FrameWorkers> own,
               FrameWorkers* shared);

  GeneratorCapacity cap_;
  std::unique_ptr<FrameWorkers> ownWorkers_;
  FrameWorkers& workers_;
  PixelModeTable pixelModes_;
  // The layout the live set was built for.
  uint64_t builtSerial_ = ~uint64_t{0};
  bool builtModulated_ = false;

  // Live points, structure of arrays, at base_ .. base_ + live_ - 1.
  std::size_t live_ = 0, base_ = 0;
  // Coordinates and radii: only without the modulation (in cell order);
  // with it a frame reads them by index (see TurnParams).
  ZeroBuffer<double> x_, y_, z_, r_;
  ZeroBuffer<int32_t> index_;
  // The layout's runs of equal ring radius and third coordinate over its
  // first runsCover_ table entries, for the frames that read by index; the
  // last run ends past every entry.
  std::vector<int32_t> runEnd_;
  std::vector<double> runRadius_, runZ_;
  std::size_t runsCover_ = 0;
  ZeroBuffer<int32_t> pixel_;  // fine pass: the point's plane cell
  // Coarse pass: live tile entries of each live point.
  std::size_t entries_ = 0;
  ZeroBuffer<int32_t> entryBegin_, entryPixel_;
  ZeroBuffer<uint8_t> entryWeight_;
  double weights_[kMaxWeights] = {};
  int32_t weightCount_ = 0;
  // Cells already claimed by a later point, while a live set is built.
  ZeroBuffer<uint8_t> claimed_;
};

}  // namespace tav::fastgen
