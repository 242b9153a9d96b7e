// The inner loops of the fast synthesis, in scalar, SSE2 and AVX2 forms that give the same bits.
#pragma once

#include <cstdint>

// The Catmull-Rom coefficients of one four-point window, formed exactly as
// CatmullRomSample forms them, and the window's third point, which the sampler
// returns for parameters of 1 and above.
struct SplineCoefficients {
  double a3;
  double a2;
  double a1;
  double a0;
  double p2;
};

SplineCoefficients FormSplineCoefficients(const float window[4]);

// Columns of a lattice row's samples that share one window: out[start .. end - 1]
// come from the points window .. window + 3.
struct WindowRun {
  int64_t window;
  int64_t start;
  int64_t end;
};

// Column coefficients are stored in blocks of four columns: the four a3, then
// the four a2, a1 and a0 (16 doubles a block).
constexpr int64_t kCoefficientBlock = 4;
constexpr int64_t kCoefficientsPerBlock = 16;

// Kernels marked "may overrun" read and write up to this many elements past count.
constexpr int64_t kKernelOverrun = 8;

// Every kernel does, lane by lane, exactly the double operations of the scalar
// form: no fused multiply-adds, no reordering.
struct SynthesisKernels {
  // out[i] = float(p[i] >= 1 ? p2 : ((a3 * p[i] + a2) * p[i] + a1) * p[i] + a0),
  // p = parameters. May overrun.
  void (*sampleWindow)(const SplineCoefficients& window, const double* parameters, float* out,
                       int64_t count);
  // The row stage of one lattice row: for each run, its window's coefficients
  // (as FormSplineCoefficients) and sampleWindow over the run's columns. Runs are
  // in column order with rising windows, and each may spill into the next one's
  // columns, which that one then writes: out needs kKernelOverrun elements past
  // the last run. points must be readable up to kKernelOverrun past the last
  // window's four; coefficients is scratch for formColumns over the windows.
  void (*sampleRow)(const float* points, const WindowRun* runs, int64_t runCount,
                    const double* parameters, float* out, double* coefficients);
  // The coefficient blocks of columns 0 .. count - 1 of four rows of points, the
  // rows being a window's four points. Reads up to 3 points past count in each row.
  void (*formColumns)(const float* const rows[4], double* coefficients, int64_t count);
  // heights[i] = float(double(float(amplitude * H)) + double(heights[i])) with
  // H = ((a3 * f + a2) * f + a1) * f + a0 of column i. Exactly count heights.
  // The amplitude is a float widened to double.
  void (*addOctave)(const double* coefficients, double f, double amplitude, float* heights,
                    int64_t count);
  // The same with H = ends[i] (a parameter of 1 or above: the window's third point).
  void (*addOctaveAtEnd)(const float* ends, double amplitude, float* heights, int64_t count);
  // The lowest and highest of the values that are not NaN; false when all are NaN.
  // Among equal values (+0 and -0) either may be reported.
  bool (*valueRange)(const float* values, int64_t count, float* low, float* high);
};

const SynthesisKernels* ScalarKernels();
// Null where the build or the processor lacks the instructions.
const SynthesisKernels* Sse2Kernels();
const SynthesisKernels* Avx2Kernels();
