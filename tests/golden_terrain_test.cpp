// Every golden terrain reproduced bit for bit at the viewer's size and others: heights, water, range, draws.
#include <gtest/gtest.h>

#include <cstring>

#include "golden_data.h"
#include "terrain/random_source.h"
#include "terrain/terrain_grid.h"

// The fields against the case's hashes, height range and raw streams (water only where given).
static void ExpectGolden(const GoldenCase& golden, const float* heights, const float* water, float low, float high) {
  const size_t bytes = sizeof(float) * static_cast<size_t>(golden.width * golden.depth);
  EXPECT_EQ(Format9g(low), golden.columns.at("minHeight"));
  EXPECT_EQ(Format9g(high), golden.columns.at("maxHeight"));
  for (const auto& field : {std::make_pair("heights", heights), std::make_pair("water", water)}) {
    if (field.second == nullptr) continue;
    SCOPED_TRACE(field.first);
    EXPECT_EQ(Fnv1a64(field.second, bytes), golden.columns.at(std::string(field.first) + "_fnv1a64"));
    const std::vector<unsigned char> raw = LoadGoldenStream(golden.name, field.first);
    if (raw.empty()) continue;
    ASSERT_EQ(raw.size(), bytes);
    EXPECT_EQ(memcmp(raw.data(), field.second, bytes), 0);
  }
}

TEST(GoldenTerrain, ViewerCasesMatchBitForBit) {
  const std::vector<GoldenCase> cases = LoadGoldenCases();
  ASSERT_EQ(cases.size(), 8u);
  for (const GoldenCase& golden : cases) {
    SCOPED_TRACE(golden.name);
    // Whatever the source delivered before must not matter.
    for (int i = 0; i < 17; ++i) RandomNext();
    TerrainGrid* grid = GenerateGoldenTerrain(golden);
    ASSERT_NE(grid, nullptr);
    EXPECT_TRUE(SourceStandsAt(golden.settings.seed, golden.draws));
    ExpectGolden(golden, grid->heights, grid->water, grid->minHeight, grid->maxHeight);
    DestroyTerrainGrid(grid);
  }
}

TEST(GoldenTerrain, OtherSizesMatchBitForBit) {
  const std::vector<GoldenCase> sizes = LoadGoldenCases("sizes.tsv");
  ASSERT_EQ(sizes.size(), 4u);
  for (const GoldenCase& golden : sizes) {
    SCOPED_TRACE(golden.name);
    std::vector<float> heights(static_cast<size_t>(golden.width * golden.depth));
    ASSERT_TRUE(SynthesizeTerrainRect(golden.settings, golden.width, golden.depth, {0, 0, golden.width, golden.depth},
                                      0, heights.data(), nullptr, nullptr));
    float low = 0.0f, high = 0.0f;
    ASSERT_TRUE(FindTerrainHeightRange(golden.settings, golden.width, golden.depth, 0, &low, &high, nullptr));
    ExpectGolden(golden, heights.data(), nullptr, low, high);
  }
}
