// Every golden terrain reproduced bit for bit: heights, water, height range and draw count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "draw_count.h"
#include "golden_data.h"
#include "terrain/random_source.h"
#include "terrain/terrain_grid.h"

static TerrainGrid* GenerateGolden(const GoldenCase& golden) {
  TerrainGrid* grid = GenerateGoldenTerrain(golden);
  EXPECT_NE(grid, nullptr);
  return grid;
}

TEST(GoldenTerrain, EveryCaseMatchesBitForBit) {
  const std::vector<GoldenCase> cases = LoadGoldenCases();
  ASSERT_EQ(cases.size(), 8u);
  for (const GoldenCase& golden : cases) {
    SCOPED_TRACE(golden.name);
    // Whatever the source delivered before must not matter.
    for (int i = 0; i < 17; ++i) RandomNext();
    TerrainGrid* grid = GenerateGolden(golden);
    EXPECT_TRUE(SourceStandsAt(golden.seed, golden.draws));

    const size_t bytes = sizeof(float) * 100 * 100;
    EXPECT_EQ(Fnv1a64(grid->heights, bytes), golden.columns.at("heights_fnv1a64"));
    EXPECT_EQ(Fnv1a64(grid->water, bytes), golden.columns.at("water_fnv1a64"));
    EXPECT_EQ(Format9g(grid->minHeight), golden.minHeight);
    EXPECT_EQ(Format9g(grid->maxHeight), golden.maxHeight);

    const std::vector<unsigned char> heights = LoadGoldenStream(golden.name, "heights");
    const std::vector<unsigned char> water = LoadGoldenStream(golden.name, "water");
    if (!heights.empty()) {
      ASSERT_EQ(heights.size(), bytes);
      EXPECT_EQ(memcmp(heights.data(), grid->heights, bytes), 0);
      ASSERT_EQ(water.size(), bytes);
      EXPECT_EQ(memcmp(water.data(), grid->water, bytes), 0);
    }
    DestroyTerrainGrid(grid);
  }
}

TEST(GoldenTerrain, GeneratingTwiceGivesTheSameTerrain) {
  const GoldenCase golden = LoadGoldenCases().at(0);
  TerrainGrid* first = GenerateGolden(golden);
  TerrainGrid* second = GenerateGolden(golden);
  EXPECT_EQ(memcmp(first->heights, second->heights, sizeof(float) * 10000), 0);
  EXPECT_EQ(memcmp(first->water, second->water, sizeof(float) * 10000), 0);
  DestroyTerrainGrid(first);
  DestroyTerrainGrid(second);
}
