// Rectangles of terrains of any size: the golden sizes, tiles against the whole, threads, instruction sets and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
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

static Field Synthesize(const TerrainSettings& settings, int64_t width, int64_t depth,
                        TerrainRect rect, int threads = 0) {
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

static std::vector<std::map<std::string, std::string>> LoadSizes() {
  std::ifstream file(std::string(KORAVEL_TEST_DATA) + "/golden/sizes.tsv");
  std::vector<std::map<std::string, std::string>> rows;
  std::string line;
  std::vector<std::string> header;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    if (header.empty()) {
      header = fields;
      continue;
    }
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < header.size() && i < fields.size(); ++i) row[header[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

TEST(TerrainRegion, GoldenSizesMatchBitForBit) {
  const auto sizes = LoadSizes();
  ASSERT_EQ(sizes.size(), 4u);
  for (const auto& row : sizes) {
    SCOPED_TRACE(row.at("name"));
    const int64_t width = std::atoll(row.at("width").c_str());
    const int64_t depth = std::atoll(row.at("depth").c_str());
    const TerrainSettings settings = {
        static_cast<int32_t>(std::atol(row.at("seed").c_str())), std::strtof(row.at("terrainHeight").c_str(), nullptr),
        std::strtof(row.at("passHeightScale").c_str(), nullptr), std::strtof(row.at("freqScale").c_str(), nullptr),
        std::strtof(row.at("initFreq").c_str(), nullptr), static_cast<int32_t>(std::atol(row.at("passCount").c_str())), 0};
    const Field whole = Whole(settings, width, depth);
    const size_t bytes = whole.heights.size() * sizeof(float);
    EXPECT_EQ(Fnv1a64(whole.heights.data(), bytes), row.at("heights_fnv1a64"));
    float low = 0.0f, high = 0.0f;
    ASSERT_TRUE(FindTerrainHeightRange(settings, width, depth, 0, &low, &high, nullptr));
    EXPECT_EQ(Format9g(low), row.at("minHeight"));
    EXPECT_EQ(Format9g(high), row.at("maxHeight"));
    const std::vector<unsigned char> golden = LoadGoldenStream(row.at("name"), "heights");
    if (!golden.empty()) {
      ASSERT_EQ(golden.size(), bytes);
      EXPECT_EQ(memcmp(golden.data(), whole.heights.data(), bytes), 0);
    }
  }
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
        {1, 3, w / 2 + 1, d / 3},            // odd offsets
        {w / 3, d / 2, w - w / 3, d - d / 2},  // touching the far edges
        {w - 1, 0, 1, d},                    // the last column
        {0, d - 1, w, 1},                    // the last row
        {w / 2, d / 2, 1, 1},                // one sample
        {0, 0, w, d},
    };
    for (const TerrainRect& rect : tiles) {
      SCOPED_TRACE(testing::Message() << rect.x0 << "," << rect.z0 << " " << rect.width << "x" << rect.depth);
      EXPECT_TRUE(IsCut(Synthesize(t.settings, w, d, rect, 2), whole, w, rect));
    }
  }
}

TEST(TerrainRegion, ManyPassesOverAWideTerrainMatchANarrowTile) {
  // 1000 passes' walks along a 16000-sample row exceed what is kept at once (64 MiB),
  // so the whole runs its passes in four groups; the narrow tile runs them in one.
  const TerrainSettings settings = {5, 1.0f, 0.999f, 0.0f, 1.5f, 1000, 1};
  const Field whole = Whole(settings, 16000, 2);
  const TerrainRect tile = {9001, 1, 3000, 1};
  EXPECT_TRUE(IsCut(Synthesize(settings, 16000, 2, tile), whole, 16000, tile));
}

TEST(TerrainRegion, ViewerSizeTilesGiveTheGoldenRiver) {
  GoldenCase golden;
  for (const GoldenCase& c : LoadGoldenCases()) {
    if (c.name == "default-river") golden = c;
  }
  ASSERT_EQ(golden.river, 1);
  const TerrainSettings settings = {golden.seed, golden.terrainHeight, golden.passHeightScale,
                                    golden.freqScale, golden.initFreq, golden.passCount, golden.river};
  Field whole;
  whole.heights.resize(10000);
  whole.water.resize(10000);
  for (const TerrainRect& rect : {TerrainRect{0, 0, 37, 100}, TerrainRect{37, 0, 63, 51}, TerrainRect{37, 51, 63, 49}}) {
    const Field tile = Synthesize(settings, 100, 100, rect);
    for (int64_t j = 0; j < rect.depth; ++j) {
      for (int64_t c = 0; c < rect.width; ++c) {
        whole.heights[static_cast<size_t>((rect.z0 + j) * 100 + rect.x0 + c)] = tile.heights[static_cast<size_t>(j * rect.width + c)];
        whole.water[static_cast<size_t>((rect.z0 + j) * 100 + rect.x0 + c)] = tile.water[static_cast<size_t>(j * rect.width + c)];
      }
    }
  }
  EXPECT_EQ(Fnv1a64(whole.heights.data(), 40000), golden.columns.at("heights_fnv1a64"));
  EXPECT_EQ(Fnv1a64(whole.water.data(), 40000), golden.columns.at("water_fnv1a64"));
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

// The plain passes on a grid of the given shape (the river only at 100 x 100,
// where both carve it the same way).
static TerrainGrid* Plain(const TerrainSettings& s, int32_t width, int32_t depth) {
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  EXPECT_TRUE(CreateTerrainGrid(grid, width, depth, 150.0f, 150.0f, s.terrainHeight));
  EXPECT_TRUE(SynthesizeTerrainPlain(grid, s.seed, s.passHeightScale, s.freqScale, s.initFreq,
                                     s.passCount, s.river));
  return grid;
}

TEST(TerrainRegion, EveryInstructionSetMatchesThePlainPasses) {
  // Frequencies 0 and 1, non-whole ones, and ones above the width + 1; step 0 and
  // negative steps; negative scales.
  const float freqs[] = {0.0f, 1.0f, 1.5f, 2.0f, 3.7f, 4.0f, 10.0f, 28.0f, 99.3f, 101.0f, 257.0f, 1000.0f};
  const float steps[] = {0.0f, 6.0f, -3.0f, 1.25f, 50.0f};
  const float scales[] = {0.4f, -0.7f, 1.5f};
  std::mt19937 rng(99);
  for (int round = 0; round < 60; ++round) {
    const bool viewerSize = round % 4 == 0;
    const int32_t width = viewerSize ? 100 : 1 + static_cast<int32_t>(rng() % 140);
    const int32_t depth = viewerSize ? 100 : 1 + static_cast<int32_t>(rng() % 140);
    const TerrainSettings settings = {static_cast<int32_t>(rng()), 8.0f, scales[rng() % 3], steps[rng() % 5],
                                      freqs[rng() % 12], static_cast<int32_t>(rng() % 6),
                                      viewerSize ? static_cast<int32_t>(rng() % 2) : 0};
    SCOPED_TRACE(testing::Message() << width << " x " << depth << " freq " << settings.initFreq << " step "
                                    << settings.freqScale << " passes " << settings.passCount);
    TerrainGrid* plain = Plain(settings, width, depth);
    const TerrainRect tile = {static_cast<int64_t>(rng() % static_cast<uint32_t>(width)),
                              static_cast<int64_t>(rng() % static_cast<uint32_t>(depth)), 1, 1};
    const TerrainRect rect = {tile.x0, tile.z0, 1 + static_cast<int64_t>(rng() % static_cast<uint32_t>(width - tile.x0)),
                              1 + static_cast<int64_t>(rng() % static_cast<uint32_t>(depth - tile.z0))};
    Field plainField;
    plainField.heights.assign(plain->heights, plain->heights + width * depth);
    plainField.water.assign(plain->water, plain->water + width * depth);
    for (TerrainSimd simd : {kTerrainSimdScalar, kTerrainSimdSse2, kTerrainSimdAvx2}) {
      if (!SelectTerrainSimd(simd)) continue;
      SCOPED_TRACE(simd);
      EXPECT_TRUE(IsCut(Synthesize(settings, width, depth, rect), plainField, width, rect));
      TerrainGrid* fast = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
      ASSERT_TRUE(CreateTerrainGrid(fast, width, depth, 150.0f, 150.0f, settings.terrainHeight));
      ASSERT_TRUE(SynthesizeTerrain(fast, settings.seed, settings.passHeightScale, settings.freqScale,
                                    settings.initFreq, settings.passCount, settings.river));
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
      const Field whole = Whole(s, shape[0], shape[1]);
      TerrainGrid scan = {};
      scan.width = static_cast<int32_t>(shape[0]);
      scan.depth = static_cast<int32_t>(shape[1]);
      scan.heights = const_cast<float*>(whole.heights.data());
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
  EXPECT_FALSE(std::signbit(low));
  EXPECT_FALSE(std::signbit(high));
  EXPECT_EQ(low, 0.0f);
}

TEST(TerrainRegion, FarTilesOfTheLargestTerrainAgree) {
  const TerrainSettings settings = {1, 8.0f, 0.4f, 6.0f, 4.0f, 5, 1};
  const int64_t side = kMaxTerrainSide;
  const TerrainRect outer = {side - 8, side - 5, 8, 5};
  const TerrainRect inner = {side - 3, side - 4, 3, 4};
  const Field big = Synthesize(settings, side, side, outer);
  for (float h : big.heights) ASSERT_TRUE(std::isfinite(h));
  for (float w : big.water) ASSERT_TRUE(w >= 0.0f && w <= 1.0f);
  const Field small = Synthesize(settings, side, side, inner);
  const TerrainRect within = {inner.x0 - outer.x0, inner.z0 - outer.z0, inner.width, inner.depth};
  EXPECT_TRUE(IsCut(small, big, outer.width, within));
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
