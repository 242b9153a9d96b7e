// The drainage map: how many samples' water flows through each sample of a height field.
#include "terrain/drainage.h"

#include <cmath>
#include <cstdlib>

#include "terrain/depression_fill.h"
#include "terrain/flow_routing.h"
#include "terrain/terrain_region.h"

const char* FlowStatusText(FlowStatus status) {
  switch (status) {
    case kFlowDone: return "done";
    case kFlowBadHeights: return "the heights must be numbers (no NaN), 1 to 16384 a side";
    case kFlowNoMemory: return "the memory it needs cannot be had";
    case kFlowCancelled: return "cancelled";
  }
  return "";
}

FlowStatus CheckFlowField(const float* heights, int64_t width, int64_t depth) {
  if (width < 1 || depth < 1 || width > kMaxFieldSide || depth > kMaxFieldSide) return kFlowBadHeights;
  const int64_t samples = width * depth;
  for (int64_t i = 0; i < samples; ++i) {
    if (std::isnan(heights[i])) return kFlowBadHeights;
  }
  return kFlowDone;
}

int64_t DrainageScratchBytes(int64_t width, int64_t depth) {
  return width * depth * static_cast<int64_t>(sizeof(float) + sizeof(uint8_t)) + width * depth / 8;
}

FlowStatus ComputeDrainage(const float* heights, int64_t width, int64_t depth, int threads,
                           uint64_t* accumulation, uint64_t* largest, SynthesisControl* control) {
  const FlowStatus check = CheckFlowField(heights, width, depth);
  if (check != kFlowDone) return check;
  const FlowGrid grid = MakeFlowGrid(width, depth);
  const size_t n = static_cast<size_t>(grid.samples);
  uint8_t* receivers = static_cast<uint8_t*>(malloc(n));
  float* filled = static_cast<float*>(malloc(n * sizeof(float)));
  // The fill's queue takes two words a sample: the accumulation's memory, until the fill ends.
  void* pool = accumulation;
  FlowStatus status = kFlowDone;
  if (receivers == nullptr || filled == nullptr) {
    status = kFlowNoMemory;
  } else if (!FillDepressions(heights, grid, filled, pool, threads, control)) {
    status = control != nullptr && control->cancelled.load() ? kFlowCancelled : kFlowNoMemory;
  }
  if (status == kFlowDone) {
    FindReceivers(filled, grid, receivers, threads);
    // The filled heights' memory counts the donors.
    *largest = Accumulate(grid, receivers, accumulation, reinterpret_cast<uint8_t*>(filled), threads);
  }
  free(filled);
  free(receivers);
  return status;
}
