// Compiling a terrain's solid, height-coloured mesh into display list 1.
#include "render/terrain_list.h"

#include <windows.h>

#include <GL/gl.h>

#include "terrain/terrain_grid.h"

// The ramp's green and blue factors are the 32-bit floats nearest 1/3 and 0.2.
static const float kRampGreen = 0.33333334f;
static const float kRampBlue = 0.2f;
// Water above this intensity tints the mesh.
static const double kWaterTint = 0.4;

double GridCoordinate(float extent, int32_t index, int32_t count) {
  const double e = static_cast<double>(extent);
  return e * (static_cast<double>(index) / static_cast<double>(count)) - e * 0.5;
}

// The ramp parameter s: 0.3 at minHeight rising to 0.7 at maxHeight. A grid of
// one single height has no span; it takes the colour of the lowest height.
static double RampParameter(const TerrainGrid* grid, float h) {
  const double span = static_cast<double>(grid->maxHeight) - static_cast<double>(grid->minHeight);
  const double q = span == 0.0 ? 0.0 : (static_cast<double>(h) - static_cast<double>(grid->minHeight)) / span;
  return 0.3 + 0.4 * q;
}

// Sets the colour of sample k: the ramp, replaced by the water tint where the
// river runs. The first vertex of a pair multiplies all three factors by the
// double s; the second rounds s to a float before green and blue.
static void SampleColour(const TerrainGrid* grid, int64_t k, bool roundForGreenBlue) {
  const double s = RampParameter(grid, grid->heights[k]);
  const double sGreenBlue = roundForGreenBlue ? static_cast<double>(static_cast<float>(s)) : s;
  glColor3f(static_cast<float>(0.25 * s), static_cast<float>(static_cast<double>(kRampGreen) * sGreenBlue),
            static_cast<float>(static_cast<double>(kRampBlue) * sGreenBlue));
  const double w = static_cast<double>(grid->water[k]);
  if (w > kWaterTint) glColor3f(0.0f, static_cast<float>((1.0 - w) * 0.5), static_cast<float>(w * 0.5));
}

static void SampleVertex(const TerrainGrid* grid, int32_t column, int32_t row, int32_t flat,
                         bool roundForGreenBlue) {
  const int64_t k = column + static_cast<int64_t>(row) * grid->width;
  SampleColour(grid, k, roundForGreenBlue);
  const float y = flat != 0 ? 0.0f : grid->heights[k];
  glVertex3f(static_cast<float>(GridCoordinate(grid->extentX, column, grid->width)), y,
             static_cast<float>(GridCoordinate(grid->extentZ, row, grid->depth)));
}

void BuildTerrainList(const TerrainGrid* grid, int32_t flat) {
  if (grid == nullptr || grid->heights == nullptr || grid->water == nullptr) return;
  glNewList(1, GL_COMPILE);
  // Each strip runs (c + 1, j), (c, j), (c, j + 1)... counter-clockwise seen
  // from above, so the upper side of the mesh is its front face.
  for (int32_t c = 0; c + 1 < grid->width; ++c) {
    glBegin(GL_QUAD_STRIP);
    for (int32_t j = 0; j < grid->depth; ++j) {
      SampleVertex(grid, c + 1, j, flat, false);
      SampleVertex(grid, c, j, flat, true);
    }
    glEnd();
  }
  glEndList();
}
