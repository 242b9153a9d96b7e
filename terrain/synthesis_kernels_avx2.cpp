// The synthesis kernels on AVX2, four doubles a vector, chosen at run time where the processor has it.
#include "terrain/synthesis_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

// Only these functions use AVX2 (no FMA): the rest of the program stays on the
// baseline. The compiler ends each of them with vzeroupper.
#define KORAVEL_AVX2 __attribute__((target("avx2")))

KORAVEL_AVX2 static inline __attribute__((always_inline)) void SampleWindow(
    const SplineCoefficients& c, const double* parameters, float* out, int64_t count) {
  const __m256d a3 = _mm256_set1_pd(c.a3);
  const __m256d a2 = _mm256_set1_pd(c.a2);
  const __m256d a1 = _mm256_set1_pd(c.a1);
  const __m256d a0 = _mm256_set1_pd(c.a0);
  const __m256d p2 = _mm256_set1_pd(c.p2);
  const __m256d one = _mm256_set1_pd(1.0);
  for (int64_t i = 0; i < count; i += 4) {
    const __m256d f = _mm256_loadu_pd(parameters + i);
    const __m256d sample = _mm256_add_pd(
        _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a3, f), a2), f), a1), f),
        a0);
    const __m256d atEnd = _mm256_cmp_pd(f, one, _CMP_GE_OQ);
    _mm_storeu_ps(out + i, _mm256_cvtpd_ps(_mm256_blendv_pd(sample, p2, atEnd)));
  }
}

// The windows' coefficients are formed four windows at a time, as columns whose
// four rows are the points shifted by 0, 1, 2 and 3.
KORAVEL_AVX2 static void FormColumns(const float* const rows[4], double* coefficients, int64_t count);

KORAVEL_AVX2 static void SampleRow(const float* points, const WindowRun* runs, int64_t runCount,
                                   const double* parameters, float* out, double* coefficients) {
  if (runCount == 0) return;
  const float* const shifted[4] = {points, points + 1, points + 2, points + 3};
  FormColumns(shifted, coefficients, runs[runCount - 1].window + 1);
  for (int64_t i = 0; i < runCount; ++i) {
    const WindowRun& run = runs[i];
    const double* block = coefficients + (run.window / kCoefficientBlock) * kCoefficientsPerBlock +
                          run.window % kCoefficientBlock;
    const SplineCoefficients c = {block[0], block[4], block[8], block[12],
                                  static_cast<double>(points[run.window + 2])};
    SampleWindow(c, parameters + run.start, out + run.start, run.end - run.start);
  }
}

KORAVEL_AVX2 static void FormColumns(const float* const rows[4], double* coefficients,
                                     int64_t count) {
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d oneAndHalf = _mm256_set1_pd(1.5);
  const __m256d twoAndHalf = _mm256_set1_pd(2.5);
  const __m256d two = _mm256_set1_pd(2.0);
  for (int64_t x = 0; x < count; x += kCoefficientBlock) {
    const __m256d p0 = _mm256_cvtps_pd(_mm_loadu_ps(rows[0] + x));
    const __m256d p1 = _mm256_cvtps_pd(_mm_loadu_ps(rows[1] + x));
    const __m256d p2 = _mm256_cvtps_pd(_mm_loadu_ps(rows[2] + x));
    const __m256d p3 = _mm256_cvtps_pd(_mm_loadu_ps(rows[3] + x));
    const __m256d half0 = _mm256_mul_pd(half, p0);
    const __m256d a3 = _mm256_add_pd(
        _mm256_sub_pd(_mm256_sub_pd(_mm256_mul_pd(oneAndHalf, p1), half0), _mm256_mul_pd(oneAndHalf, p2)),
        _mm256_mul_pd(half, p3));
    const __m256d a2 = _mm256_sub_pd(
        p0, _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(twoAndHalf, p1), _mm256_mul_pd(two, p2)),
                          _mm256_mul_pd(half, p3)));
    const __m256d a1 = _mm256_sub_pd(_mm256_mul_pd(half, p2), half0);
    double* block = coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock;
    _mm256_storeu_pd(block, a3);
    _mm256_storeu_pd(block + 4, a2);
    _mm256_storeu_pd(block + 8, a1);
    _mm256_storeu_pd(block + 12, p1);
  }
}

// heights[0 .. 3] = float(double(float(amplitude * sample)) + double(heights)). The
// sum of two floats in double, rounded to float, is their float sum (double has
// more than twice float's precision, so the double rounding is innocuous): one
// addps gives the same bits as widening both, adding and narrowing.
KORAVEL_AVX2 static inline __attribute__((always_inline)) void AddFour(__m256d sample, __m256d amplitude,
                                                                    float* heights) {
  const __m128 octave = _mm256_cvtpd_ps(_mm256_mul_pd(amplitude, sample));
  _mm_storeu_ps(heights, _mm_add_ps(octave, _mm_loadu_ps(heights)));
}

KORAVEL_AVX2 static void AddOctave(const double* coefficients, double f, double amplitude,
                                   float* heights, int64_t count) {
  const __m256d fv = _mm256_set1_pd(f);
  const __m256d scale = _mm256_set1_pd(amplitude);
  int64_t x = 0;
  for (; x + kCoefficientBlock <= count; x += kCoefficientBlock) {
    const double* block = coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock;
    const __m256d a3 = _mm256_loadu_pd(block);
    const __m256d a2 = _mm256_loadu_pd(block + 4);
    const __m256d a1 = _mm256_loadu_pd(block + 8);
    const __m256d a0 = _mm256_loadu_pd(block + 12);
    const __m256d sample = _mm256_add_pd(
        _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(a3, fv), a2), fv), a1), fv),
        a0);
    AddFour(sample, scale, heights + x);
  }
  ScalarKernels()->addOctave(coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock, f,
                             amplitude, heights + x, count - x);
}

// The amplitude is a float, so float(amplitude * double(end)) is the float
// product (innocuous double rounding again): eight lanes of float arithmetic.
KORAVEL_AVX2 static void AddOctaveAtEnd(const float* ends, double amplitude, float* heights,
                                        int64_t count) {
  const __m256 scale = _mm256_set1_ps(static_cast<float>(amplitude));
  int64_t x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m256 octave = _mm256_mul_ps(scale, _mm256_loadu_ps(ends + x));
    _mm256_storeu_ps(heights + x, _mm256_add_ps(octave, _mm256_loadu_ps(heights + x)));
  }
  ScalarKernels()->addOctaveAtEnd(ends + x, amplitude, heights + x, count - x);
}

KORAVEL_AVX2 static bool ValueRange(const float* values, int64_t count, float* low, float* high) {
  int64_t i = 0;
  while (i < count && values[i] != values[i]) ++i;
  if (i == count) return false;
  // vminps(v, acc) keeps acc where v is NaN; acc itself never is.
  __m256 lowest = _mm256_set1_ps(values[i]);
  __m256 highest = lowest;
  for (; i + 8 <= count; i += 8) {
    const __m256 v = _mm256_loadu_ps(values + i);
    lowest = _mm256_min_ps(v, lowest);
    highest = _mm256_max_ps(v, highest);
  }
  float lanes[16];
  _mm256_storeu_ps(lanes, lowest);
  _mm256_storeu_ps(lanes + 8, highest);
  float lo = lanes[0];
  float hi = lanes[8];
  for (int lane = 1; lane < 8; ++lane) {
    if (lanes[lane] < lo) lo = lanes[lane];
    if (lanes[8 + lane] > hi) hi = lanes[8 + lane];
  }
  for (; i < count; ++i) {
    if (values[i] < lo) lo = values[i];
    if (values[i] > hi) hi = values[i];
  }
  *low = lo;
  *high = hi;
  return true;
}

const SynthesisKernels* Avx2Kernels() {
  static const SynthesisKernels kernels = {SampleWindow, SampleRow, FormColumns, AddOctave, AddOctaveAtEnd,
                                           ValueRange};
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &kernels : nullptr;
}

#else

const SynthesisKernels* Avx2Kernels() { return nullptr; }

#endif
