// The height range of a block, and two ranges merged into one.
#include "terrain/height_ranges.h"

void MergeHeightRange(HeightRange* into, const HeightRange& from) {
  if (!from.found) return;
  if (!into->found) {
    *into = from;
    return;
  }
  if (from.low < into->low || (from.low == into->low && from.lowAt < into->lowAt)) {
    into->low = from.low;
    into->lowAt = from.lowAt;
  }
  if (from.high > into->high || (from.high == into->high && from.highAt < into->highAt)) {
    into->high = from.high;
    into->highAt = from.highAt;
  }
}

// The block's range. Equal values differ only as +0 and -0: for a zero the first
// one in row order is looked up, as a scan with strict comparisons keeps it.
HeightRange BlockRange(const SynthesisKernels& kernels, const SynthesisPlan& plan,
                       TerrainRect rect, const Block& block, const float* heights,
                       int64_t stride) {
  HeightRange range = {false, 0.0f, 0.0f, 0, 0};
  const int64_t width = block.x1 - block.x0;
  for (int64_t z = block.z0; z < block.z1; ++z) {
    float low = 0.0f;
    float high = 0.0f;
    if (!kernels.valueRange(heights + z * stride + block.x0, width, &low, &high)) continue;
    const int64_t at = (rect.z0 + z) * plan.terrainWidth + rect.x0 + block.x0;
    const HeightRange line = {true, low, high, at, at};
    MergeHeightRange(&range, line);
  }
  if (!range.found || (range.low != 0.0f && range.high != 0.0f)) return range;
  for (int64_t z = block.z0; z < block.z1; ++z) {
    const float* line = heights + z * stride + block.x0;
    for (int64_t x = 0; x < width; ++x) {
      if (line[x] != 0.0f) continue;
      const int64_t at = (rect.z0 + z) * plan.terrainWidth + rect.x0 + block.x0 + x;
      if (range.low == 0.0f) {
        range.low = line[x];
        range.lowAt = at;
      }
      if (range.high == 0.0f) {
        range.high = line[x];
        range.highAt = at;
      }
      return range;
    }
  }
  return range;
}
