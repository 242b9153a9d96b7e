// Erosion: the same bits on every thread count and instruction set, mass balance, edges and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "terrain/erosion.h"
#include "terrain/terrain_region.h"

namespace {

std::vector<float> Terrain(const TerrainSettings& settings, int64_t width, int64_t depth) {
  std::vector<float> heights(static_cast<size_t>(width * depth));
  EXPECT_TRUE(SynthesizeTerrainRect(settings, width, depth, {0, 0, width, depth}, 0, heights.data(), nullptr,
                                    nullptr));
  return heights;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

const TerrainSettings kDefault = {0, 8.0f, 0.4f, 6.0f, 4.0f, 5, 0};
const TerrainSettings kRiver = {7, 8.0f, 0.4f, 6.0f, 4.0f, 5, 1};

}  // namespace

// Large enough that the threads share the basins and the lines: 1, 2 and 7 threads, and a synthesis on each
// instruction set, give the same bits.
TEST(Erosion, TheSameBitsOnEveryThreadCountAndInstructionSet) {
  ErosionSettings settings = DefaultErosionSettings();
  settings.steps = 2;
  std::vector<float> first = Terrain(kRiver, 301, 257);
  ASSERT_EQ(ErodeTerrain(first.data(), 301, 257, settings, 1, nullptr, nullptr), kFlowDone);
  for (int threads : {2, 7}) {
    std::vector<float> heights = Terrain(kRiver, 301, 257);
    ASSERT_EQ(ErodeTerrain(heights.data(), 301, 257, settings, threads, nullptr, nullptr), kFlowDone);
    EXPECT_TRUE(SameBits(heights, first)) << threads << " threads";
  }
  for (TerrainSimd simd : {kTerrainSimdScalar, kTerrainSimdSse2, kTerrainSimdAvx2}) {
    if (!SelectTerrainSimd(simd)) continue;
    std::vector<float> heights = Terrain(kRiver, 301, 257);
    ASSERT_EQ(ErodeTerrain(heights.data(), 301, 257, settings, 2, nullptr, nullptr), kFlowDone);
    EXPECT_TRUE(SameBits(heights, first)) << "instruction set " << simd;
  }
  SelectTerrainSimd(kTerrainSimdAuto);
}

// What the heights lose is what left through the edge samples, which never change, whatever the settings.
TEST(Erosion, MassBalanceAndFixedEdges) {
  const ErosionSettings d = DefaultErosionSettings();
  const struct { const char* name; TerrainSettings terrain; int64_t width, depth; ErosionSettings erosion; } cases[] = {
      {"defaults", kDefault, 120, 97, d},
      {"river", kRiver, 100, 100, d},
      {"no creep, no talus", kDefault, 120, 97, {4, 1.0f, 1.0f, 90.0f, 0.0f}},
      {"no deposition, steep talus", kDefault, 120, 97, {4, 2.0f, 0.0f, 10.0f, 0.5f}},
      {"heavy deposition", kDefault, 120, 97, {4, 1.0f, 50.0f, 35.0f, 0.2f}},
      {"creep only", kDefault, 64, 200, {3, 0.0f, 1.0f, 90.0f, 1.0f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> before = Terrain(c.terrain, c.width, c.depth);
    std::vector<float> heights = before;
    ErosionReport report = {0.0, 0.0};
    ASSERT_EQ(ErodeTerrain(heights.data(), c.width, c.depth, c.erosion, 1, nullptr, &report), kFlowDone);
    double moved = 0.0;
    for (size_t i = 0; i < heights.size(); ++i) {
      moved += std::fabs(static_cast<double>(heights[i]) - static_cast<double>(before[i]));
      const int64_t row = static_cast<int64_t>(i) / c.width, column = static_cast<int64_t>(i) % c.width;
      if (row == 0 || row == c.depth - 1 || column == 0 || column == c.width - 1) {
        ASSERT_EQ(heights[i], before[i]) << "edge sample " << i;
      }
    }
    EXPECT_GT(moved, 1.0);
    EXPECT_GT(report.outflow, 0.0);
    // Within the rounding of the stored heights and of the single-precision sediment sums.
    EXPECT_NEAR(report.removed, report.outflow, 1e-4 * moved);
  }
}

// Fields without inner samples, and a flat one, stay as they are; NaN is refused, and a cancelled run says so.
TEST(Erosion, FieldsWithNothingToErodeNaNAndCancelling) {
  for (int64_t side : {1, 2}) {
    std::vector<float> heights(static_cast<size_t>(side * 5), 3.0f);
    heights[0] = 1.0f;
    const std::vector<float> before = heights;
    EXPECT_EQ(ErodeTerrain(heights.data(), side, 5, DefaultErosionSettings(), 1, nullptr, nullptr), kFlowDone);
    EXPECT_TRUE(SameBits(heights, before));
  }
  std::vector<float> flat(40 * 30, -2.5f);
  EXPECT_EQ(ErodeTerrain(flat.data(), 40, 30, DefaultErosionSettings(), 1, nullptr, nullptr), kFlowDone);
  EXPECT_TRUE(SameBits(flat, std::vector<float>(40 * 30, -2.5f)));
  flat[77] = std::nanf("");
  EXPECT_EQ(ErodeTerrain(flat.data(), 40, 30, DefaultErosionSettings(), 1, nullptr, nullptr), kFlowBadHeights);
  std::vector<float> heights = Terrain(kDefault, 50, 50);
  SynthesisControl control;
  control.cancelled = true;
  EXPECT_EQ(ErodeTerrain(heights.data(), 50, 50, DefaultErosionSettings(), 1, &control, nullptr), kFlowCancelled);
}

TEST(Erosion, SettingsOutOfRangeAreNamed) {
  const ErosionSettings d = DefaultErosionSettings();
  EXPECT_EQ(CheckErosionSettings(d).field, kErosionFieldNone);
  EXPECT_EQ(CheckErosionSettings({100, 1000.0f, 100.0f, 90.0f, 100.0f}).field, kErosionFieldNone);
  EXPECT_EQ(CheckErosionSettings({1, 0.0f, 0.0f, 1.0f, 0.0f}).field, kErosionFieldNone);
  const struct { ErosionSettings settings; ErosionField field; const char* says; } refused[] = {
      {{0, 1.0f, 1.0f, 35.0f, 0.2f}, kErosionFieldSteps, "from 1 to 100"},
      {{101, 1.0f, 1.0f, 35.0f, 0.2f}, kErosionFieldSteps, "from 1 to 100"},
      {{10, -0.5f, 1.0f, 35.0f, 0.2f}, kErosionFieldErodibility, "from 0 to 1000"},
      {{10, NAN, 1.0f, 35.0f, 0.2f}, kErosionFieldErodibility, "from 0 to 1000"},
      {{10, 1.0f, INFINITY, 35.0f, 0.2f}, kErosionFieldDeposition, "from 0 to 100"},
      {{10, 1.0f, 1.0f, 0.5f, 0.2f}, kErosionFieldTalusAngle, "from 1 to 90"},
      {{10, 1.0f, 1.0f, 91.0f, 0.2f}, kErosionFieldTalusAngle, "from 1 to 90"},
      {{10, 1.0f, 1.0f, 35.0f, -1.0f}, kErosionFieldCreep, "from 0 to 100"},
  };
  for (const auto& r : refused) {
    const ErosionCheck check = CheckErosionSettings(r.settings);
    EXPECT_EQ(check.field, r.field) << check.message;
    EXPECT_NE(std::string(check.message).find(r.says), std::string::npos) << check.message;
  }
}

TEST(Erosion, TalusSlopeIsTheTangent) {
  for (float angle : {1.0f, 10.0f, 35.0f, 45.0f, 60.0f, 89.0f}) {
    const double expected = std::tan(static_cast<double>(angle) * 3.14159265358979323846 / 180.0);
    EXPECT_NEAR(TalusSlope(angle), expected, 1e-13 * expected) << angle;
  }
  EXPECT_TRUE(std::isinf(TalusSlope(90.0f)));
}
