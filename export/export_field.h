// The generated samples an export writes from: a rectangle of a terrain, possibly with a margin.
#pragma once

#include <algorithm>
#include <cstdint>

#include "terrain/terrain_region.h"

// The fields hold the samples of block (element c + j * block.width for column
// block.x0 + c, row block.z0 + j); the files take the samples of rect, which
// lies inside block. A mesh reads one sample around rect where the terrain has
// one, so that the normals of neighbouring tiles agree.
struct ExportField {
  const float* heights;
  const float* water;  // null when no file needs it
  TerrainRect block;
  TerrainRect rect;
  int64_t terrainWidth;
  int64_t terrainDepth;
  float low;           // the height range the formats scale to
  float high;
};

// The sample at terrain column x, row z, which must lie inside block.
inline int64_t FieldIndex(const ExportField& field, int64_t x, int64_t z) {
  return (x - field.block.x0) + (z - field.block.z0) * field.block.width;
}

// The lowest and highest height of rect's samples.
inline void FindRectHeightRange(const ExportField& field, float* low, float* high) {
  const TerrainRect& rect = field.rect;
  *low = *high = field.heights[FieldIndex(field, rect.x0, rect.z0)];
  for (int64_t j = 0; j < rect.depth; ++j) {
    const float* row = field.heights + FieldIndex(field, rect.x0, rect.z0 + j);
    for (int64_t c = 0; c < rect.width; ++c) {
      *low = std::min(*low, row[c]);
      *high = std::max(*high, row[c]);
    }
  }
}
