// River carving: a jittered Catmull-Rom centre line cut into the heights and recorded in the water field.
#pragma once

struct RiverEnd {
  float xFraction;  // 0: column 0, 1: column width - 1
  float zFraction;  // 0: row 0, 1: row depth - 1
};

// Lays a centre line of count = extraPoints + 4 control points from riverStart
// to riverEnd, jitters it with draws from the random source, samples it and
// lowers the heights / raises the water under an 11 x 11 cosine kernel at every
// sample. Fractions are clamped to [0, 1] (NaN to 0) and count to 4..120.
// The water of every updated cell is clamped to at most 1.0.
// Returns false, having changed and drawn nothing, when its scratch memory
// cannot be obtained.
bool CarveRiver(float* heights, float* water, int width, int depth,
                RiverEnd riverStart, RiverEnd riverEnd, float extraPoints);
