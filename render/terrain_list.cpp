// Compiling a terrain's solid, height-coloured mesh into display list 1, or drawing it from vertex arrays.
#include "render/terrain_list.h"

#include <windows.h>

#include <GL/gl.h>

#include <cstddef>
#include <thread>
#include <vector>

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

static TerrainSource terrainSource = kTerrainFromList;
static int32_t arraysFlat = 0;  // how the arrays lay the mesh, set by the last BuildTerrainList

void BuildTerrainList(const TerrainGrid* grid, int32_t flat) {
  if (terrainSource == kTerrainFromArrays) {
    arraysFlat = flat;
    return;
  }
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

void SetTerrainSource(TerrainSource source) { terrainSource = source; }

TerrainSource CurrentTerrainSource() { return terrainSource; }

// One strip's vertices: position and colour, as SampleVertex sends them (the colour last set wins).
static void PutArrayVertex(const TerrainGrid* grid, int32_t column, int32_t row, int32_t flat,
                           bool roundForGreenBlue, float* position, float* colour) {
  const int64_t k = column + static_cast<int64_t>(row) * grid->width;
  const MeshSampleColour sample =
      SampleMeshColour(grid->heights[k], grid->water[k], grid->minHeight, grid->maxHeight, roundForGreenBlue);
  const float* shown = ShownColour(sample);
  colour[0] = shown[0];
  colour[1] = shown[1];
  colour[2] = shown[2];
  position[0] = static_cast<float>(GridCoordinate(grid->extentX, column, grid->width));
  position[1] = flat != 0 ? 0.0f : grid->heights[k];
  position[2] = static_cast<float>(GridCoordinate(grid->extentZ, row, grid->depth));
}

// Strips are filled this many at a time, walking the rows: each row's few samples sit
// side by side in memory, where one strip alone would stride through the whole field.
static const int32_t kStripsAtOnce = 32;

// The vertices of strips first .. first + strips - 1, each 2 x depth of them.
struct StripBatch {
  int32_t first = 0;
  int32_t strips = 0;
  std::vector<float> positions;
  std::vector<float> colours;
};

static void FillStrips(const TerrainGrid* grid, int32_t flat, int32_t first, StripBatch* batch) {
  const size_t count = 2 * static_cast<size_t>(grid->depth);
  batch->first = first;
  batch->strips = grid->width - 1 - first < kStripsAtOnce ? grid->width - 1 - first : kStripsAtOnce;
  batch->positions.resize(3 * count * kStripsAtOnce);
  batch->colours.resize(3 * count * kStripsAtOnce);
  for (int32_t j = 0; j < grid->depth; ++j) {
    for (int32_t s = 0; s < batch->strips; ++s) {
      const int32_t c = first + s;
      const size_t v = static_cast<size_t>(s) * count + 2 * static_cast<size_t>(j);
      PutArrayVertex(grid, c + 1, j, flat, false, &batch->positions[3 * v], &batch->colours[3 * v]);
      PutArrayVertex(grid, c, j, flat, true, &batch->positions[3 * v + 3], &batch->colours[3 * v + 3]);
    }
  }
}

void DrawTerrainArrays(const TerrainGrid* grid, int32_t flat) {
  if (grid == nullptr || grid->heights == nullptr || grid->water == nullptr || grid->width < 2) return;
  const size_t count = 2 * static_cast<size_t>(grid->depth);  // vertices a strip
  // While OpenGL draws one batch, a second thread fills the next.
  StripBatch batches[2];
  FillStrips(grid, flat, 0, &batches[0]);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  for (int32_t first = 0, at = 0; first + 1 < grid->width; first += kStripsAtOnce, at ^= 1) {
    const int32_t next = first + kStripsAtOnce;
    std::thread filler;
    if (next + 1 < grid->width) {
      try {
        filler = std::thread(FillStrips, grid, flat, next, &batches[at ^ 1]);
      } catch (...) {
        FillStrips(grid, flat, next, &batches[at ^ 1]);
      }
    }
    const StripBatch& batch = batches[at];
    for (int32_t s = 0; s < batch.strips; ++s) {
      glVertexPointer(3, GL_FLOAT, 0, &batch.positions[3 * count * static_cast<size_t>(s)]);
      glColorPointer(3, GL_FLOAT, 0, &batch.colours[3 * count * static_cast<size_t>(s)]);
      glDrawArrays(GL_QUAD_STRIP, 0, static_cast<GLsizei>(count));
    }
    if (filler.joinable()) filler.join();
  }
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void CallTerrainMesh(const TerrainGrid* grid) {
  if (terrainSource == kTerrainFromArrays) DrawTerrainArrays(grid, arraysFlat);
  else glCallList(1);
}
