// One octave of lattice noise spread over a height field with Catmull-Rom splines.
#pragma once

#include <cstdint>

// Lattice points a side for a frequency: trunc(freq + 2), 0 when that is not
// positive or freq is NaN, -1 when it reaches 2^31 (no lattice can be held).
int64_t LatticeSize(float freq);

// Draws an N x N lattice (N = freq + 2, truncated) of values in [-1, 1],
// spreads it over the width x depth field along x then z, scales it by
// amplitude and adds it to heights.
//
// A lattice of fewer than 3 points a side (freq below 1, or NaN) still draws
// max(N, 0)^2 values and adds nothing. Window points past the end of a lattice
// row or column (frequency 1, non-whole frequencies) read as 0.0.
//
// Returns false, having drawn nothing and changed nothing, when the scratch
// buffers cannot be obtained (a frequency too large for memory, say).
bool SynthesisPass(float* heights, float freq, float amplitude, int width, int depth);
