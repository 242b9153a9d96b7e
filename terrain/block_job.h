// One block of a rectangle: cleared, given a group's passes, then its river and its height range.
#pragma once

#include <atomic>
#include <cstdint>

#include "terrain/group_walks.h"
#include "terrain/river_resample.h"
#include "terrain/synthesis_blocks.h"
#include "terrain/synthesis_kernels.h"
#include "terrain/tiled_synthesis.h"
#include "terrain/worker_scratch.h"

// A group of passes over every block of the rectangle, shared by the threads.
struct BlockJob {
  const SynthesisPlan* plan;
  TerrainRect rect;
  BlockGrid grid;
  int64_t blockCount;
  const SynthesisKernels* kernels;
  const GroupWalks* walks;
  bool firstGroup;
  bool lastGroup;
  const RiverResample* resample;
  RectOutput output;
  HeightRange* blockRanges;
  SynthesisControl* control;
  std::atomic<int64_t> nextBand{0};  // the next row of blocks to take
  std::atomic<bool> stopped{false};
};

// Runs block `index` of the job; false when cancelled or memory runs out.
bool RunBlock(BlockJob* job, WorkerScratch* scratch, int64_t index);
