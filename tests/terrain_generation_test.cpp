// Generation outside the golden cases: failing grids, passes that add nothing, and the check of generation parameters.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "golden_data.h"
#include "terrain/generation_limits.h"
#include "terrain/random_source.h"
#include "terrain/synthesis_pass.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

TEST(TerrainGrid, UnobtainableFieldsAreReportedAndNeverGenerated) {
  const int32_t shapes[][2] = {{INT_MAX, INT_MAX}, {0, 100}, {100, -1}, {INT_MIN, INT_MIN}};
  for (const auto& shape : shapes) {
    TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
    EXPECT_FALSE(CreateTerrainGrid(grid, shape[0], shape[1], 150.0f, 150.0f, 8.0f));
    EXPECT_TRUE(grid->heights == nullptr && grid->water == nullptr);
    RandomSeed(77);
    EXPECT_FALSE(SynthesizeTerrain(grid, 0, 0.4f, 6.0f, 4.0f, 5, 1));
    EXPECT_TRUE(SourceStandsAt(77, 0));
    DestroyTerrainGrid(grid);
  }
}

TEST(SynthesisPass, EdgeFrequenciesAndShapes) {
  // Below 1 a pass draws its N * N values, N = max(trunc(freq + 2), 0), and adds nothing;
  // a lattice that cannot be had fails before drawing.
  const struct { float freq; int64_t draws; bool made; } cases[] = {
      {0.0f, 4, true}, {0.5f, 4, true}, {-0.5f, 1, true}, {-1.0f, 1, true}, {-6.0f, 0, true},
      {-2e9f, 0, true}, {NAN, 0, true}, {static_cast<float>(INT_MAX), 0, false}, {2e9f, 0, false},
      {1e30f, 0, false}, {INFINITY, 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.freq);
    std::vector<float> heights(100 * 100, 1.25f);
    RandomSeed(5);
    EXPECT_EQ(SynthesisPass(heights.data(), c.freq, 8.0f, 100, 100), c.made);
    EXPECT_TRUE(SourceStandsAt(5, c.draws));
    for (float h : heights) ASSERT_EQ(h, 1.25f);
  }
  // Fields of one row, one column and none (the sanitizer build checks every read).
  std::vector<float> strip(7, 0.0f);
  EXPECT_TRUE(SynthesisPass(strip.data(), 4.0f, 1.0f, 7, 1) && SynthesisPass(strip.data(), 4.0f, 1.0f, 1, 7));
  EXPECT_TRUE(SynthesisPass(nullptr, 4.0f, 1.0f, 0, 0));
}

TEST(SynthesizeTerrain, PassCountsAndRiverFlag) {
  // No passes: nothing drawn after the seeding, a flat terrain. Step 0 repeats the first lattice size.
  const struct { int32_t passes; float step; int64_t draws; } cases[] = {
      {0, 6.0f, 0}, {-3, 6.0f, 0}, {3, 0.0f, 3 * 36}};
  for (const auto& c : cases) {
    TerrainGrid* grid = NewTerrainGrid(100, 100, 8.0f);
    ASSERT_TRUE(SynthesizeTerrain(grid, 5, 0.4f, c.step, 4.0f, c.passes, 0));
    EXPECT_TRUE(SourceStandsAt(5, c.draws)) << c.passes;
    EXPECT_TRUE(c.passes > 0 || (grid->minHeight == 0.0f && grid->maxHeight == 0.0f));
    DestroyTerrainGrid(grid);
  }
  // Only a river flag of exactly 1 carves.
  TerrainGrid* without = NewTerrainGrid(100, 100, 8.0f);
  TerrainGrid* flagTwo = NewTerrainGrid(100, 100, 8.0f);
  ASSERT_TRUE(SynthesizeTerrain(without, 0, 0.4f, 6.0f, 4.0f, 2, 0));
  ASSERT_TRUE(SynthesizeTerrain(flagTwo, 0, 0.4f, 6.0f, 4.0f, 2, 2));
  EXPECT_EQ(memcmp(without->heights, flagTwo->heights, sizeof(float) * 10000), 0);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(flagTwo->water[i], 0.0f);
  DestroyTerrainGrid(without);
  DestroyTerrainGrid(flagTwo);
}

TEST(GenerationLimits, SensibleTerrainsPassAndRefusalsNameTheFieldAndTheLimit) {
  const struct {
    float height, scale, step, freq;
    int32_t passes;
    GenerationField field;
    const char* mentions;
  } cases[] = {
      {8, 0.4f, 6, 4, 5, kFieldNone, ""},
      {-50, -2, -6, -4, -1000000, kFieldNone, ""},
      {8, 0.9f, 6, 4, 300, kFieldNone, ""},     // up to frequency 1798
      {8, 0.4f, 0, 4096, 60, kFieldNone, ""},   // the highest frequency, 60 times
      {8, 0.4f, -2e9f, 4, 1000, kFieldNone, ""},  // frequencies below 1 cost nothing
      {NAN, 0.4f, 6, 4, 5, kFieldTerrainHeight, "Terrain height"},
      {INFINITY, 0.4f, 6, 4, 5, kFieldTerrainHeight, "1000000"},
      {8, NAN, 6, 4, 5, kFieldPassHeightScale, "Pass height scale"},
      {8, 1000.0f, 6, 4, 5, kFieldPassHeightScale, "pass 3"},  // amplitude 8e6 by pass 3
      {8, 0.4f, 6, 4, 2000000000, kFieldPassCount, "1000"},
      {8, 0.4f, 6, 2e9f, 5, kFieldInitFreq, "4096"},
      {8, 0.4f, 0, std::nextafter(4096.0f, 5000.0f), 1, kFieldInitFreq, "Init. Freq"},
      {8, 0.4f, 2e9f, 4, 2, kFieldFreqScale, "pass 2"},
      {8, 0.4f, 100, 4, 50, kFieldFreqScale, "pass 42"},             // reaches 4104
      {8, 0.4f, 0, 4096.0f, 100, kFieldPassCount, "Num. of Passes"},  // 1.7e9 lattice values
  };
  for (const auto& c : cases) {
    const GenerationCheck check = CheckGenerationParameters(c.height, c.scale, c.step, c.freq, c.passes);
    EXPECT_EQ(check.field, c.field) << c.freq << " " << c.passes << " " << c.mentions;
    EXPECT_NE(std::string(check.message).find(c.mentions), std::string::npos) << check.message;
  }
  // The largest accepted pass generates.
  TerrainGrid* grid = NewTerrainGrid(100, 100, 8.0f);
  EXPECT_TRUE(SynthesizeTerrain(grid, INT_MIN, 0.4f, 0.0f, 4096.0f, 1, 1));
  EXPECT_TRUE(std::isfinite(grid->minHeight) && std::isfinite(grid->maxHeight));
  DestroyTerrainGrid(grid);
}
