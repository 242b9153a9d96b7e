// The spline walks of a group of passes along the rectangle's columns and rows, recorded once.
#pragma once

#include <cstdint>

#include "terrain/spline_walk.h"
#include "terrain/tiled_synthesis.h"

// The recorded walk of one pass along one axis of the rectangle, padded with
// kKernelOverrun zero entries for the kernels that read ahead.
struct AxisWalk {
  int64_t* windows;
  double* parameters;
};

// The walks of passes first .. end - 1, in one allocation.
struct GroupWalks {
  int64_t first;
  int64_t end;
  AxisWalk* x;  // per pass of the group
  AxisWalk* z;
  void* memory;
};

// Records the walks of the passes from `first` on that fit the walk budget. xStarts /
// zStarts as SynthesizeRect's xWalks / zWalks: moved past the rectangle, or null.
// columns, unless null, holds the walks along x already recorded for rect's columns
// (for passes columns->first .. columns->end - 1, from first on): the group takes
// those instead of recording them again, and ends where they end. False when memory runs out.
bool BuildGroupWalks(const SynthesisPlan& plan, TerrainRect rect, int64_t first,
                     SplineWalk* xStarts, SplineWalk* zStarts, GroupWalks* group,
                     const GroupWalks* columns = nullptr);
void ReleaseGroupWalks(GroupWalks* group);
