// Compiling a terrain's solid, height-coloured mesh into display list 1, or drawing it from vertex arrays.
#include "render/terrain_list.h"

#include <windows.h>

#include <GL/gl.h>

#include <cmath>
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

// Clip coordinates from the object's: the projection times the modelview, column-major.
struct ClipTransform {
  double m[16];
};

static ClipTransform CurrentClipTransform() {
  GLfloat model[16], projection[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, model);
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  ClipTransform transform;
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 4; ++row) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) {
        sum += static_cast<double>(projection[4 * k + row]) * static_cast<double>(model[4 * column + k]);
      }
      transform.m[4 * column + row] = sum;
    }
  }
  return transform;
}

// One bit for each plane of the view volume the point lies clearly beyond: by a margin far
// wider than the renderer's rounding, so that a quad whose corners all lie beyond one plane
// has no pixel in the picture.
static uint8_t OutsideBits(const ClipTransform& t, const float* p) {
  double clip[4];
  for (int row = 0; row < 4; ++row) {
    clip[row] = t.m[row] * static_cast<double>(p[0]) + t.m[4 + row] * static_cast<double>(p[1]) +
                t.m[8 + row] * static_cast<double>(p[2]) + t.m[12 + row];
  }
  const double w = clip[3];
  uint8_t bits = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const double margin = 1e-3 * (std::fabs(w) + std::fabs(clip[axis])) + 1e-6;
    if (clip[axis] < -w - margin) bits |= static_cast<uint8_t>(1 << (2 * axis));
    if (clip[axis] > w + margin) bits |= static_cast<uint8_t>(2 << (2 * axis));
  }
  return bits;
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
  std::vector<uint8_t> outside;  // each vertex's OutsideBits
};

static void FillStrips(const TerrainGrid* grid, int32_t flat, const ClipTransform* view, int32_t first,
                       StripBatch* batch) {
  const size_t count = 2 * static_cast<size_t>(grid->depth);
  batch->first = first;
  batch->strips = grid->width - 1 - first < kStripsAtOnce ? grid->width - 1 - first : kStripsAtOnce;
  batch->positions.resize(3 * count * kStripsAtOnce);
  batch->colours.resize(3 * count * kStripsAtOnce);
  batch->outside.resize(count * kStripsAtOnce);
  for (int32_t j = 0; j < grid->depth; ++j) {
    for (int32_t s = 0; s < batch->strips; ++s) {
      const int32_t c = first + s;
      const size_t v = static_cast<size_t>(s) * count + 2 * static_cast<size_t>(j);
      PutArrayVertex(grid, c + 1, j, flat, false, &batch->positions[3 * v], &batch->colours[3 * v]);
      PutArrayVertex(grid, c, j, flat, true, &batch->positions[3 * v + 3], &batch->colours[3 * v + 3]);
      batch->outside[v] = OutsideBits(*view, &batch->positions[3 * v]);
      batch->outside[v + 1] = OutsideBits(*view, &batch->positions[3 * v + 3]);
    }
  }
}

// Draws one strip's quads but those wholly beyond a plane of the view volume: runs of the
// strip, each quad with the same corners in the same order, so the same triangles and pixels.
static void DrawStripInView(const uint8_t* outside, int32_t depth) {
  int32_t j = 0;
  auto beyond = [outside](int32_t quad) {
    const size_t v = 2 * static_cast<size_t>(quad);
    return (outside[v] & outside[v + 1] & outside[v + 2] & outside[v + 3]) != 0;
  };
  while (j + 1 < depth) {
    while (j + 1 < depth && beyond(j)) ++j;
    const int32_t start = j;
    while (j + 1 < depth && !beyond(j)) ++j;
    if (j > start) glDrawArrays(GL_QUAD_STRIP, 2 * start, 2 * (j - start + 1));
  }
}

void DrawTerrainArrays(const TerrainGrid* grid, int32_t flat) {
  if (grid == nullptr || grid->heights == nullptr || grid->water == nullptr || grid->width < 2) return;
  const size_t count = 2 * static_cast<size_t>(grid->depth);  // vertices a strip
  // While OpenGL draws one batch, a second thread fills the next.
  StripBatch batches[2];
  const ClipTransform view = CurrentClipTransform();
  FillStrips(grid, flat, &view, 0, &batches[0]);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  for (int32_t first = 0, at = 0; first + 1 < grid->width; first += kStripsAtOnce, at ^= 1) {
    const int32_t next = first + kStripsAtOnce;
    std::thread filler;
    if (next + 1 < grid->width) {
      try {
        filler = std::thread(FillStrips, grid, flat, &view, next, &batches[at ^ 1]);
      } catch (...) {
        FillStrips(grid, flat, &view, next, &batches[at ^ 1]);
      }
    }
    const StripBatch& batch = batches[at];
    for (int32_t s = 0; s < batch.strips; ++s) {
      glVertexPointer(3, GL_FLOAT, 0, &batch.positions[3 * count * static_cast<size_t>(s)]);
      glColorPointer(3, GL_FLOAT, 0, &batch.colours[3 * count * static_cast<size_t>(s)]);
      DrawStripInView(&batch.outside[count * static_cast<size_t>(s)], grid->depth);
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
