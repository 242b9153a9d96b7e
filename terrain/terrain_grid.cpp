// Creation and release of the TerrainGrid's height and water fields.
#include "terrain/terrain_grid.h"

#include <cstdint>
#include <cstdlib>

float* NewZeroFloats(int64_t count) {
  if (count < 0) return nullptr;
  if (static_cast<uint64_t>(count) > SIZE_MAX / sizeof(float)) return nullptr;
  // calloc(0) may give null or a block; ask for one element so empty is not failure.
  const size_t elements = count == 0 ? 1 : static_cast<size_t>(count);
  return static_cast<float*>(calloc(elements, sizeof(float)));
}

bool CreateTerrainGrid(TerrainGrid* grid, int32_t width, int32_t depth,
                       float extentX, float extentZ, float baseHeight) {
  grid->width = width;
  grid->depth = depth;
  grid->extentX = extentX;
  grid->extentZ = extentZ;
  grid->baseHeight = baseHeight;
  grid->heights = nullptr;
  grid->water = nullptr;
  if (width < 1 || depth < 1) return false;

  const int64_t samples = static_cast<int64_t>(width) * depth;
  grid->heights = NewZeroFloats(samples);
  grid->water = NewZeroFloats(samples);
  if (grid->heights && grid->water) return true;

  free(grid->heights);
  free(grid->water);
  grid->heights = nullptr;
  grid->water = nullptr;
  return false;
}

void DestroyTerrainGrid(TerrainGrid* grid) {
  if (!grid) return;
  free(grid->heights);
  free(grid->water);
  free(grid);
}
