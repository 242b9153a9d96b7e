// The walk that moves a four-point spline window along a lattice row or column, one field sample at a time.
#pragma once

#include <cstdint>

struct SplineWalk {
  float counter;        // samples since the window's start knot, less whole steps
  int64_t windowStart;  // lattice index of the window's first point
};

// The spline parameter of the current sample: counter / step, rounded to float.
float WalkParameter(const SplineWalk& walk, float step);

// Moves on by one sample; the window moves at most one point per sample.
void AdvanceWalk(SplineWalk* walk, float step);

// Moves on by `count` samples without recording them.
void SkipWalk(SplineWalk* walk, float step, int64_t count);

// Records the next `count` samples of a walk and moves past them: each sample's
// window start, and its parameter as the four-point sampler takes it (the float
// parameter widened to double, 0 where it is below 0 or NaN; 1 and above mean
// the window's third point).
void RecordWalk(SplineWalk* walk, float step, int64_t count, int64_t* windowStarts,
                double* parameters);
