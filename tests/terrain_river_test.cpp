// River carving: its draws, where it cuts, the water clamp and arguments outside the usual range.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "draw_count.h"
#include "terrain/random_source.h"
#include "terrain/river.h"

struct Field {
  std::vector<float> heights;
  std::vector<float> water;
  explicit Field(float waterLevel = 0.0f) : heights(100 * 100, 0.0f), water(100 * 100, waterLevel) {}
  bool Carve(RiverEnd start, RiverEnd end, float extraPoints = 0.0f) {
    return CarveRiver(heights.data(), water.data(), 100, 100, start, end, extraPoints);
  }
};

TEST(CarveRiver, DrawsSixForJitterAndOnePerCarvedSample) {
  Field field;
  RandomSeed(4);
  ASSERT_TRUE(field.Carve({0.5f, 0.0f}, {0.5f, 1.0f}));
  // Start column 49 lands near column 30 after the jitter: all 121 samples lie on the grid.
  EXPECT_TRUE(SourceStandsAt(4, 6 + 121));

  // The cut and the water go together, and the river runs from the first row to the last.
  bool firstRowWet = false;
  bool lastRowWet = false;
  for (int i = 0; i < 100 * 100; ++i) {
    ASSERT_EQ(field.water[i] > 0.0f, field.heights[i] < 0.0f) << i;
    ASSERT_LE(field.water[i], 1.0f);
    if (i < 100 && field.water[i] > 0.0f) firstRowWet = true;
    if (i >= 9900 && field.water[i] > 0.0f) lastRowWet = true;
  }
  EXPECT_TRUE(firstRowWet);
  EXPECT_TRUE(lastRowWet);
  // Nowhere near the right edge: the jitter pulls the whole line ~19 columns left.
  for (int row = 0; row < 100; ++row) EXPECT_EQ(field.water[99 + row * 100], 0.0f);
}

TEST(CarveRiver, ClampsOnlyTheUpdatedCellsWater) {
  Field field(0.95f);
  RandomSeed(12);
  ASSERT_TRUE(field.Carve({0.8f, 0.0f}, {0.8f, 1.0f}));
  int clamped = 0;
  for (float w : field.water) {
    ASSERT_LE(w, 1.0f);
    if (w == 1.0f) ++clamped;
  }
  EXPECT_GT(clamped, 0);
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
}

TEST(CarveRiver, TinyAndMissingGridsChangeNothing) {
  std::vector<float> heights(4, 0.0f), water(4, 0.0f);
  EXPECT_TRUE(CarveRiver(heights.data(), water.data(), 2, 2, {0.5f, 0.0f}, {0.5f, 1.0f}, 0.0f));
  EXPECT_TRUE(CarveRiver(heights.data(), water.data(), 1, 1, {1.0f, 0.0f}, {1.0f, 1.0f}, 0.0f));
  EXPECT_TRUE(CarveRiver(nullptr, nullptr, 0, 0, {0.5f, 0.0f}, {0.5f, 1.0f}, 0.0f));
  EXPECT_TRUE(CarveRiver(heights.data(), water.data(), -3, 2, {0.5f, 0.0f}, {0.5f, 1.0f}, 0.0f));
}
