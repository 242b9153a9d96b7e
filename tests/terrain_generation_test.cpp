// The terrain grid, generation outside the golden cases, and the check of generation parameters.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "draw_count.h"
#include "terrain/generation_limits.h"
#include "terrain/random_source.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

static TerrainGrid* NewGrid(float baseHeight = 8.0f) {
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  EXPECT_TRUE(CreateTerrainGrid(grid, 100, 100, 150.0f, 150.0f, baseHeight));
  return grid;
}

TEST(TerrainGrid, StartsFlatAndDry) {
  TerrainGrid* grid = NewGrid();
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(grid->heights[i], 0.0f);
    ASSERT_EQ(grid->water[i], 0.0f);
  }
  EXPECT_EQ(grid->minHeight, 0.0f);
  EXPECT_EQ(grid->maxHeight, 0.0f);
  EXPECT_EQ(grid->width, 100);
  EXPECT_EQ(grid->extentZ, 150.0f);
  DestroyTerrainGrid(grid);
}

TEST(TerrainGrid, UnobtainableFieldsAreReportedAndNeverGenerated) {
  const int32_t shapes[][2] = {{INT_MAX, INT_MAX}, {0, 100}, {100, -1}, {INT_MIN, INT_MIN}};
  for (const auto& shape : shapes) {
    TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
    EXPECT_FALSE(CreateTerrainGrid(grid, shape[0], shape[1], 150.0f, 150.0f, 8.0f));
    EXPECT_EQ(grid->heights, nullptr);
    EXPECT_EQ(grid->water, nullptr);
    RandomSeed(77);
    EXPECT_FALSE(SynthesizeTerrain(grid, 0, 0.4f, 6.0f, 4.0f, 5, 1));
    EXPECT_TRUE(SourceStandsAt(77, 0));
    DestroyTerrainGrid(grid);
  }
}

TEST(SynthesizeTerrain, RecordsItsParameters) {
  TerrainGrid* grid = NewGrid(12.5f);
  ASSERT_TRUE(SynthesizeTerrain(grid, -9, 0.5f, 3.0f, 2.0f, 6, 1));
  EXPECT_EQ(grid->seed, -9);
  EXPECT_EQ(grid->passCount, 6);
  EXPECT_EQ(grid->baseHeight, 12.5f);
  EXPECT_EQ(grid->passHeightScale, 0.5f);
  EXPECT_EQ(grid->freqScale, 3.0f);
  EXPECT_EQ(grid->initFreq, 2.0f);
  DestroyTerrainGrid(grid);
}

TEST(SynthesizeTerrain, NoPassesLeavesAFlatTerrain) {
  TerrainGrid* grid = NewGrid();
  RandomSeed(1234);
  ASSERT_TRUE(SynthesizeTerrain(grid, 5, 0.4f, 6.0f, 4.0f, 0, 0));
  EXPECT_TRUE(SourceStandsAt(5, 0));
  EXPECT_EQ(grid->minHeight, 0.0f);
  EXPECT_EQ(grid->maxHeight, 0.0f);
  DestroyTerrainGrid(grid);

  grid = NewGrid();
  ASSERT_TRUE(SynthesizeTerrain(grid, 5, 0.4f, 6.0f, 4.0f, -3, 0));
  EXPECT_TRUE(SourceStandsAt(5, 0));
  DestroyTerrainGrid(grid);
}

TEST(SynthesizeTerrain, OnlyRiverFlagOneCarves) {
  TerrainGrid* without = NewGrid();
  TerrainGrid* flagTwo = NewGrid();
  ASSERT_TRUE(SynthesizeTerrain(without, 0, 0.4f, 6.0f, 4.0f, 2, 0));
  ASSERT_TRUE(SynthesizeTerrain(flagTwo, 0, 0.4f, 6.0f, 4.0f, 2, 2));
  EXPECT_EQ(memcmp(without->heights, flagTwo->heights, sizeof(float) * 10000), 0);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(flagTwo->water[i], 0.0f);
  DestroyTerrainGrid(without);
  DestroyTerrainGrid(flagTwo);
}

TEST(SynthesizeTerrain, StepZeroRepeatsTheLatticeSize) {
  TerrainGrid* grid = NewGrid();
  ASSERT_TRUE(SynthesizeTerrain(grid, 3, 0.4f, 0.0f, 4.0f, 3, 0));
  EXPECT_TRUE(SourceStandsAt(3, 3 * 36));
  DestroyTerrainGrid(grid);
}

TEST(SynthesizeTerrain, HeightRangeSpansTheFinalHeights) {
  TerrainGrid* grid = NewGrid();
  ASSERT_TRUE(SynthesizeTerrain(grid, 42, 0.4f, 6.0f, 4.0f, 5, 1));
  float low = grid->heights[0], high = grid->heights[0];
  for (int i = 0; i < 10000; ++i) {
    low = std::fmin(low, grid->heights[i]);
    high = std::fmax(high, grid->heights[i]);
  }
  EXPECT_EQ(grid->minHeight, low);
  EXPECT_EQ(grid->maxHeight, high);
  DestroyTerrainGrid(grid);
}

// The field a check refuses, with the message it gives.
static GenerationField Refused(float height, float scale, float step, float freq, int32_t passes,
                               std::string* message = nullptr) {
  const GenerationCheck check = CheckGenerationParameters(height, scale, step, freq, passes);
  if (message) *message = check.message;
  return check.field;
}

TEST(GenerationLimits, SensibleTerrainsPass) {
  EXPECT_EQ(Refused(8.0f, 0.4f, 6.0f, 4.0f, 5), kFieldNone);
  EXPECT_EQ(Refused(0.0f, 0.0f, 0.0f, 0.0f, 0), kFieldNone);
  EXPECT_EQ(Refused(-50.0f, -2.0f, -6.0f, -4.0f, -1000000), kFieldNone);
  EXPECT_EQ(Refused(8.0f, 0.9f, 6.0f, 4.0f, 300), kFieldNone);       // up to frequency 1798
  EXPECT_EQ(Refused(8.0f, 0.4f, 0.0f, 4096.0f, 60), kFieldNone);     // the highest frequency, 60 times
  EXPECT_EQ(Refused(8.0f, 1.0f, 0.0f, 2.0f, kMaxPassCount), kFieldNone);
  EXPECT_EQ(Refused(8.0f, 0.4f, -2e9f, 4.0f, 1000), kFieldNone);     // frequencies below 1 cost nothing
}

TEST(GenerationLimits, RefusalsNameTheFieldAndTheLimit) {
  std::string message;
  EXPECT_EQ(Refused(NAN, 0.4f, 6, 4, 5, &message), kFieldTerrainHeight);
  EXPECT_NE(message.find("Terrain height"), std::string::npos);
  EXPECT_EQ(Refused(INFINITY, 0.4f, 6, 4, 5), kFieldTerrainHeight);
  EXPECT_EQ(Refused(2e6f, 0.4f, 6, 4, 5), kFieldTerrainHeight);
  EXPECT_EQ(Refused(8, NAN, 6, 4, 5, &message), kFieldPassHeightScale);
  EXPECT_NE(message.find("Pass height scale"), std::string::npos);
  EXPECT_EQ(Refused(8, 1000.0f, 6, 4, 5), kFieldPassHeightScale);    // amplitude 8e6 by pass 3
  EXPECT_EQ(Refused(8, 0.4f, 6, 4, 2000000000, &message), kFieldPassCount);
  EXPECT_NE(message.find("1000"), std::string::npos);
  EXPECT_EQ(Refused(8, 0.4f, 6, 2e9f, 5, &message), kFieldInitFreq);
  EXPECT_NE(message.find("4096"), std::string::npos);
  EXPECT_EQ(Refused(8, 0.4f, 2e9f, 4, 2, &message), kFieldFreqScale);
  EXPECT_NE(message.find("pass 2"), std::string::npos);
  EXPECT_EQ(Refused(8, 0.4f, 100, 4, 50), kFieldFreqScale);  // pass 42 reaches 4104
  EXPECT_EQ(Refused(8, 0.4f, 0, 4096.0f, 100, &message), kFieldPassCount);  // 1.7e9 lattice values
  EXPECT_NE(message.find("Num. of Passes"), std::string::npos);
  // One pass at the top frequency is just accepted; the next float above is not.
  EXPECT_EQ(Refused(8, 0.4f, 0, 4096.0f, 1), kFieldNone);
  EXPECT_EQ(Refused(8, 0.4f, 0, std::nextafter(4096.0f, 5000.0f), 1), kFieldInitFreq);
}

TEST(GenerationLimits, TheWorstAcceptedSettingsGenerate) {
  TerrainGrid* grid = NewGrid();
  ASSERT_EQ(Refused(8, 0.4f, 0, 4096.0f, 1), kFieldNone);
  EXPECT_TRUE(SynthesizeTerrain(grid, INT_MIN, 0.4f, 0.0f, 4096.0f, 1, 1));
  EXPECT_TRUE(std::isfinite(grid->minHeight));
  EXPECT_TRUE(std::isfinite(grid->maxHeight));
  DestroyTerrainGrid(grid);
}
