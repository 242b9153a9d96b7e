// The spline walk: counter arithmetic exactly as the synthesis pass needs it for bit-exact terrains.
#include "terrain/spline_walk.h"

float WalkParameter(const SplineWalk& walk, float step) {
  return static_cast<float>(static_cast<double>(walk.counter) / static_cast<double>(step));
}

void AdvanceWalk(SplineWalk* walk, float step) {
  // The comparison uses the exact next count, the subtraction its float rounding.
  const double next = static_cast<double>(walk->counter) + 1.0;
  if (next >= static_cast<double>(step)) {
    walk->windowStart += 1;
    walk->counter = static_cast<float>(static_cast<double>(static_cast<float>(next)) -
                                       static_cast<double>(step));
  } else {
    walk->counter = static_cast<float>(next);
  }
}

void SkipWalk(SplineWalk* walk, float step, int64_t count) {
  for (int64_t i = 0; i < count; ++i) AdvanceWalk(walk, step);
}

void RecordWalk(SplineWalk* walk, float step, int64_t count, int64_t* windowStarts,
                double* parameters) {
  for (int64_t i = 0; i < count; ++i) {
    const float t = WalkParameter(*walk, step);
    windowStarts[i] = walk->windowStart;
    parameters[i] = t >= 0.0f ? static_cast<double>(t) : 0.0;
    AdvanceWalk(walk, step);
  }
}
