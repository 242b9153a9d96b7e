// The generation driver: seeding, the octave passes, the river and the height range.
#include "terrain/terrain_synthesis.h"

#include <cmath>

#include "terrain/random_source.h"
#include "terrain/river.h"
#include "terrain/synthesis_pass.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_region.h"
#include "terrain/tiled_synthesis.h"

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

static void RecordParameters(TerrainGrid* grid, int32_t seed, float passHeightScale,
                             float freqScale, float initFreq, int32_t passCount) {
  grid->seed = seed;
  grid->passCount = passCount;
  grid->passHeightScale = passHeightScale;
  grid->freqScale = freqScale;
  grid->initFreq = initFreq;
}

bool SynthesizeTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale,
                       float freqScale, float initFreq, int32_t passCount, int32_t river) {
  RecordParameters(grid, seed, passHeightScale, freqScale, initFreq, passCount);
  if (!grid->heights || !grid->water || grid->width < 1 || grid->depth < 1) return false;
  const TerrainRect whole = {0, 0, grid->width, grid->depth};
  char message[160];
  if (!CheckTerrainRect(grid->width, grid->depth, whole, message, sizeof message)) return false;

  const TerrainSettings settings = {seed, grid->baseHeight, passHeightScale, freqScale,
                                    initFreq, passCount, river};
  SynthesisPlan plan;
  if (!PlanSynthesis(settings, grid->width, grid->depth, &plan)) return false;
  HeightRange range = {false, 0.0f, 0.0f, 0, 0};
  const RectOutput output = {grid->heights, grid->water, &range};
  const bool made = SynthesizeRect(plan, whole, nullptr, nullptr, 0, output, nullptr);
  if (made) {
    const bool none = std::isnan(grid->heights[0]) || !range.found;
    grid->minHeight = none ? grid->heights[0] : range.low;
    grid->maxHeight = none ? grid->heights[0] : range.high;
    RandomSetState(plan.finalState);
  }
  ReleaseSynthesisPlan(&plan);
  return made;
}

static bool AddRiver(TerrainGrid* grid) {
  const float u1 = static_cast<float>(RandomUniform());
  const float u2 = static_cast<float>(RandomUniform());
  const RiverEnd riverStart = {u1, 0.0f};
  const RiverEnd riverEnd = {u2, 1.0f};
  return CarveRiver(grid->heights, grid->water, grid->width, grid->depth, riverStart, riverEnd, 0.0f);
}

bool SynthesizeTerrainPlain(TerrainGrid* grid, int32_t seed, float passHeightScale,
                            float freqScale, float initFreq, int32_t passCount, int32_t river) {
  RecordParameters(grid, seed, passHeightScale, freqScale, initFreq, passCount);
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
