// Any rectangle of a terrain of any size, its whole height range, and the check of both shapes.
#include "terrain/terrain_region.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "terrain/tiled_synthesis.h"

// The range search computes the terrain in tiles of at most this many samples a side.
static const int64_t kRangeTileSide = 2048;

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

bool SynthesizeTerrainRect(const TerrainSettings& settings, int64_t terrainWidth,
                           int64_t terrainDepth, TerrainRect rect, int threads, float* heights,
                           float* water, SynthesisControl* control) {
  char message[160];
  if (!CheckTerrainRect(terrainWidth, terrainDepth, rect, message, sizeof message) || !heights) {
    return false;
  }
  SynthesisPlan plan;
  if (!PlanSynthesis(settings, terrainWidth, terrainDepth, &plan)) return false;
  if (control) control->workTotal = RectWorkUnits(plan, rect);
  const RectOutput output = {heights, water, nullptr};
  const bool made = SynthesizeRect(plan, rect, nullptr, nullptr, threads, output, control);
  ReleaseSynthesisPlan(&plan);
  return made;
}

static int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

bool FindTerrainHeightRange(const TerrainSettings& settings, int64_t terrainWidth,
                            int64_t terrainDepth, int threads, float* minHeight, float* maxHeight,
                            SynthesisControl* control) {
  char message[160];
  const TerrainRect corner = {0, 0, 1, 1};
  if (!CheckTerrainRect(terrainWidth, terrainDepth, corner, message, sizeof message)) return false;
  SynthesisPlan plan;
  if (!PlanSynthesis(settings, terrainWidth, terrainDepth, &plan)) return false;

  // Tiles in row order. Each pass's walks carry on from tile to tile: along x
  // within a row of tiles, along z from one row of tiles to the next.
  const int64_t across = CeilDiv(terrainWidth, kRangeTileSide);
  const int64_t down = CeilDiv(terrainDepth, kRangeTileSide);
  const int64_t tileWidth = CeilDiv(terrainWidth, across);
  const int64_t tileDepth = CeilDiv(terrainDepth, down);
  const size_t passes = static_cast<size_t>(plan.passCount > 0 ? plan.passCount : 1);
  float* heights = static_cast<float*>(malloc(sizeof(float) * static_cast<size_t>(tileWidth * tileDepth)));
  SplineWalk* xWalks = static_cast<SplineWalk*>(calloc(passes, sizeof(SplineWalk)));
  SplineWalk* zWalks = static_cast<SplineWalk*>(calloc(passes, sizeof(SplineWalk)));
  SplineWalk* zRowStart = static_cast<SplineWalk*>(calloc(passes, sizeof(SplineWalk)));
  bool ok = heights && xWalks && zWalks && zRowStart;

  if (ok && control) {
    int64_t total = 0;
    for (int64_t tz = 0; tz < down; ++tz) {
      for (int64_t tx = 0; tx < across; ++tx) {
        const int64_t x0 = tx * tileWidth;
        const int64_t z0 = tz * tileDepth;
        const TerrainRect tile = {x0, z0, x0 + tileWidth < terrainWidth ? tileWidth : terrainWidth - x0,
                                  z0 + tileDepth < terrainDepth ? tileDepth : terrainDepth - z0};
        total += RectWorkUnits(plan, tile);
      }
    }
    control->workTotal = total;
  }

  HeightRange range = {false, 0.0f, 0.0f, 0, 0};
  bool firstIsNaN = false;
  for (int64_t tz = 0; ok && tz < down; ++tz) {
    const int64_t z0 = tz * tileDepth;
    const int64_t depth = z0 + tileDepth < terrainDepth ? tileDepth : terrainDepth - z0;
    memcpy(zRowStart, zWalks, passes * sizeof(SplineWalk));
    memset(xWalks, 0, passes * sizeof(SplineWalk));
    for (int64_t tx = 0; ok && tx < across; ++tx) {
      const int64_t x0 = tx * tileWidth;
      const int64_t width = x0 + tileWidth < terrainWidth ? tileWidth : terrainWidth - x0;
      memcpy(zWalks, zRowStart, passes * sizeof(SplineWalk));
      const TerrainRect tile = {x0, z0, width, depth};
      HeightRange tileRange = {false, 0.0f, 0.0f, 0, 0};
      const RectOutput output = {heights, nullptr, &tileRange};
      ok = SynthesizeRect(plan, tile, xWalks, zWalks, threads, output, control);
      if (tx == 0 && tz == 0) firstIsNaN = std::isnan(heights[0]);
      MergeHeightRange(&range, tileRange);
    }
  }
  if (ok) {
    *minHeight = firstIsNaN || !range.found ? NAN : range.low;
    *maxHeight = firstIsNaN || !range.found ? NAN : range.high;
  }
  free(heights);
  free(xWalks);
  free(zWalks);
  free(zRowStart);
  ReleaseSynthesisPlan(&plan);
  return ok;
}
