// Rectangles of terrains of any size: tiles against the whole, threads, instruction sets, height ranges and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "golden_data.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_region.h"
#include "terrain/terrain_synthesis.h"

struct Field {
  std::vector<float> heights;
  std::vector<float> water;
};

static Field Synthesize(const TerrainSettings& settings, int64_t width, int64_t depth, TerrainRect rect,
                        int threads = 0) {
  Field field;
  field.heights.assign(static_cast<size_t>(rect.width * rect.depth), -1.0f);
  field.water.assign(field.heights.size(), -1.0f);
  EXPECT_TRUE(SynthesizeTerrainRect(settings, width, depth, rect, threads, field.heights.data(),
                                    field.water.data(), nullptr));
  return field;
}

static Field Whole(const TerrainSettings& settings, int64_t width, int64_t depth, int threads = 0) {
  return Synthesize(settings, width, depth, {0, 0, width, depth}, threads);
}

static bool SameFloats(const float* a, const float* b, size_t count) {
  return memcmp(a, b, count * sizeof(float)) == 0;
}

// True when tile holds rect cut from whole (a width-wide field).
static bool IsCut(const Field& tile, const Field& whole, int64_t width, TerrainRect rect) {
  for (int64_t j = 0; j < rect.depth; ++j) {
    const size_t from = static_cast<size_t>((rect.z0 + j) * width + rect.x0);
    const size_t to = static_cast<size_t>(j * rect.width);
    if (!SameFloats(&tile.heights[to], &whole.heights[from], static_cast<size_t>(rect.width)) ||
        !SameFloats(&tile.water[to], &whole.water[from], static_cast<size_t>(rect.width))) {
      return false;
    }
  }
  return true;
}

TEST(TerrainRegion, TilesEqualTheCutFromTheWhole) {
  const TerrainSettings mixed = {12345, 12.5f, 0.5f, 3.0f, 2.0f, 6, 0};
  const TerrainSettings river = {7, 8.0f, 0.4f, 6.0f, 4.0f, 5, 1};
  const struct { TerrainSettings settings; int64_t width, depth; } terrains[] = {
      {mixed, 131, 97}, {river, 131, 97}, {river, 100, 100}, {mixed, 600, 7}};
  for (const auto& t : terrains) {
    SCOPED_TRACE(testing::Message() << t.width << " x " << t.depth << " river " << t.settings.river);
    const Field whole = Whole(t.settings, t.width, t.depth);
    const int64_t w = t.width, d = t.depth;
    const TerrainRect tiles[] = {
        {1, 3, w / 2 + 1, d / 3},              // odd offsets
        {w / 3, d / 2, w - w / 3, d - d / 2},  // touching the far edges
        {w - 1, 0, 1, d},                      // the last column
        {0, d - 1, w, 1},                      // the last row
        {w / 2, d / 3, 1, 1},                  // one sample, off the diagonal
    };
    for (const TerrainRect& rect : tiles) {
      SCOPED_TRACE(testing::Message() << rect.x0 << "," << rect.z0 << " " << rect.width << "x" << rect.depth);
      EXPECT_TRUE(IsCut(Synthesize(t.settings, w, d, rect, 2), whole, w, rect));
    }
  }
  // 1000 passes' walks along a 16000-sample row exceed what is kept at once (64 MiB),
  // so the whole runs its passes in four groups; the narrow tile runs them in one.
  const TerrainSettings many = {5, 1.0f, 0.999f, 0.0f, 1.5f, 1000, 1};
  const TerrainRect narrow = {9001, 1, 3000, 1};
  EXPECT_TRUE(IsCut(Synthesize(many, 16000, 2, narrow), Whole(many, 16000, 2), 16000, narrow));
}

TEST(TerrainRegion, ThreadCountChangesNoBit) {
  // Large enough for several blocks and for more than one thread.
  const TerrainSettings settings = {-9, 8.0f, 0.4f, 6.0f, 4.0f, 5, 1};
  const Field one = Whole(settings, 523, 301, 1);
  for (int threads : {2, 7, 0}) {
    const Field many = Whole(settings, 523, 301, threads);
    EXPECT_TRUE(SameFloats(one.heights.data(), many.heights.data(), one.heights.size())) << threads;
    EXPECT_TRUE(SameFloats(one.water.data(), many.water.data(), one.water.size())) << threads;
  }
}

TEST(TerrainRegion, EveryInstructionSetMatchesThePlainPasses) {
  // Frequencies 0 and 1, non-whole ones (reaching a point past the lattice), and ones above the
  // width + 1 (clamped parameters); step 0 and negative steps; negative scales. The river only
  // at 100 x 100, where both carve it the same way.
  const float freqs[] = {0.0f,  1.0f,   1.5f,   1.999f, 2.0f,   2.5f,   3.7f,   4.0f,
                         10.0f, 28.0f,  99.3f,  100.5f, 101.0f, 101.9f, 150.25f, 257.0f, 1000.0f};
  const float steps[] = {0.0f, 6.0f, -3.0f, 1.25f, 50.0f};
  const float scales[] = {0.4f, -0.7f, 1.5f};
  std::mt19937 rng(99);
  for (int round = 0; round < 60; ++round) {
    const bool viewerSize = round % 4 == 0;
    const int32_t width = viewerSize ? 100 : 1 + static_cast<int32_t>(rng() % 140);
    const int32_t depth = viewerSize ? 100 : 1 + static_cast<int32_t>(rng() % 140);
    const TerrainSettings s = {static_cast<int32_t>(rng()), 8.0f, scales[rng() % 3], steps[rng() % 5],
                               freqs[rng() % 17], static_cast<int32_t>(rng() % 6), round % 8 == 0};
    SCOPED_TRACE(testing::Message() << width << " x " << depth << " freq " << s.initFreq << " step "
                                    << s.freqScale << " passes " << s.passCount << " river " << s.river);
    TerrainGrid* plain = NewTerrainGrid(width, depth, s.terrainHeight);
    ASSERT_TRUE(
        SynthesizeTerrainPlain(plain, s.seed, s.passHeightScale, s.freqScale, s.initFreq, s.passCount, s.river));
    const Field plainField = {std::vector<float>(plain->heights, plain->heights + width * depth),
                              std::vector<float>(plain->water, plain->water + width * depth)};
    const int64_t x0 = rng() % static_cast<uint32_t>(width), z0 = rng() % static_cast<uint32_t>(depth);
    const TerrainRect rect = {x0, z0, 1 + static_cast<int64_t>(rng() % static_cast<uint32_t>(width - x0)),
                              1 + static_cast<int64_t>(rng() % static_cast<uint32_t>(depth - z0))};
    for (TerrainSimd simd : {kTerrainSimdScalar, kTerrainSimdSse2, kTerrainSimdAvx2}) {
      if (!SelectTerrainSimd(simd)) continue;
      SCOPED_TRACE(simd);
      EXPECT_TRUE(IsCut(Synthesize(s, width, depth, rect), plainField, width, rect));
      TerrainGrid* fast = NewTerrainGrid(width, depth, s.terrainHeight);
      ASSERT_TRUE(SynthesizeTerrain(fast, s.seed, s.passHeightScale, s.freqScale, s.initFreq, s.passCount, s.river));
      EXPECT_TRUE(SameFloats(fast->heights, plain->heights, static_cast<size_t>(width * depth)));
      EXPECT_TRUE(SameFloats(&fast->minHeight, &plain->minHeight, 1));
      EXPECT_TRUE(SameFloats(&fast->maxHeight, &plain->maxHeight, 1));
      DestroyTerrainGrid(fast);
    }
    SelectTerrainSimd(kTerrainSimdAuto);
    DestroyTerrainGrid(plain);
  }
}

TEST(TerrainRegion, WholeRangeMatchesAScanOfTheWhole) {
  // Several range tiles across or down, with and without the resampled river.
  const TerrainSettings settings[] = {{3, 8.0f, 0.4f, 6.0f, 4.0f, 5, 1}, {4, 20.0f, 0.6f, 30.0f, 9.0f, 4, 0}};
  const int64_t shapes[][2] = {{4100, 23}, {19, 2050}};
  for (const TerrainSettings& s : settings) {
    for (const auto& shape : shapes) {
      SCOPED_TRACE(testing::Message() << shape[0] << " x " << shape[1]);
      Field whole = Whole(s, shape[0], shape[1]);
      TerrainGrid scan = {};
      scan.width = static_cast<int32_t>(shape[0]);
      scan.depth = static_cast<int32_t>(shape[1]);
      scan.heights = whole.heights.data();
      FindHeightRange(&scan);
      float low = 0.0f, high = 0.0f;
      ASSERT_TRUE(FindTerrainHeightRange(s, shape[0], shape[1], 2, &low, &high, nullptr));
      EXPECT_TRUE(SameFloats(&low, &scan.minHeight, 1));
      EXPECT_TRUE(SameFloats(&high, &scan.maxHeight, 1));
    }
  }
  // A flat terrain: zeros of both signs are equal, the first one counts (+0 here).
  float low = 1.0f, high = 1.0f;
  ASSERT_TRUE(FindTerrainHeightRange({0, 8.0f, 0.4f, 6.0f, 4.0f, 0, 0}, 3000, 5, 0, &low, &high, nullptr));
  EXPECT_TRUE(low == 0.0f && high == 0.0f && !std::signbit(low) && !std::signbit(high));
}

TEST(TerrainRegion, FarTilesOfTheLargestTerrainAgree) {
  const TerrainSettings settings = {1, 8.0f, 0.4f, 6.0f, 4.0f, 5, 1};
  const int64_t side = kMaxTerrainSide;
  const TerrainRect outer = {side - 8, side - 5, 8, 5};
  const TerrainRect inner = {side - 3, side - 4, 3, 4};
  const Field big = Synthesize(settings, side, side, outer);
  for (float h : big.heights) ASSERT_TRUE(std::isfinite(h));
  for (float w : big.water) ASSERT_TRUE(w >= 0.0f && w <= 1.0f);
  const TerrainRect within = {inner.x0 - outer.x0, inner.z0 - outer.z0, inner.width, inner.depth};
  EXPECT_TRUE(IsCut(Synthesize(settings, side, side, inner), big, outer.width, within));
}

TEST(TerrainRegion, RefusedShapesAndRectangles) {
  const struct { int64_t width, depth; TerrainRect rect; const char* mentions; } cases[] = {
      {0, 10, {0, 0, 1, 1}, "1 to 1048576"},
      {10, kMaxTerrainSide + 1, {0, 0, 1, 1}, "1 to 1048576"},
      {10, 10, {0, 0, 0, 5}, "inside the 10 x 10"},
      {10, 10, {-1, 0, 5, 5}, "inside"},
      {10, 10, {6, 0, 5, 5}, "inside"},
      {10, 10, {0, 9, 5, 2}, "inside"},
      {10, 10, {0, INT64_MAX, 5, 2}, "inside"},
      {20000, 10, {0, 0, 20000, 10}, "at most 16384"},
  };
  const TerrainSettings settings = {0, 8.0f, 0.4f, 6.0f, 4.0f, 5, 0};
  float heights[4];
  for (const auto& c : cases) {
    char message[160] = "";
    EXPECT_FALSE(CheckTerrainRect(c.width, c.depth, c.rect, message, sizeof message)) << c.mentions;
    EXPECT_NE(std::string(message).find(c.mentions), std::string::npos) << message;
    EXPECT_FALSE(SynthesizeTerrainRect(settings, c.width, c.depth, c.rect, 1, heights, nullptr, nullptr));
  }
  float low = 0.0f, high = 0.0f;
  EXPECT_FALSE(FindTerrainHeightRange(settings, 0, 5, 1, &low, &high, nullptr));
  // A lattice that can never be held is refused, as the plain pass refuses it.
  const TerrainSettings huge = {0, 8.0f, 0.4f, 6.0f, 3e9f, 1, 0};
  EXPECT_FALSE(SynthesizeTerrainRect(huge, 2, 2, {0, 0, 2, 2}, 1, heights, nullptr, nullptr));
}

TEST(TerrainRegion, ReportsProgressAndStopsWhenCancelled) {
  const TerrainSettings settings = {0, 8.0f, 0.4f, 6.0f, 4.0f, 5, 0};
  std::vector<float> heights(600 * 600);
  SynthesisControl control;
  ASSERT_TRUE(SynthesizeTerrainRect(settings, 600, 600, {0, 0, 600, 600}, 2, heights.data(), nullptr, &control));
  EXPECT_GT(control.workTotal.load(), 1);
  EXPECT_EQ(control.workDone.load(), control.workTotal.load());

  SynthesisControl cancelled;
  cancelled.cancelled = true;
  EXPECT_FALSE(SynthesizeTerrainRect(settings, 600, 600, {0, 0, 600, 600}, 2, heights.data(), nullptr, &cancelled));
  EXPECT_LT(cancelled.workDone.load(), cancelled.workTotal.load());
  float low = 0.0f, high = 0.0f;
  EXPECT_FALSE(FindTerrainHeightRange(settings, 600, 600, 2, &low, &high, &cancelled));
}
