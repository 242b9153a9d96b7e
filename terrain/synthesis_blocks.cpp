// The cutting of a rectangle into blocks that stay in the processor's cache while every pass runs.
#include "terrain/synthesis_blocks.h"

#include "terrain/tiled_synthesis.h"

BlockGrid BlocksOf(TerrainRect rect) {
  BlockGrid grid;
  grid.across = CeilDiv(rect.width, kBlockSide);
  grid.down = CeilDiv(rect.depth, kBlockSide);
  grid.width = CeilDiv(rect.width, grid.across);
  grid.depth = CeilDiv(rect.depth, grid.down);
  return grid;
}

Block BlockAt(const BlockGrid& grid, TerrainRect rect, int64_t index) {
  Block block;
  block.x0 = (index % grid.across) * grid.width;
  block.z0 = (index / grid.across) * grid.depth;
  block.x1 = block.x0 + grid.width < rect.width ? block.x0 + grid.width : rect.width;
  block.z1 = block.z0 + grid.depth < rect.depth ? block.z0 + grid.depth : rect.depth;
  return block;
}

int64_t RectWorkUnits(const SynthesisPlan& plan, TerrainRect rect) {
  const BlockGrid grid = BlocksOf(rect);
  return grid.across * grid.down * (plan.passCount > 0 ? plan.passCount : 1);
}
