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
