// The generation driver: seeding, the octave passes, the river and the height range.
#include "terrain/terrain_synthesis.h"

#include "terrain/random_source.h"
#include "terrain/river.h"
#include "terrain/synthesis_pass.h"
#include "terrain/terrain_grid.h"

void FindHeightRange(TerrainGrid* grid) {
  const int64_t samples = static_cast<int64_t>(grid->width) * grid->depth;
  grid->minHeight = grid->heights[0];
  grid->maxHeight = grid->heights[0];
  for (int64_t i = 0; i < samples; ++i) {
    const float h = grid->heights[i];
    if (h < grid->minHeight) grid->minHeight = h;
    else if (h > grid->maxHeight) grid->maxHeight = h;
  }
}

static bool AddRiver(TerrainGrid* grid) {
  const float u1 = static_cast<float>(RandomUniform());
  const float u2 = static_cast<float>(RandomUniform());
  const RiverEnd riverStart = {u1, 0.0f};
  const RiverEnd riverEnd = {u2, 1.0f};
  return CarveRiver(grid->heights, grid->water, grid->width, grid->depth, riverStart, riverEnd, 0.0f);
}

bool SynthesizeTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale,
                       float freqScale, float initFreq, int32_t passCount, int32_t river) {
  grid->seed = seed;
  grid->passCount = passCount;
  grid->passHeightScale = passHeightScale;
  grid->freqScale = freqScale;
  grid->initFreq = initFreq;
  if (!grid->heights || !grid->water || grid->width < 1 || grid->depth < 1) return false;

  RandomSeed(seed);
  float freq = grid->initFreq;
  float amplitude = grid->baseHeight;
  for (int32_t pass = 0; pass < passCount; ++pass) {
    if (!SynthesisPass(grid->heights, freq, amplitude, grid->width, grid->depth)) return false;
    freq = static_cast<float>(static_cast<double>(freq) + static_cast<double>(grid->freqScale));
    amplitude = static_cast<float>(static_cast<double>(amplitude) * static_cast<double>(grid->passHeightScale));
  }
  if (river == 1 && !AddRiver(grid)) return false;

  FindHeightRange(grid);
  return true;
}
