// The synthesis kernels written plainly: the reference for the vector forms.
#include "terrain/synthesis_kernels.h"

SplineCoefficients FormSplineCoefficients(const float window[4]) {
  const double p0 = window[0];
  const double p1 = window[1];
  const double p2 = window[2];
  const double p3 = window[3];
  const double half0 = 0.5 * p0;
  SplineCoefficients c;
  c.a3 = ((1.5 * p1 - half0) - 1.5 * p2) + 0.5 * p3;
  c.a2 = p0 - ((2.5 * p1 - 2.0 * p2) + 0.5 * p3);
  c.a1 = 0.5 * p2 - half0;
  c.a0 = p1;
  c.p2 = p2;
  return c;
}

static inline void SampleWindow(const SplineCoefficients& c, const double* parameters,
                                float* out, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    const double f = parameters[i];
    const double value = f >= 1.0 ? c.p2 : ((c.a3 * f + c.a2) * f + c.a1) * f + c.a0;
    out[i] = static_cast<float>(value);
  }
}

static void SampleRow(const float* points, const WindowRun* runs, int64_t runCount,
                      const double* parameters, float* out, double*) {
  for (int64_t i = 0; i < runCount; ++i) {
    const WindowRun& run = runs[i];
    SampleWindow(FormSplineCoefficients(points + run.window), parameters + run.start, out + run.start,
                 run.end - run.start);
  }
}

static void FormColumns(const float* const rows[4], double* coefficients, int64_t count) {
  for (int64_t x = 0; x < count; ++x) {
    const float window[4] = {rows[0][x], rows[1][x], rows[2][x], rows[3][x]};
    const SplineCoefficients c = FormSplineCoefficients(window);
    double* block = coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock + x % kCoefficientBlock;
    block[0] = c.a3;
    block[4] = c.a2;
    block[8] = c.a1;
    block[12] = c.a0;
  }
}

static void AddOctave(const double* coefficients, double f, double amplitude, float* heights,
                      int64_t count) {
  for (int64_t x = 0; x < count; ++x) {
    const double* block = coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock + x % kCoefficientBlock;
    const double sample = ((block[0] * f + block[4]) * f + block[8]) * f + block[12];
    const float octave = static_cast<float>(amplitude * sample);
    heights[x] = static_cast<float>(static_cast<double>(octave) + static_cast<double>(heights[x]));
  }
}

static void AddOctaveAtEnd(const float* ends, double amplitude, float* heights, int64_t count) {
  for (int64_t x = 0; x < count; ++x) {
    const float octave = static_cast<float>(amplitude * static_cast<double>(ends[x]));
    heights[x] = static_cast<float>(static_cast<double>(octave) + static_cast<double>(heights[x]));
  }
}

static bool ValueRange(const float* values, int64_t count, float* low, float* high) {
  int64_t i = 0;
  while (i < count && values[i] != values[i]) ++i;
  if (i == count) return false;
  float lowest = values[i];
  float highest = values[i];
  for (; i < count; ++i) {
    const float v = values[i];
    if (v < lowest) lowest = v;
    else if (v > highest) highest = v;
  }
  *low = lowest;
  *high = highest;
  return true;
}

const SynthesisKernels* ScalarKernels() {
  static const SynthesisKernels kernels = {SampleWindow, SampleRow, FormColumns, AddOctave, AddOctaveAtEnd,
                                           ValueRange};
  return &kernels;
}
