// The random source and the Catmull-Rom sampler at the values terrains depend on.
#include <gtest/gtest.h>

#include <cmath>

#include "golden_data.h"
#include "terrain/catmull_rom.h"
#include "terrain/random_source.h"

// The values each seed gives are pinned by the golden terrains' draws; here, jumping over them.
TEST(RandomSource, JumpsEqualDrawingOneByOne) {
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

// The formula itself is pinned by the exact sample of the kernel tests; here, which segment and parameter it takes.
TEST(CatmullRom, SegmentsAndClampedParameters) {
  // Fewer than four points give 0 without reading any.
  for (int count : {3, 0, -7}) EXPECT_EQ(CatmullRomSample(0.5f, count, nullptr), 0.0);
  // Where u * (count - 3) is a whole number k the result is points[k + 1] exactly.
  const float seven[7] = {0.1f, 0.7f, -0.2f, 0.9f, 0.35f, -0.6f, 0.8f};
  const struct { float u; float expected; } knots[] = {
      {0.0f, 0.7f}, {0.25f, -0.2f}, {0.5f, 0.9f}, {0.75f, 0.35f}, {1.0f, -0.6f},
      // Parameters clamp to [0, 1], NaN to 0.
      {-0.25f, 0.7f}, {NAN, 0.7f}, {3.0f, -0.6f}, {INFINITY, -0.6f}};
  for (const auto& k : knots) EXPECT_EQ(CatmullRomSample(k.u, 7, seven), static_cast<double>(k.expected)) << k.u;
}
