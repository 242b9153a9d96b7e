// The depression fill: every sample's filled height, as a priority flood gives it.
#pragma once

#include <cstdint>

#include "terrain/flow_routing.h"

struct SynthesisControl;

// The next float towards +infinity, as nextafterf(value, +inf) gives it (value not NaN).
float NextFloatUp(float value);

// Memory the fill may keep from one call to the next on fields of one size
// (erosion fills once a step), instead of obtaining it every time.
struct FillScratch {
  int64_t samples = 0;
  uint64_t* known = nullptr;
};

void ReleaseFillScratch(FillScratch* scratch);

// Fills the depressions as a priority flood does: every edge sample, in index
// order, goes into a queue ordered by (filled height, push counter) with its
// own height as filled height; the smallest is taken, and each of its
// neighbours not yet queued gets the filled height max(height, NextFloatUp(the
// taken one's)) and is queued. filled receives the filled heights; pool is
// scratch of 8 bytes a sample (any memory; its contents are lost). heights
// must hold no NaN. The result does not depend on `threads` (0: every core),
// which share the sweeps over the rows. False when the memory it needs cannot be had or the
// control was cancelled. keep, when given, holds the fill's own memory between calls.
bool FillDepressions(const float* heights, const FlowGrid& grid, float* filled, void* pool, int threads,
                     SynthesisControl* control, FillScratch* keep = nullptr);
