// Compiling a terrain's solid, height-coloured mesh into display list 1.
#include "render/terrain_list.h"

#include <windows.h>

#include <GL/gl.h>

#include "render/mesh_sample.h"
#include "terrain/terrain_grid.h"

// Sets the colour of sample k: the ramp, replaced by the water tint where the river runs.
static void SampleColour(const TerrainGrid* grid, int64_t k, bool roundForGreenBlue) {
  const MeshSampleColour colour =
      SampleMeshColour(grid->heights[k], grid->water[k], grid->minHeight, grid->maxHeight, roundForGreenBlue);
  glColor3f(colour.ramp[0], colour.ramp[1], colour.ramp[2]);
  if (colour.underWater) glColor3f(colour.water[0], colour.water[1], colour.water[2]);
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
