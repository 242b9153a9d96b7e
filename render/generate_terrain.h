// The viewer's generation: synthesis of the terrain, then its display list.
#pragma once

#include <cstdint>

struct ErosionSettings;
struct TerrainGrid;

// Synthesizes the terrain into a freshly created grid and compiles display
// list 1 from it. Returns false, compiling nothing, when the synthesis could
// not obtain its memory.
bool GenerateTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale, float freqScale,
                     float initFreq, int32_t passCount, int32_t river, int32_t flat);

// Erodes a generated grid with settings already checked, takes its height
// range again and compiles display list 1 from it anew. False, compiling
// nothing, when the erosion could not obtain its memory.
bool ErodeGeneratedTerrain(TerrainGrid* grid, const ErosionSettings& erosion, int32_t flat);
