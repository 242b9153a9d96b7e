// The cutting of a rectangle into blocks that stay in the processor's cache while every pass runs.
#pragma once

#include <cstdint>

#include "terrain/terrain_region.h"

constexpr int64_t kBlockSide = 256;

struct Block {
  int64_t x0, x1;  // rectangle columns x0 .. x1 - 1
  int64_t z0, z1;  // rectangle rows
};

struct BlockGrid {
  int64_t across, down;   // blocks
  int64_t width, depth;   // samples a block, the last ones fewer
};

inline int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

BlockGrid BlocksOf(TerrainRect rect);
// Block `index`, counted in row order, in rectangle coordinates.
Block BlockAt(const BlockGrid& grid, TerrainRect rect, int64_t index);
