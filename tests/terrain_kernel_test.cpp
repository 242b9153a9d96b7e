// The synthesis's inner loops on every instruction set: exact results where rounding to float would hide a regrouping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "terrain/catmull_rom.h"
#include "terrain/synthesis_kernels.h"
#include "terrain/terrain_region.h"

struct NamedKernels {
  const char* name;
  const SynthesisKernels* kernels;
};

// Every kernel table this build and processor can run. The AVX2 one must run
// where the processor has it, under Wine too.
static std::vector<NamedKernels> AvailableKernels() {
  std::vector<NamedKernels> available = {{"scalar", ScalarKernels()}};
  if (Sse2Kernels()) available.push_back({"sse2", Sse2Kernels()});
  if (Avx2Kernels()) available.push_back({"avx2", Avx2Kernels()});
#if defined(__x86_64__)
  EXPECT_NE(Sse2Kernels(), nullptr);
  __builtin_cpu_init();
  EXPECT_EQ(Avx2Kernels() != nullptr, __builtin_cpu_supports("avx2") != 0);
#endif
  return available;
}

static bool SameBits(float a, float b) { return memcmp(&a, &b, sizeof a) == 0; }

// Column x's a3 in blocks of coefficients; its a2, a1 and a0 follow at strides of 4.
static double* ColumnCoefficients(std::vector<double>* blocks, int64_t x) {
  return blocks->data() + (x / kCoefficientBlock) * kCoefficientsPerBlock + x % kCoefficientBlock;
}

// A window of spread magnitudes and a parameter for which every plausible
// regrouping of the coefficients (a3's or a2's terms in another order) and of
// Horner's rule (a fused multiply-add in any step, expanded powers, Estrin's
// scheme) changes the double result. Found by a search over random windows.
static const float kWindow[4] = {-0x1.a9016cp+26f, -0x1.34d494p+25f, 0x1.abbbf8p-14f, 0x1.e83a8p-15f};
static const float kParameter = 0x1.5a48dp-1f;
static const double kSample = -0x1.1374d5e01bba2p+23;
static const double kA3 = -0x1.31eb90002078bp+22;
static const double kA2 = -0x1.37bd97ffe915p+23;
static const double kA1 = 0x1.a9016c0001abcp+25;

TEST(SynthesisKernels, SamplerAndCoefficientsKeepTheirGrouping) {
  EXPECT_EQ(CatmullRomSample(kParameter, 4, kWindow), kSample);
  // The same window as the first of two segments of a longer array.
  const float longer[5] = {kWindow[0], kWindow[1], kWindow[2], kWindow[3], 12.0f};
  EXPECT_EQ(CatmullRomSample(kParameter * 0.5f, 5, longer), kSample);
  const SplineCoefficients plain = FormSplineCoefficients(kWindow);
  EXPECT_TRUE(plain.a3 == kA3 && plain.a2 == kA2 && plain.a1 == kA1);
  // Nine columns of the same window: two full blocks and a lane of a third.
  const int64_t columns = 9;
  std::vector<float> rows[4];
  for (int j = 0; j < 4; ++j) rows[j].assign(columns + kKernelOverrun, kWindow[j]);
  const float* const points[4] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
  for (const NamedKernels& k : AvailableKernels()) {
    SCOPED_TRACE(k.name);
    std::vector<double> blocks(3 * kCoefficientsPerBlock, 0.0);
    k.kernels->formColumns(points, blocks.data(), columns);
    for (int64_t x = 0; x < columns; ++x) {
      const double* c = ColumnCoefficients(&blocks, x);
      EXPECT_TRUE(c[0] == kA3 && c[4] == kA2 && c[8] == kA1 && c[12] == static_cast<double>(kWindow[1])) << x;
    }
    // The row stage forms the same coefficients from a lattice row.
    std::vector<float> lattice(rows[0].size());
    std::copy(kWindow, kWindow + 4, lattice.begin());
    const double parameters[1 + kKernelOverrun] = {static_cast<double>(kParameter)};
    const WindowRun run = {0, 0, 1};
    std::vector<float> out(1 + kKernelOverrun);
    std::vector<double> scratch(kCoefficientsPerBlock);
    k.kernels->sampleRow(lattice.data(), &run, 1, parameters, out.data(), scratch.data());
    EXPECT_TRUE(SameBits(out[0], static_cast<float>(kSample)));
  }
}

// Coefficients a3, a2, a1, a0 whose Horner sum lands exactly on a float rounding tie,
// 2^-20 (1 + 2^-24), which rounds to the even 2^-20. Every regrouping of the
// Horner steps (as above) gives a double just above the tie, which rounds up:
// so the float results of the kernels show their unrounded doubles' grouping.
static const double kTie[4] = {0x1.ccca2257f4fdap+0, 0x1.e89a808ff1b26p+0, -0x1.b01b17f56b11cp+0,
                               -0x1.90f3689b8a4a6p+0};
static const float kTieParameter = 0x1.df1312p-1f;
static const float kTieRounded = 0x1p-20f;

TEST(SynthesisKernels, HornerStepKeepsItsGrouping) {
  const double f = static_cast<double>(kTieParameter);
  EXPECT_EQ(((kTie[0] * f + kTie[1]) * f + kTie[2]) * f + kTie[3], 0x1.000001p-20);
  const SplineCoefficients window = {kTie[0], kTie[1], kTie[2], kTie[3], 7.0};
  const int64_t count = 11;  // whole vectors and a tail
  std::vector<double> parameters(count + kKernelOverrun, f);
  parameters[5] = 1.0;  // a parameter of 1 and above gives the third point
  parameters[6] = 3.5;
  std::vector<double> blocks(3 * kCoefficientsPerBlock);
  for (int64_t x = 0; x < count; ++x) {
    for (int j = 0; j < 4; ++j) ColumnCoefficients(&blocks, x)[4 * j] = kTie[j];
  }
  for (const NamedKernels& k : AvailableKernels()) {
    SCOPED_TRACE(k.name);
    std::vector<float> out(count + kKernelOverrun, -1.0f);
    k.kernels->sampleWindow(window, parameters.data(), out.data(), count);
    std::vector<float> heights(count, 0.0f);
    k.kernels->addOctave(blocks.data(), f, 1.0, heights.data(), count);
    for (int64_t x = 0; x < count; ++x) {
      EXPECT_TRUE(SameBits(out[x], (x == 5 || x == 6) ? 7.0f : kTieRounded)) << x << ": " << out[x];
      EXPECT_TRUE(SameBits(heights[x], kTieRounded)) << x << ": " << heights[x];
    }
  }
}

// Floats of every kind: ordinary, subnormal, huge (sums overflow), zeros of both signs.
static float AnyFloat(std::mt19937* rng) {
  const uint32_t kind = (*rng)() % 8;
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  if (kind == 0) return std::ldexp(unit(*rng), -130);
  if (kind == 1) return std::ldexp(unit(*rng), 127);
  if (kind == 2) return (*rng)() % 2 ? 0.0f : -0.0f;
  return std::ldexp(unit(*rng), static_cast<int>((*rng)() % 40) - 20);
}

TEST(SynthesisKernels, VectorFormsMatchTheScalarForm) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 200; ++round) {
    const int64_t count = 1 + static_cast<int64_t>(rng() % 37);
    const size_t padded = static_cast<size_t>(count + 2 * kKernelOverrun);
    std::vector<float> rows[4];
    for (auto& row : rows) {
      row.resize(padded);
      for (float& v : row) v = AnyFloat(&rng);
    }
    const float* const points[4] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
    std::vector<float> heights(static_cast<size_t>(count));
    for (float& h : heights) h = AnyFloat(&rng);
    // Parameters as walks give them: floats in [0, 1), and some of 1 and above.
    std::vector<double> parameters(padded);
    for (double& p : parameters) {
      const float fraction = std::ldexp(static_cast<float>(rng() % 4096), -12);
      p = rng() % 5 == 0 ? 1.0 + static_cast<double>(rng() % 3) : static_cast<double>(fraction);
    }
    const double f = parameters[0] >= 1.0 ? 0.5 : parameters[0];
    const double amplitude = static_cast<double>(AnyFloat(&rng));
    std::vector<WindowRun> runs;
    for (int64_t start = 0, window = 0; start < count; ++window) {
      const int64_t end = start + 1 + static_cast<int64_t>(rng() % 5);
      runs.push_back({window, start, end < count ? end : count});
      start = runs.back().end;
    }
    // What every kernel but valueRange makes of the same inputs: the octave added by
    // coefficients, the octave added at the window's end, and a sampled row.
    const auto run = [&](const SynthesisKernels* k) {
      std::vector<double> blocks(padded / 4 * kCoefficientsPerBlock + kCoefficientsPerBlock, 0.0);
      std::vector<double> scratch(blocks.size());
      std::vector<float> out(heights);
      out.insert(out.end(), heights.begin(), heights.end());
      out.resize(out.size() + padded);
      k->formColumns(points, blocks.data(), count);
      k->addOctave(blocks.data(), f, amplitude, &out[0], count);
      k->addOctaveAtEnd(rows[2].data(), amplitude, &out[count], count);
      k->sampleRow(rows[0].data(), runs.data(), static_cast<int64_t>(runs.size()), parameters.data(), &out[2 * count],
                   scratch.data());
      out.resize(static_cast<size_t>(3 * count));
      return out;
    };
    const std::vector<float> expected = run(ScalarKernels());
    float expectedLow = 0.0f, expectedHigh = 0.0f;
    const bool found = ScalarKernels()->valueRange(heights.data(), count, &expectedLow, &expectedHigh);
    for (const NamedKernels& k : AvailableKernels()) {
      SCOPED_TRACE(k.name);
      const std::vector<float> got = run(k.kernels);
      ASSERT_EQ(memcmp(got.data(), expected.data(), got.size() * sizeof(float)), 0) << round;
      float low = 0.0f, high = 0.0f;
      ASSERT_EQ(k.kernels->valueRange(heights.data(), count, &low, &high), found);
      // Equal values may differ only as +0 and -0.
      ASSERT_TRUE(!found || (low == expectedLow && high == expectedHigh)) << round;
    }
  }
}

TEST(SynthesisKernels, GenerationPicksTheBestInstructionSet) {
  AvailableKernels();
  const TerrainSimd best = Avx2Kernels() ? kTerrainSimdAvx2 : (Sse2Kernels() ? kTerrainSimdSse2 : kTerrainSimdScalar);
  EXPECT_EQ(ActiveTerrainSimd(), best);
  ASSERT_TRUE(SelectTerrainSimd(kTerrainSimdScalar));
  EXPECT_EQ(ActiveTerrainSimd(), kTerrainSimdScalar);
  EXPECT_EQ(SelectTerrainSimd(kTerrainSimdAvx2), Avx2Kernels() != nullptr);
  ASSERT_TRUE(SelectTerrainSimd(kTerrainSimdAuto));
  EXPECT_EQ(ActiveTerrainSimd(), best);
}

TEST(SynthesisKernels, ValueRangeSkipsNaN) {
  const float nan = NAN;
  const float values[11] = {nan, nan, 3.0f, nan, -2.5f, 9.0f, nan, 4.0f, -7.0f, nan, 1.0f};
  for (const NamedKernels& k : AvailableKernels()) {
    SCOPED_TRACE(k.name);
    float low = 0.0f, high = 0.0f;
    ASSERT_TRUE(k.kernels->valueRange(values, 11, &low, &high));
    EXPECT_TRUE(low == -7.0f && high == 9.0f) << low << " " << high;
    EXPECT_FALSE(k.kernels->valueRange(values, 2, &low, &high));
    EXPECT_FALSE(k.kernels->valueRange(values, 0, &low, &high));
  }
}
