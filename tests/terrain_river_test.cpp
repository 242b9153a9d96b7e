// River carving: its draws, where it cuts, the water clamp, arguments outside the usual range, windows and other sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "draw_count.h"
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

TEST(CarveRiver, AWindowGetsWhatTheWholeGridGets) {
  Field whole(0.25f);
  for (int i = 0; i < 100 * 100; ++i) whole.heights[i] = static_cast<float>(i % 37) * 0.125f;
  Field before = whole;
  RandomSeed(31);
  ASSERT_TRUE(whole.Carve({0.6f, 0.0f}, {0.3f, 1.0f}));
  const uint32_t after = RandomState();

  uint32_t state = 0;
  RandomSeed(31);
  state = RandomState();
  RiverCourse course;
  PlanRiverCourse(&state, 100, 100, {0.6f, 0.0f}, {0.3f, 1.0f}, 0.0f, &course);
  EXPECT_EQ(state, after);
  // Windows with their own stride, one of them reaching past the grid's corner.
  const RiverWindow windows[] = {{13, 7, 40, 61, 40}, {0, 0, 100, 100, 100}, {71, 90, 29, 10, 29}};
  for (const RiverWindow& window : windows) {
    std::vector<float> heights, water;
    for (int64_t j = 0; j < window.depth; ++j) {
      for (int64_t c = 0; c < window.width; ++c) {
        heights.push_back(before.heights[static_cast<size_t>((window.z0 + j) * 100 + window.x0 + c)]);
        water.push_back(before.water[static_cast<size_t>((window.z0 + j) * 100 + window.x0 + c)]);
      }
    }
    CarveRiverCourse(course, 100, 100, window, heights.data(), water.data());
    for (int64_t j = 0; j < window.depth; ++j) {
      for (int64_t c = 0; c < window.width; ++c) {
        const size_t cell = static_cast<size_t>((window.z0 + j) * 100 + window.x0 + c);
        ASSERT_EQ(heights[static_cast<size_t>(j * window.width + c)], whole.heights[cell]);
        ASSERT_EQ(water[static_cast<size_t>(j * window.width + c)], whole.water[cell]);
      }
    }
  }
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
        for (int x = bx * 10; x < bx * 10 + 10; ++x) most = std::max(most, water[z * side + x]);
      }
      EXPECT_GT(most, 0.3f) << bx << "," << bz;
    }
  }
  EXPECT_GT(wetCells, 100);

  // Every row has water; the wet stretch moves on without a gap from row to row
  // and stays within the base rows' wet stretch around it, scaled.
  int64_t lastLow = -1, lastHigh = -1;
  for (int64_t z = 0; z < side; ++z) {
    int64_t low = side, high = -1;
    for (int64_t x = 0; x < side; ++x) {
      if (water[z * side + x] > 0.2f) {
        low = std::min(low, x);
        high = std::max(high, x);
      }
    }
    ASSERT_GE(high, low) << "dry row " << z;
    int64_t baseLow = 100, baseHigh = -1;
    for (int64_t bz = std::max<int64_t>(z / 10 - 1, 0); bz <= std::min<int64_t>(z / 10 + 2, 99); ++bz) {
      for (int64_t bx = 0; bx < 100; ++bx) {
        if (baseWater[bz * 100 + bx] > 0.0f) {
          baseLow = std::min(baseLow, bx);
          baseHigh = std::max(baseHigh, bx);
        }
      }
    }
    EXPECT_GE(low, (baseLow - 1) * 10) << z;
    EXPECT_LE(high, (baseHigh + 2) * 10) << z;
    if (lastHigh >= 0) {
      EXPECT_LE(low, lastHigh + 1) << z;
      EXPECT_GE(high, lastLow - 1) << z;
    }
    lastLow = low;
    lastHigh = high;
  }
}
