// The river of a terrain that is not 100 x 100: the 100 x 100 river, resampled to the terrain's grid.
#pragma once

#include <cstdint>

#include "terrain/river.h"
#include "terrain/synthesis_kernels.h"
#include "terrain/terrain_region.h"

// The river's base grid: the viewer's 100 x 100.
constexpr int64_t kRiverBaseSide = 100;

// The course is carved on the base grid (its draws are the 100 x 100 terrain's:
// the random state after the passes does not depend on the size) into a height
// change and a water field that start at zero. Both are resampled with the
// Catmull-Rom sampler, separably, along x then z: terrain column c lies at base
// column c * 100 / width (the same world x); its four-point window is the base
// columns floor - 1 .. floor + 2 with the edge columns repeated, its parameter
// the fraction rounded to float as the sampler takes it; rows likewise. The x
// pass is stored as floats. The resampled change, rounded to float, is added to
// the heights after the passes (so before any height range); the resampled
// water, rounded to float, is clamped to [0, 1]. Every cell depends only on its
// own position, so a tile equals the cut from the whole.
struct RiverResample {
  int64_t firstBaseRow;
  int64_t rowStride;
  float* change;         // base rows from firstBaseRow, resampled along x for the rectangle's columns
  float* water;
  int64_t* rowWindow;    // per rectangle row: the base row at or before it
  double* rowParameter;
};

// The course carved into zero-filled base fields of kRiverBaseSide^2 floats each.
void CarveBaseRiver(const RiverCourse& course, float* change, float* water);

// The x pass for the rows and columns of rect. False when memory runs out.
bool PrepareRiverResample(const float* baseChange, const float* baseWater, int64_t terrainWidth,
                          int64_t terrainDepth, TerrainRect rect, const SynthesisKernels& kernels,
                          RiverResample* resample);
void ReleaseRiverResample(RiverResample* resample);

// The z pass for rectangle rows z0 .. z1 - 1 and columns x0 .. x1 - 1 of the
// rectangle's fields (stride floats a row): adds the change to the heights and
// sets the water (unless null). coefficients and waterCoefficients are scratch
// for the kernels' formColumns over x1 - x0 columns.
void AddResampledRiver(const SynthesisKernels& kernels, const RiverResample& resample, int64_t x0,
                       int64_t x1, int64_t z0, int64_t z1, double* coefficients,
                       double* waterCoefficients, float* heights, float* water, int64_t stride);
