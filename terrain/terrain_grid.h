// The TerrainGrid record: generation parameters, shape, height range and the two sample fields.
#pragma once

#include <cstdint>

struct TerrainGrid {
  int32_t seed;
  int32_t passCount;
  float baseHeight;
  float passHeightScale;
  float freqScale;
  float initFreq;
  int32_t width;   // columns, along x
  int32_t depth;   // rows, along z
  float extentX;
  float extentZ;
  float minHeight;
  float maxHeight;
  float* heights;  // width x depth, sample (column c, row j) at c + j * width
  float* water;    // same layout; river intensity, 0 away from the river
};

// Obtains zero-filled heights and water of width x depth floats and stores the
// shape. The record itself comes zero-filled from its owner (calloc). Returns
// false, with both fields left empty, when a field cannot be obtained or the
// shape is not at least 1 x 1; such a grid must not be generated.
bool CreateTerrainGrid(TerrainGrid* grid, int32_t width, int32_t depth,
                       float extentX, float extentZ, float baseHeight);

// Releases heights, then water, then the record (obtained with calloc).
void DestroyTerrainGrid(TerrainGrid* grid);

// Obtains count zero-filled floats, or null when count is negative or too
// large to obtain.
float* NewZeroFloats(int64_t count);
