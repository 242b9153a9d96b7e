// The random source and the Catmull-Rom sampler at the values terrains depend on.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "draw_count.h"
#include "terrain/catmull_rom.h"
#include "terrain/random_source.h"

TEST(RandomSource, SeedsByBitPatternAndJumpsEqualDrawingOneByOne) {
  RandomSeed(0);
  EXPECT_EQ(RandomNext(), 38);
  RandomSeed(-1);  // the state 0xFFFFFFFF
  EXPECT_EQ(RandomNext(), 35);
  // The generator repeats after 2^32 draws, so a jump takes the count modulo 2^32.
  const struct { uint64_t jump; int64_t draws; } cases[] = {
      {0, 0}, {1, 1}, {2, 2}, {1000, 1000}, {65537, 65537}, {1ull << 32, 0}, {(1ull << 32) + 3, 3}};
  for (const auto& c : cases) {
    RandomSeed(-123);
    RandomSetState(RandomJumpApply(RandomJumpOver(c.jump), RandomState()));
    EXPECT_TRUE(SourceStandsAt(-123, c.draws)) << c.jump;
  }
  uint32_t state = 5;
  RandomSeed(5);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(RandomNextFrom(&state), RandomNext());
}

TEST(CatmullRom, KnotsLinesAndClampedParameters) {
  // Fewer than four points give 0 without reading any.
  for (int count : {3, 0, -7}) EXPECT_EQ(CatmullRomSample(0.5f, count, nullptr), 0.0);
  const std::vector<float> segment = {0.3f, -1.7f, 2.9f, 11.0f};
  const std::vector<float> six = {4, 5, 6, 7, 8, 9};
  const std::vector<float> line = {0, 1, 2, 3};
  const std::vector<float> rows = {-99, 0, 99, 198};
  const std::vector<float> step = {0, 0, 1, 1};
  const std::vector<float> seven = {0.1f, 0.7f, -0.2f, 0.9f, 0.35f, -0.6f, 0.8f};
  const struct { const std::vector<float>* points; float t; double expected; double tolerance; } cases[] = {
      {&segment, 0.0f, double(-1.7f), 0}, {&segment, 1.0f, double(2.9f), 0},
      {&segment, 0.5f, (-double(0.3f) + 9.0 * double(-1.7f) + 9.0 * double(2.9f) - 11.0) / 16.0, 1e-12}, {&step, 0.5f, 0.5, 0},
      // Parameters clamp to [0, 1], NaN to 0.
      {&six, -0.25f, 5, 0}, {&six, NAN, 5, 0}, {&six, 3.0f, 8, 0}, {&six, INFINITY, 8, 0},
      {&line, 0.125f, 1.125, 1e-12}, {&line, 0.3f, 1.0 + double(0.3f), 1e-12}, {&line, 0.77f, 1.0 + double(0.77f), 1e-12},
      {&rows, 0.25f, 24.75, 1e-9}, {&rows, 1.0f, 99, 0},
      // Where u * (count - 3) is a whole number k the result is points[k + 1] exactly.
      {&seven, 0.25f, double(-0.2f), 0}, {&seven, 0.5f, double(0.9f), 0}, {&seven, 0.75f, double(0.35f), 0},
  };
  for (const auto& c : cases) {
    // A tolerance of 0 asks for the exact double.
    EXPECT_NEAR(CatmullRomSample(c.t, static_cast<int>(c.points->size()), c.points->data()), c.expected, c.tolerance)
        << c.t;
  }
}
