// Generating any rectangle of a terrain of any size: whole fields, tiles and height ranges.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// The generation parameters, as the panel and koravel-export take them.
struct TerrainSettings {
  int32_t seed;
  float terrainHeight;    // amplitude of the first pass
  float passHeightScale;  // factor applied to the amplitude after each pass
  float freqScale;        // added to the lattice frequency after each pass
  float initFreq;         // lattice frequency of the first pass
  int32_t passCount;
  int32_t river;          // a river is carved when this equals 1
};

// Every terrain covers 150 x 150 world units, whatever its sample count.
constexpr float kTerrainExtentUnits = 150.0f;

// One generated field (a whole terrain, or a tile of a larger one) has at most
// this many samples a side; a terrain made in tiles at most kMaxTerrainSide.
constexpr int64_t kMaxFieldSide = 16384;
constexpr int64_t kMaxTerrainSide = 1048576;

// A rectangle of samples: columns x0 .. x0 + width - 1, rows z0 .. z0 + depth - 1.
struct TerrainRect {
  int64_t x0;
  int64_t z0;
  int64_t width;
  int64_t depth;
};

// Shared between a synthesis and whoever watches it, possibly from another thread.
// The synthesis sets workTotal before it starts and adds to workDone as it goes;
// setting cancelled makes it stop soon and return false.
struct SynthesisControl {
  std::atomic<int64_t> workTotal{0};
  std::atomic<int64_t> workDone{0};
  std::atomic<bool> cancelled{false};
};

// Checks a terrain shape and a rectangle of it: both sides of the terrain in
// 1 .. kMaxTerrainSide, the rectangle non-empty, inside the terrain and at most
// kMaxFieldSide a side. On refusal writes a message naming the limit and returns false.
bool CheckTerrainRect(int64_t terrainWidth, int64_t terrainDepth, TerrainRect rect,
                      char* message, size_t messageSize);

// Fills heights (and water, unless null) with the samples of rect of the
// terrainWidth x terrainDepth terrain: element c + j * rect.width holds column
// rect.x0 + c, row rect.z0 + j. The result is bit for bit the same whatever the
// rectangle, the thread count (0: every core) or the processor, and at 100 x 100
// it is the viewer's terrain. Memory needed besides the fields grows with the
// rectangle, not with the terrain. Returns false, with the fields undefined, when
// the rectangle is refused, scratch memory cannot be had or control was cancelled.
//
// The river: at 100 x 100 it is the viewer's; at any other size it is the
// 100 x 100 river (same course, same relative width) resampled to the terrain's
// grid with Catmull-Rom splines, its height change added before any height range.
bool SynthesizeTerrainRect(const TerrainSettings& settings, int64_t terrainWidth,
                           int64_t terrainDepth, TerrainRect rect, int threads, float* heights,
                           float* water, SynthesisControl* control);

// The height range of the whole terrain, computed tile by tile (at most
// 2048 x 2048 heights at a time) without keeping its fields: what tiles need to
// share one scale with their neighbours. It costs about the time of generating
// the whole terrain (no water), but only one such tile's memory. The values are
// those of a scan of all heights in row order with strict comparisons, rivers
// included (NaN when the first height is NaN).
bool FindTerrainHeightRange(const TerrainSettings& settings, int64_t terrainWidth,
                            int64_t terrainDepth, int threads, float* minHeight, float* maxHeight,
                            SynthesisControl* control);

// The instruction set of the synthesis's inner loops. Every choice gives the same
// bits; tests and benchmarks pick one to compare them. Auto (the default) takes
// the best this processor has.
enum TerrainSimd {
  kTerrainSimdAuto,
  kTerrainSimdScalar,
  kTerrainSimdSse2,
  kTerrainSimdAvx2,
};

// Picks the instruction set for the syntheses that start afterwards; false, changing
// nothing, when this build or processor lacks it.
bool SelectTerrainSimd(TerrainSimd simd);

// The instruction set the next synthesis uses (never Auto).
TerrainSimd ActiveTerrainSimd();
