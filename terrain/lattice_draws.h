// The lattice values a block reads in one pass, drawn with the random source's jump-ahead.
#pragma once

#include <cstdint>

#include "terrain/tiled_synthesis.h"

// Draws lattice rows r0 .. r0 + drawnRows - 1, columns c0 .. c0 + drawnColumns - 1
// of the pass into lattice, latticeStride values a row, the rest of each row 0.
void DrawPassLattice(const PassPlan& pass, int64_t r0, int64_t c0, int64_t drawnRows,
                     int64_t drawnColumns, int64_t latticeStride, float* lattice);
