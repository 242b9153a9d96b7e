// Generation of a terrain's heights and water from its parameters, without drawing anything.
#pragma once

#include <cstdint>

struct TerrainGrid;

// Records the parameters in a freshly created grid, runs passCount synthesis
// passes (frequency growing by freqScale, amplitude shrinking by
// passHeightScale) from the seed, carves a river when river equals 1, and sets
// minHeight and maxHeight. The fields are written whole, not added to. It leaves
// the random source where the plain generation below leaves it.
// Returns false when the grid lacks its fields or is wider or deeper than one
// field may be (kMaxFieldSide), or scratch memory cannot be had; the grid then
// holds no usable terrain.
bool SynthesizeTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale,
                       float freqScale, float initFreq, int32_t passCount, int32_t river);

// The same generation the plain way: RandomSeed, SynthesisPass after SynthesisPass
// onto the heights, CarveRiver at the grid's own size, then FindHeightRange.
// The reference the fast generation is measured and checked against.
bool SynthesizeTerrainPlain(TerrainGrid* grid, int32_t seed, float passHeightScale,
                            float freqScale, float initFreq, int32_t passCount, int32_t river);

// Sets the grid's minHeight and maxHeight from its heights.
void FindHeightRange(TerrainGrid* grid);
