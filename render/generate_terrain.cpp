// The viewer's generation: synthesis of the terrain, then its display list.
#include "render/generate_terrain.h"

#include "render/terrain_list.h"
#include "terrain/erosion.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

bool GenerateTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale, float freqScale,
                     float initFreq, int32_t passCount, int32_t river, int32_t flat) {
  if (grid == nullptr) return false;
  if (!SynthesizeTerrain(grid, seed, passHeightScale, freqScale, initFreq, passCount, river)) return false;
  BuildTerrainList(grid, flat);
  return true;
}

bool ErodeGeneratedTerrain(TerrainGrid* grid, const ErosionSettings& erosion, int32_t flat) {
  if (grid == nullptr) return false;
  if (ErodeTerrain(grid->heights, grid->width, grid->depth, erosion, 0, nullptr, nullptr) != kFlowDone) return false;
  FindHeightRange(grid);
  BuildTerrainList(grid, flat);
  return true;
}
