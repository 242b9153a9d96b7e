// The random source and the Catmull-Rom sampler at the values terrains depend on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "terrain/catmull_rom.h"
#include "terrain/random_source.h"

TEST(RandomSource, SeedsByBitPattern) {
  RandomSeed(0);
  EXPECT_EQ(RandomNext(), 38);
  // -1 is the state 0xFFFFFFFF: the next state is 0xFFFFFFFF * 214013 + 2531011 mod 2^32.
  RandomSeed(-1);
  const uint32_t state = 0xFFFFFFFFu * 214013u + 2531011u;
  EXPECT_EQ(RandomNext(), static_cast<int>((state >> 16) & 0x7FFF));
}

TEST(CatmullRom, FewerThanFourPointsGiveZeroWithoutReading) {
  EXPECT_EQ(CatmullRomSample(0.5f, 3, nullptr), 0.0);
  EXPECT_EQ(CatmullRomSample(0.0f, 0, nullptr), 0.0);
  EXPECT_EQ(CatmullRomSample(1.0f, -7, nullptr), 0.0);
}

TEST(CatmullRom, SingleSegmentEndsAndMiddle) {
  const float p[4] = {0.3f, -1.7f, 2.9f, 11.0f};
  EXPECT_EQ(CatmullRomSample(0.0f, 4, p), static_cast<double>(p[1]));
  EXPECT_EQ(CatmullRomSample(1.0f, 4, p), static_cast<double>(p[2]));
  const double mid = (-p[0] + 9.0 * p[1] + 9.0 * p[2] - p[3]) / 16.0;
  EXPECT_NEAR(CatmullRomSample(0.5f, 4, p), mid, 1e-12);
  const float step[4] = {0, 0, 1, 1};
  EXPECT_EQ(CatmullRomSample(0.5f, 4, step), 0.5);
}

TEST(CatmullRom, ClampsTheParameter) {
  const float p[6] = {4, 5, 6, 7, 8, 9};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(CatmullRomSample(-0.25f, 6, p), 5.0);
  EXPECT_EQ(CatmullRomSample(nan, 6, p), 5.0);
  EXPECT_EQ(CatmullRomSample(3.0f, 6, p), 8.0);
  EXPECT_EQ(CatmullRomSample(std::numeric_limits<float>::infinity(), 6, p), 8.0);
}

TEST(CatmullRom, KnotsAndStraightLines) {
  const float line[4] = {0, 1, 2, 3};
  for (float t : {0.0f, 0.125f, 0.3f, 0.77f, 1.0f}) {
    EXPECT_NEAR(CatmullRomSample(t, 4, line), 1.0 + t, 1e-12) << t;
  }
  const float rows[4] = {-99, 0, 99, 198};
  EXPECT_NEAR(CatmullRomSample(0.25f, 4, rows), 24.75, 1e-9);
  EXPECT_EQ(CatmullRomSample(1.0f, 4, rows), 99.0);
  // Where u * (count - 3) is a whole number k the result is points[k + 1] exactly.
  const float p[7] = {0.1f, 0.7f, -0.2f, 0.9f, 0.35f, -0.6f, 0.8f};
  EXPECT_EQ(CatmullRomSample(0.25f, 7, p), static_cast<double>(p[2]));
  EXPECT_EQ(CatmullRomSample(0.5f, 7, p), static_cast<double>(p[3]));
  EXPECT_EQ(CatmullRomSample(0.75f, 7, p), static_cast<double>(p[4]));
}
