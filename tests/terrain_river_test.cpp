// River carving: the water clamp, arguments outside the usual range, and the river at other sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "golden_data.h"
#include "terrain/random_source.h"
#include "terrain/river.h"
#include "terrain/terrain_region.h"

struct Field {
  std::vector<float> heights;
  std::vector<float> water;
  explicit Field(float waterLevel = 0.0f) : heights(100 * 100, 0.0f), water(100 * 100, waterLevel) {}
  bool Carve(RiverEnd start, RiverEnd end, float extraPoints = 0.0f) {
    return CarveRiver(heights.data(), water.data(), 100, 100, start, end, extraPoints);
  }
};

TEST(CarveRiver, ClampsOnlyTheUpdatedCellsWater) {
  Field field(0.95f);
  RandomSeed(12);
  ASSERT_TRUE(field.Carve({0.8f, 0.0f}, {0.8f, 1.0f}));
  EXPECT_LE(*std::max_element(field.water.begin(), field.water.end()), 1.0f);
  EXPECT_GT(std::count(field.water.begin(), field.water.end(), 1.0f), 0);
  // The corner lies far from a river near column 60: it keeps its water.
  EXPECT_EQ(field.water[0], 0.95f);
}

TEST(CarveRiver, ArgumentsOutsideTheContractAreClamped) {
  const float nan = NAN;
  const RiverEnd ends[] = {{-5.0f, 0.0f}, {7.0f, 1.0f}, {nan, nan}, {INFINITY, -INFINITY}, {0.3f, 0.6f}};
  const float extras[] = {-100.0f, 0.0f, 3.5f, 116.0f, 200.0f, 1e9f, nan, -INFINITY};
  for (const RiverEnd& start : ends) {
    for (const RiverEnd& end : ends) {
      for (float extra : extras) {
        Field field;
        ASSERT_TRUE(field.Carve(start, end, extra));
        for (float w : field.water) ASSERT_LE(w, 1.0f);
      }
    }
  }
  // Counts clamp to 4..120 points: 2 x count - 2 jitter draws for a line left of the grid.
  const struct { float extra; int64_t draws; } counts[] = {
      {0.0f, 6}, {-100.0f, 6}, {nan, 6}, {2.9f, 10}, {116.0f, 238}, {1e9f, 238}};
  for (const auto& c : counts) {
    Field field;
    RandomSeed(1);
    ASSERT_TRUE(field.Carve({0.0f, 0.0f}, {0.0f, 1.0f}, c.extra));
    EXPECT_TRUE(SourceStandsAt(1, c.draws)) << c.extra;
  }
  // Tiny and missing grids.
  std::vector<float> heights(4, 0.0f), water(4, 0.0f);
  EXPECT_TRUE(CarveRiver(heights.data(), water.data(), 2, 2, {0.5f, 0.0f}, {0.5f, 1.0f}, 0.0f));
  EXPECT_TRUE(CarveRiver(heights.data(), water.data(), 1, 1, {1.0f, 0.0f}, {1.0f, 1.0f}, 0.0f));
  EXPECT_TRUE(CarveRiver(nullptr, nullptr, 0, 0, {0.5f, 0.0f}, {0.5f, 1.0f}, 0.0f));
  EXPECT_TRUE(CarveRiver(heights.data(), water.data(), -3, 2, {0.5f, 0.0f}, {0.5f, 1.0f}, 0.0f));
}

TEST(RiverAtAnySize, FollowsTheViewerCourseWithoutGaps) {
  // Seed 7: the viewer's river crosses every row (for some seeds it leaves the grid at the side).
  const TerrainSettings settings = {7, 8.0f, 0.4f, 6.0f, 4.0f, 5, 1};
  std::vector<float> baseHeights(100 * 100), baseWater(100 * 100);
  ASSERT_TRUE(SynthesizeTerrainRect(settings, 100, 100, {0, 0, 100, 100}, 1, baseHeights.data(),
                                    baseWater.data(), nullptr));
  const int64_t side = 1000;
  std::vector<float> heights(side * side), water(side * side);
  ASSERT_TRUE(SynthesizeTerrainRect(settings, side, side, {0, 0, side, side}, 0, heights.data(),
                                    water.data(), nullptr));
  for (float w : water) ASSERT_TRUE(w >= 0.0f && w <= 1.0f);

  // Every base cell with water above 0.4 covers target cells with water.
  int wetCells = 0;
  for (int bz = 0; bz < 100; ++bz) {
    for (int bx = 0; bx < 100; ++bx) {
      if (!(baseWater[bz * 100 + bx] > 0.4f)) continue;
      ++wetCells;
      float most = 0.0f;
      for (int z = bz * 10; z < bz * 10 + 10; ++z) {
        most = std::max(most, *std::max_element(&water[z * side + bx * 10], &water[z * side + bx * 10 + 10]));
      }
      EXPECT_GT(most, 0.3f) << bx << "," << bz;
    }
  }
  EXPECT_GT(wetCells, 100);

  // Every row has water; the wet stretch moves on without a gap from row to row
  // and stays within the base rows' wet stretch around it, scaled.
  // The first and last columns of a row with water above level (width and -1 for none).
  const auto wetStretch = [](const float* row, int64_t width, float level, int64_t* low, int64_t* high) {
    *low = width;
    *high = -1;
    for (int64_t x = 0; x < width; ++x) {
      if (row[x] > level) *high = x;
      if (row[x] > level && *low == width) *low = x;
    }
  };
  int64_t lastLow = -1, lastHigh = -1;
  for (int64_t z = 0; z < side; ++z) {
    int64_t low, high, baseLow = 100, baseHigh = -1;
    wetStretch(&water[z * side], side, 0.2f, &low, &high);
    ASSERT_GE(high, low) << "dry row " << z;
    for (int64_t bz = std::max<int64_t>(z / 10 - 1, 0); bz <= std::min<int64_t>(z / 10 + 2, 99); ++bz) {
      int64_t rowLow, rowHigh;
      wetStretch(&baseWater[bz * 100], 100, 0.0f, &rowLow, &rowHigh);
      baseLow = std::min(baseLow, rowLow);
      baseHigh = std::max(baseHigh, rowHigh);
    }
    EXPECT_GE(low, (baseLow - 1) * 10) << z;
    EXPECT_LE(high, (baseHigh + 2) * 10) << z;
    EXPECT_TRUE(lastHigh < 0 || (low <= lastHigh + 1 && high >= lastLow - 1)) << z;
    lastLow = low;
    lastHigh = high;
  }
}
