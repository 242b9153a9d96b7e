// The synthesis pass: lattice fill, row stage, column stage, addition.
#include "terrain/synthesis_pass.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "terrain/catmull_rom.h"
#include "terrain/random_source.h"
#include "terrain/spline_walk.h"
#include "terrain/terrain_grid.h"

int64_t LatticeSize(float freq) {
  if (std::isnan(freq)) return 0;
  const double n = static_cast<double>(freq) + 2.0;
  if (n <= 0.0) return 0;
  if (n >= 2147483648.0) return -1;
  return static_cast<int64_t>(n);
}

// The four consecutive points from start; points at or past count read as 0.0.
static void Window(const float* points, int64_t count, int64_t start, float window[4]) {
  for (int i = 0; i < 4; ++i) {
    const int64_t index = start + i;
    window[i] = index < count ? points[index] : 0.0f;
  }
}

static void FillLattice(float* lattice, int64_t values) {
  for (int64_t i = 0; i < values; ++i) {
    const double v = static_cast<double>(RandomNext());
    lattice[i] = static_cast<float>(v * static_cast<double>(kRandomUnitScale) * 2.0 - 1.0);
  }
}

static void DrawOnly(int64_t values) {
  for (int64_t i = 0; i < values; ++i) RandomNext();
}

bool SynthesisPass(float* heights, float freq, float amplitude, int width, int depth) {
  const int64_t n = LatticeSize(freq);
  if (n < 0) return false;
  if (n < 3) {
    DrawOnly(n * n);
    return true;
  }
  const int64_t columns = width > 0 ? width : 0;
  const int64_t rows = depth > 0 ? depth : 0;

  float* lattice = NewZeroFloats(n * n);
  float* rowBuffer = NewZeroFloats(n * columns);
  float* columnBuffer = NewZeroFloats(n);
  float* octave = NewZeroFloats(columns * rows);
  if (!lattice || !rowBuffer || !columnBuffer || !octave) {
    free(lattice);
    free(rowBuffer);
    free(columnBuffer);
    free(octave);
    return false;
  }

  const double segments = static_cast<double>(freq) - 1.0;
  const float xStep = static_cast<float>(static_cast<double>(width) / segments);
  const float zStep = static_cast<float>(static_cast<double>(depth) / segments);
  float window[4];

  FillLattice(lattice, n * n);

  for (int64_t r = 0; r < n; ++r) {
    SplineWalk walk = {0.0f, 0};
    for (int64_t x = 0; x < columns; ++x) {
      Window(lattice + r * n, n, walk.windowStart, window);
      rowBuffer[r * columns + x] =
          static_cast<float>(CatmullRomSample(WalkParameter(walk, xStep), 4, window));
      AdvanceWalk(&walk, xStep);
    }
  }

  for (int64_t x = 0; x < columns; ++x) {
    for (int64_t r = 0; r < n; ++r) columnBuffer[r] = rowBuffer[r * columns + x];
    SplineWalk walk = {0.0f, 0};
    for (int64_t z = 0; z < rows; ++z) {
      Window(columnBuffer, n, walk.windowStart, window);
      const double sample = CatmullRomSample(WalkParameter(walk, zStep), 4, window);
      octave[x + z * columns] = static_cast<float>(static_cast<double>(amplitude) * sample);
      AdvanceWalk(&walk, zStep);
    }
  }

  for (int64_t i = 0; i < columns * rows; ++i) {
    heights[i] = static_cast<float>(static_cast<double>(octave[i]) + static_cast<double>(heights[i]));
  }

  free(lattice);
  free(rowBuffer);
  free(columnBuffer);
  free(octave);
  return true;
}
