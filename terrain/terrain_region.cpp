// Any rectangle of a terrain of any size. For now: the whole terrain through the plain passes, then the cut.
#include "terrain/terrain_region.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

bool CheckTerrainRect(int64_t terrainWidth, int64_t terrainDepth, TerrainRect rect,
                      char* message, size_t messageSize) {
  if (terrainWidth < 1 || terrainDepth < 1 || terrainWidth > kMaxTerrainSide ||
      terrainDepth > kMaxTerrainSide) {
    snprintf(message, messageSize, "a terrain has 1 to %lld samples a side",
             static_cast<long long>(kMaxTerrainSide));
    return false;
  }
  if (rect.width < 1 || rect.depth < 1 || rect.x0 < 0 || rect.z0 < 0 ||
      rect.x0 > terrainWidth - rect.width || rect.z0 > terrainDepth - rect.depth) {
    snprintf(message, messageSize, "the tile must lie inside the %lld x %lld terrain",
             static_cast<long long>(terrainWidth), static_cast<long long>(terrainDepth));
    return false;
  }
  if (rect.width > kMaxFieldSide || rect.depth > kMaxFieldSide) {
    snprintf(message, messageSize, "one field has at most %lld samples a side; make larger terrains in tiles",
             static_cast<long long>(kMaxFieldSide));
    return false;
  }
  return true;
}

static TerrainGrid* WholeTerrain(const TerrainSettings& settings, int64_t width, int64_t depth) {
  if (width > kMaxFieldSide || depth > kMaxFieldSide) return nullptr;
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  if (!grid) return nullptr;
  if (!CreateTerrainGrid(grid, static_cast<int32_t>(width), static_cast<int32_t>(depth),
                         kTerrainExtentUnits, kTerrainExtentUnits, settings.terrainHeight) ||
      !SynthesizeTerrain(grid, settings.seed, settings.passHeightScale, settings.freqScale,
                         settings.initFreq, settings.passCount, settings.river)) {
    DestroyTerrainGrid(grid);
    return nullptr;
  }
  return grid;
}

bool SynthesizeTerrainRect(const TerrainSettings& settings, int64_t terrainWidth,
                           int64_t terrainDepth, TerrainRect rect, int, float* heights,
                           float* water, SynthesisControl* control) {
  char message[160];
  if (!CheckTerrainRect(terrainWidth, terrainDepth, rect, message, sizeof message)) return false;
  if (control) control->workTotal = rect.depth;
  TerrainGrid* grid = WholeTerrain(settings, terrainWidth, terrainDepth);
  if (!grid) return false;
  for (int64_t j = 0; j < rect.depth; ++j) {
    const int64_t from = rect.x0 + (rect.z0 + j) * terrainWidth;
    memcpy(heights + j * rect.width, grid->heights + from, sizeof(float) * rect.width);
    if (water) memcpy(water + j * rect.width, grid->water + from, sizeof(float) * rect.width);
  }
  if (control) control->workDone = rect.depth;
  DestroyTerrainGrid(grid);
  return true;
}

bool FindTerrainHeightRange(const TerrainSettings& settings, int64_t terrainWidth,
                            int64_t terrainDepth, int, float* minHeight, float* maxHeight,
                            SynthesisControl*) {
  TerrainGrid* grid = WholeTerrain(settings, terrainWidth, terrainDepth);
  if (!grid) return false;
  *minHeight = grid->minHeight;
  *maxHeight = grid->maxHeight;
  DestroyTerrainGrid(grid);
  return true;
}
