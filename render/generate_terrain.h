// The viewer's generation: synthesis of the terrain, then its display list.
#pragma once

#include <cstdint>

struct TerrainGrid;

// Synthesizes the terrain into a freshly created grid and compiles display
// list 1 from it. Returns false, compiling nothing, when the synthesis could
// not obtain its memory.
bool GenerateTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale, float freqScale,
                     float initFreq, int32_t passCount, int32_t river, int32_t flat);
