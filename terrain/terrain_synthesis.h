// Generation of a terrain's heights and water from its parameters, without drawing anything.
#pragma once

#include <cstdint>

struct TerrainGrid;

// Records the parameters in a freshly created grid, seeds the random source,
// runs passCount synthesis passes (frequency growing by freqScale, amplitude
// shrinking by passHeightScale), carves a river when river equals 1, and sets
// minHeight and maxHeight.
// Returns false when the grid lacks its fields or a pass or the river could not
// obtain its scratch memory; the grid then holds no usable terrain.
bool SynthesizeTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale,
                       float freqScale, float initFreq, int32_t passCount, int32_t river);

// Sets the grid's minHeight and maxHeight from its heights.
void FindHeightRange(TerrainGrid* grid);
