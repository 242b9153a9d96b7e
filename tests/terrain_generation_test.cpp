// The terrain grid's failure path, generation outside the golden cases, and the check of generation parameters.
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

static TerrainGrid* NewGrid(int32_t width = 100, int32_t depth = 100) {
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  CreateTerrainGrid(grid, width, depth, 150.0f, 150.0f, 8.0f);
  return grid;
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

TEST(SynthesizeTerrain, PassCountsAndRiverFlag) {
  // No passes: nothing drawn after the seeding, a flat terrain.
  for (int32_t passes : {0, -3}) {
    TerrainGrid* grid = NewGrid();
    ASSERT_TRUE(SynthesizeTerrain(grid, 5, 0.4f, 6.0f, 4.0f, passes, 0));
    EXPECT_TRUE(SourceStandsAt(5, 0));
    EXPECT_EQ(grid->minHeight, 0.0f);
    EXPECT_EQ(grid->maxHeight, 0.0f);
    DestroyTerrainGrid(grid);
  }
  // Step 0 repeats the first lattice size.
  TerrainGrid* repeated = NewGrid();
  ASSERT_TRUE(SynthesizeTerrain(repeated, 3, 0.4f, 0.0f, 4.0f, 3, 0));
  EXPECT_TRUE(SourceStandsAt(3, 3 * 36));
  DestroyTerrainGrid(repeated);
  // Only a river flag of exactly 1 carves.
  TerrainGrid* without = NewGrid();
  TerrainGrid* flagTwo = NewGrid();
  ASSERT_TRUE(SynthesizeTerrain(without, 0, 0.4f, 6.0f, 4.0f, 2, 0));
  ASSERT_TRUE(SynthesizeTerrain(flagTwo, 0, 0.4f, 6.0f, 4.0f, 2, 2));
  EXPECT_EQ(memcmp(without->heights, flagTwo->heights, sizeof(float) * 10000), 0);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(flagTwo->water[i], 0.0f);
  DestroyTerrainGrid(without);
  DestroyTerrainGrid(flagTwo);
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
  EXPECT_EQ(Refused(-50.0f, -2.0f, -6.0f, -4.0f, -1000000), kFieldNone);
  EXPECT_EQ(Refused(8.0f, 0.9f, 6.0f, 4.0f, 300), kFieldNone);     // up to frequency 1798
  EXPECT_EQ(Refused(8.0f, 0.4f, 0.0f, 4096.0f, 60), kFieldNone);   // the highest frequency, 60 times
  EXPECT_EQ(Refused(8.0f, 0.4f, -2e9f, 4.0f, 1000), kFieldNone);   // frequencies below 1 cost nothing
}

TEST(GenerationLimits, RefusalsNameTheFieldAndTheLimit) {
  const struct {
    float height, scale, step, freq;
    int32_t passes;
    GenerationField field;
    const char* mentions;
  } cases[] = {
      {NAN, 0.4f, 6, 4, 5, kFieldTerrainHeight, "Terrain height"},
      {INFINITY, 0.4f, 6, 4, 5, kFieldTerrainHeight, "1000000"},
      {8, NAN, 6, 4, 5, kFieldPassHeightScale, "Pass height scale"},
      {8, 1000.0f, 6, 4, 5, kFieldPassHeightScale, "pass 3"},     // amplitude 8e6 by pass 3
      {8, 0.4f, 6, 4, 2000000000, kFieldPassCount, "1000"},
      {8, 0.4f, 6, 2e9f, 5, kFieldInitFreq, "4096"},
      {8, 0.4f, 0, std::nextafter(4096.0f, 5000.0f), 1, kFieldInitFreq, "Init. Freq"},
      {8, 0.4f, 2e9f, 4, 2, kFieldFreqScale, "pass 2"},
      {8, 0.4f, 100, 4, 50, kFieldFreqScale, "pass 42"},           // reaches 4104
      {8, 0.4f, 0, 4096.0f, 100, kFieldPassCount, "Num. of Passes"},  // 1.7e9 lattice values
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(Refused(c.height, c.scale, c.step, c.freq, c.passes, &message), c.field) << c.mentions;
    EXPECT_NE(message.find(c.mentions), std::string::npos) << message;
  }
}

TEST(GenerationLimits, TheLargestAcceptedPassGenerates) {
  TerrainGrid* grid = NewGrid();
  ASSERT_EQ(Refused(8, 0.4f, 0, 4096.0f, 1), kFieldNone);
  EXPECT_TRUE(SynthesizeTerrain(grid, INT_MIN, 0.4f, 0.0f, 4096.0f, 1, 1));
  EXPECT_TRUE(std::isfinite(grid->minHeight));
  EXPECT_TRUE(std::isfinite(grid->maxHeight));
  DestroyTerrainGrid(grid);
}
