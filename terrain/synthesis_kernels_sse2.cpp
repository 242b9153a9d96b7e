// The synthesis kernels on SSE2, two doubles a lane pair: the x86-64 baseline of both builds.
#include "terrain/synthesis_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

static inline __attribute__((always_inline)) void SampleWindow(const SplineCoefficients& c,
                                                               const double* parameters, float* out,
                                                               int64_t count) {
  const __m128d a3 = _mm_set1_pd(c.a3);
  const __m128d a2 = _mm_set1_pd(c.a2);
  const __m128d a1 = _mm_set1_pd(c.a1);
  const __m128d a0 = _mm_set1_pd(c.a0);
  const __m128d p2 = _mm_set1_pd(c.p2);
  const __m128d one = _mm_set1_pd(1.0);
  for (int64_t i = 0; i < count; i += 4) {
    __m128 halves[2];
    for (int half = 0; half < 2; ++half) {
      const __m128d f = _mm_loadu_pd(parameters + i + 2 * half);
      const __m128d sample = _mm_add_pd(
          _mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(a3, f), a2), f), a1), f), a0);
      const __m128d atEnd = _mm_cmpge_pd(f, one);
      halves[half] = _mm_cvtpd_ps(_mm_or_pd(_mm_and_pd(atEnd, p2), _mm_andnot_pd(atEnd, sample)));
    }
    _mm_storeu_ps(out + i, _mm_movelh_ps(halves[0], halves[1]));
  }
}

// The windows' coefficients are formed four windows at a time, as columns whose
// four rows are the points shifted by 0, 1, 2 and 3.
static void FormColumns(const float* const rows[4], double* coefficients, int64_t count);

static void SampleRow(const float* points, const WindowRun* runs, int64_t runCount,
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

// Four floats widened to two pairs of doubles.
static void Widen(__m128 four, __m128d* low, __m128d* high) {
  *low = _mm_cvtps_pd(four);
  *high = _mm_cvtps_pd(_mm_movehl_ps(four, four));
}

static void FormColumns(const float* const rows[4], double* coefficients, int64_t count) {
  const __m128d half = _mm_set1_pd(0.5);
  const __m128d oneAndHalf = _mm_set1_pd(1.5);
  const __m128d twoAndHalf = _mm_set1_pd(2.5);
  const __m128d two = _mm_set1_pd(2.0);
  for (int64_t x = 0; x < count; x += kCoefficientBlock) {
    __m128d p[4][2];
    for (int j = 0; j < 4; ++j) Widen(_mm_loadu_ps(rows[j] + x), &p[j][0], &p[j][1]);
    double* block = coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock;
    for (int h = 0; h < 2; ++h) {
      const __m128d half0 = _mm_mul_pd(half, p[0][h]);
      const __m128d a3 = _mm_add_pd(
          _mm_sub_pd(_mm_sub_pd(_mm_mul_pd(oneAndHalf, p[1][h]), half0), _mm_mul_pd(oneAndHalf, p[2][h])),
          _mm_mul_pd(half, p[3][h]));
      const __m128d a2 = _mm_sub_pd(
          p[0][h], _mm_add_pd(_mm_sub_pd(_mm_mul_pd(twoAndHalf, p[1][h]), _mm_mul_pd(two, p[2][h])),
                              _mm_mul_pd(half, p[3][h])));
      const __m128d a1 = _mm_sub_pd(_mm_mul_pd(half, p[2][h]), half0);
      _mm_storeu_pd(block + 2 * h, a3);
      _mm_storeu_pd(block + 4 + 2 * h, a2);
      _mm_storeu_pd(block + 8 + 2 * h, a1);
      _mm_storeu_pd(block + 12 + 2 * h, p[1][h]);
    }
  }
}

// heights[0 .. 3] = float(double(float(amplitude * sample)) + double(heights)), from
// two pairs of samples. The sum of two floats in double, rounded to float, is
// their float sum (double has more than twice float's precision, so the double
// rounding is innocuous): one addps gives the same bits.
static void AddFour(__m128d low, __m128d high, double amplitude, float* heights) {
  const __m128d scale = _mm_set1_pd(amplitude);
  const __m128 octave =
      _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(scale, low)), _mm_cvtpd_ps(_mm_mul_pd(scale, high)));
  _mm_storeu_ps(heights, _mm_add_ps(octave, _mm_loadu_ps(heights)));
}

static void AddOctave(const double* coefficients, double f, double amplitude, float* heights,
                      int64_t count) {
  const __m128d fv = _mm_set1_pd(f);
  int64_t x = 0;
  for (; x + kCoefficientBlock <= count; x += kCoefficientBlock) {
    const double* block = coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock;
    __m128d sample[2];
    for (int h = 0; h < 2; ++h) {
      const __m128d a3 = _mm_loadu_pd(block + 2 * h);
      const __m128d a2 = _mm_loadu_pd(block + 4 + 2 * h);
      const __m128d a1 = _mm_loadu_pd(block + 8 + 2 * h);
      const __m128d a0 = _mm_loadu_pd(block + 12 + 2 * h);
      sample[h] = _mm_add_pd(
          _mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(a3, fv), a2), fv), a1), fv), a0);
    }
    AddFour(sample[0], sample[1], amplitude, heights + x);
  }
  ScalarKernels()->addOctave(coefficients + (x / kCoefficientBlock) * kCoefficientsPerBlock, f,
                             amplitude, heights + x, count - x);
}

// The amplitude is a float, so float(amplitude * double(end)) is the float product
// (innocuous double rounding again).
static void AddOctaveAtEnd(const float* ends, double amplitude, float* heights, int64_t count) {
  const __m128 scale = _mm_set1_ps(static_cast<float>(amplitude));
  int64_t x = 0;
  for (; x + 4 <= count; x += 4) {
    const __m128 octave = _mm_mul_ps(scale, _mm_loadu_ps(ends + x));
    _mm_storeu_ps(heights + x, _mm_add_ps(octave, _mm_loadu_ps(heights + x)));
  }
  ScalarKernels()->addOctaveAtEnd(ends + x, amplitude, heights + x, count - x);
}

static bool ValueRange(const float* values, int64_t count, float* low, float* high) {
  int64_t i = 0;
  while (i < count && values[i] != values[i]) ++i;
  if (i == count) return false;
  // minps(v, acc) keeps acc where v is NaN; acc itself never is.
  __m128 lowest = _mm_set1_ps(values[i]);
  __m128 highest = lowest;
  for (; i + 4 <= count; i += 4) {
    const __m128 v = _mm_loadu_ps(values + i);
    lowest = _mm_min_ps(v, lowest);
    highest = _mm_max_ps(v, highest);
  }
  float lanes[8];
  _mm_storeu_ps(lanes, lowest);
  _mm_storeu_ps(lanes + 4, highest);
  float lo = lanes[0];
  float hi = lanes[4];
  for (int lane = 1; lane < 4; ++lane) {
    if (lanes[lane] < lo) lo = lanes[lane];
    if (lanes[4 + lane] > hi) hi = lanes[4 + lane];
  }
  for (; i < count; ++i) {
    if (values[i] < lo) lo = values[i];
    if (values[i] > hi) hi = values[i];
  }
  *low = lo;
  *high = hi;
  return true;
}

const SynthesisKernels* Sse2Kernels() {
  static const SynthesisKernels kernels = {SampleWindow, SampleRow, FormColumns, AddOctave, AddOctaveAtEnd,
                                           ValueRange};
  return &kernels;
}

#else

const SynthesisKernels* Sse2Kernels() { return nullptr; }

#endif
