// The synthesis pass: its spline windows, its lattice, and frequencies outside the usual range.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "draw_count.h"
#include "terrain/random_source.h"
#include "terrain/spline_walk.h"
#include "terrain/synthesis_pass.h"

// Window start before each of `samples` samples, for a lattice frequency.
static std::vector<int64_t> Windows(float freq, int samples) {
  const float step = static_cast<float>(static_cast<double>(samples) / (static_cast<double>(freq) - 1.0));
  SplineWalk walk = {0.0f, 0};
  std::vector<int64_t> windows;
  for (int x = 0; x < samples; ++x) {
    windows.push_back(walk.windowStart);
    AdvanceWalk(&walk, step);
  }
  return windows;
}

// The samples before which the window moves on.
static std::vector<int> Moves(const std::vector<int64_t>& windows) {
  std::vector<int> moves;
  for (size_t x = 1; x < windows.size(); ++x) {
    if (windows[x] != windows[x - 1]) moves.push_back(static_cast<int>(x));
  }
  return moves;
}

TEST(SplineWalk, WindowsForFrequencies2And4And10) {
  EXPECT_TRUE(Moves(Windows(2.0f, 100)).empty());
  EXPECT_EQ(Moves(Windows(4.0f, 100)), (std::vector<int>{34, 67}));
  EXPECT_EQ(Moves(Windows(10.0f, 100)), (std::vector<int>{12, 23, 34, 45, 56, 67, 78, 89}));
  EXPECT_EQ(Windows(10.0f, 100).back(), 8);

  // Frequency 2: one window, t = x / width.
  SplineWalk walk = {0.0f, 0};
  for (int x = 0; x < 100; ++x) {
    EXPECT_EQ(WalkParameter(walk, 100.0f), static_cast<float>(x / 100.0));
    AdvanceWalk(&walk, 100.0f);
  }
}

// The lattice a pass will draw after RandomSeed(seed), replayed.
static std::vector<float> Lattice(int32_t seed, int n) {
  RandomSeed(seed);
  std::vector<float> lattice;
  for (int i = 0; i < n * n; ++i) {
    lattice.push_back(static_cast<float>(RandomNext() * static_cast<double>(kRandomUnitScale) * 2.0 - 1.0));
  }
  return lattice;
}

TEST(SynthesisPass, Frequency101PlacesEveryLatticePoint) {
  const std::vector<float> lattice = Lattice(7, 103);
  std::vector<float> heights(100 * 100, 0.5f);
  RandomSeed(7);
  ASSERT_TRUE(SynthesisPass(heights.data(), 101.0f, 3.0f, 100, 100));
  EXPECT_TRUE(SourceStandsAt(7, 103 * 103));
  for (int z = 0; z < 100; ++z) {
    for (int x = 0; x < 100; ++x) {
      const float octave = static_cast<float>(3.0 * static_cast<double>(lattice[(z + 1) * 103 + x + 1]));
      ASSERT_EQ(heights[x + z * 100], static_cast<float>(static_cast<double>(octave) + 0.5)) << x << "," << z;
    }
  }
}

TEST(SynthesisPass, FirstSampleSitsOnKnotOne) {
  const std::vector<float> lattice = Lattice(0, 6);
  EXPECT_EQ(lattice[0], static_cast<float>(38 * static_cast<double>(kRandomUnitScale) * 2.0 - 1.0));
  std::vector<float> heights(100 * 100, 0.0f);
  RandomSeed(0);
  ASSERT_TRUE(SynthesisPass(heights.data(), 4.0f, 8.0f, 100, 100));
  EXPECT_EQ(heights[0], static_cast<float>(8.0 * static_cast<double>(lattice[6 + 1])));
}

TEST(SynthesisPass, FrequencyOneAddsTheCentreValueEverywhere) {
  const std::vector<float> lattice = Lattice(99, 3);
  std::vector<float> heights(100 * 100, 0.0f);
  RandomSeed(99);
  ASSERT_TRUE(SynthesisPass(heights.data(), 1.0f, 2.0f, 100, 100));
  EXPECT_TRUE(SourceStandsAt(99, 9));
  const float expected = static_cast<float>(2.0 * static_cast<double>(lattice[4]));
  for (float h : heights) ASSERT_EQ(h, expected);
}

TEST(SynthesisPass, FrequenciesBelowOneDrawButAddNothing) {
  // N = max(trunc(freq + 2), 0); the pass draws N * N values.
  const struct { float freq; int64_t draws; } cases[] = {
      {0.0f, 4}, {0.5f, 4}, {-0.5f, 1}, {-1.0f, 1}, {-6.0f, 0}, {-2e9f, 0}, {NAN, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.freq);
    std::vector<float> heights(100 * 100, 1.25f);
    RandomSeed(5);
    ASSERT_TRUE(SynthesisPass(heights.data(), c.freq, 8.0f, 100, 100));
    EXPECT_TRUE(SourceStandsAt(5, c.draws));
    for (float h : heights) ASSERT_EQ(h, 1.25f);
  }
}

TEST(SynthesisPass, AnyFrequencyStaysInsideItsBuffers) {
  // Non-whole frequencies reach one point past the lattice; very high ones
  // clamp the parameter. The sanitizer build checks every read.
  for (float freq : {1.5f, 1.999f, 2.5f, 3.7f, 99.3f, 100.5f, 101.9f, 150.25f, 257.0f, 1000.0f}) {
    SCOPED_TRACE(freq);
    std::vector<float> heights(100 * 100, 0.0f);
    RandomSeed(3);
    ASSERT_TRUE(SynthesisPass(heights.data(), freq, 1.0f, 100, 100));
    for (float h : heights) ASSERT_TRUE(std::isfinite(h));
  }
  // Odd field shapes.
  std::vector<float> strip(7, 0.0f);
  EXPECT_TRUE(SynthesisPass(strip.data(), 4.0f, 1.0f, 7, 1));
  EXPECT_TRUE(SynthesisPass(strip.data(), 4.0f, 1.0f, 1, 7));
  EXPECT_TRUE(SynthesisPass(nullptr, 4.0f, 1.0f, 0, 0));
}

TEST(SynthesisPass, UnobtainableLatticeFailsCleanly) {
  for (float freq : {static_cast<float>(INT_MAX), 2e9f, 1e30f, INFINITY}) {
    SCOPED_TRACE(freq);
    std::vector<float> heights(100 * 100, 0.75f);
    RandomSeed(21);
    EXPECT_FALSE(SynthesisPass(heights.data(), freq, 1.0f, 100, 100));
    EXPECT_TRUE(SourceStandsAt(21, 0));
    for (float h : heights) ASSERT_EQ(h, 0.75f);
  }
}
