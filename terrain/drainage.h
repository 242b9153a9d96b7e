// The drainage map: how many samples' water flows through each sample of a height field.
#pragma once

#include <cstddef>
#include <cstdint>

struct SynthesisControl;

// How a drainage or erosion run ended.
enum FlowStatus {
  kFlowDone,
  kFlowBadHeights,  // a height is NaN, or the field is empty or larger than 16384 a side
  kFlowNoMemory,
  kFlowCancelled,
};

// The text of a status, for messages ("the heights hold a NaN", ...).
const char* FlowStatusText(FlowStatus status);

// Flow accumulation of the width x depth height field (element c + j * width
// at column c, row j; the field covers 150 x 150 units): water runs over the
// field with its depressions filled, each sample sending its water to its
// steepest lower neighbour (see FillDepressions and FindReceivers in
// flow_routing.h); accumulation[i] is 1 plus the accumulation of every sample
// that sends to i, and *largest the greatest of them. Exact: 64-bit counts,
// the same on every build and thread count (0: every core). Needs about 5 bytes
// a sample besides the accumulation (DrainageScratchBytes), and the fill's queue.
FlowStatus ComputeDrainage(const float* heights, int64_t width, int64_t depth, int threads,
                           uint64_t* accumulation, uint64_t* largest, SynthesisControl* control);

// The scratch bytes ComputeDrainage takes for a width x depth field.
int64_t DrainageScratchBytes(int64_t width, int64_t depth);

// Whether a field may be routed: 1 .. 16384 a side and no NaN.
FlowStatus CheckFlowField(const float* heights, int64_t width, int64_t depth);
