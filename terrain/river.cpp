// River carving along a jittered spline, with the cosine carving kernel.
#include "terrain/river.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "terrain/catmull_rom.h"
#include "terrain/random_source.h"
#include "terrain/terrain_grid.h"

static const int kKernelSize = 11;
static const int kKernelHalf = 5;
static const int kMinControlPoints = 4;
static const int kMaxControlPoints = 120;
static const int kCurveSteps = 120;

static float ClampFraction(float fraction) {
  if (!(fraction >= 0.0f)) return 0.0f;
  return fraction > 1.0f ? 1.0f : fraction;
}

static int ControlPointCount(float extraPoints) {
  const double count = static_cast<double>(extraPoints) + 4.0;
  if (!(count >= kMinControlPoints)) return kMinControlPoints;
  if (count >= kMaxControlPoints) return kMaxControlPoints;
  return static_cast<int>(count);
}

static void FillKernel(float kernel[kKernelSize][kKernelSize]) {
  const double step = static_cast<double>(0.2f);
  for (int a = 0; a < kKernelSize; ++a) {
    for (int b = 0; b < kKernelSize; ++b) {
      kernel[a][b] = static_cast<float>(std::cos(step * (a - kKernelHalf)) *
                                        std::cos(step * (b - kKernelHalf)));
    }
  }
}

// A grid coordinate truncated to a cell index, kept far from integer overflow.
static int64_t CellIndex(float coordinate) {
  const double limit = 1073741824.0;
  const double c = static_cast<double>(coordinate);
  return static_cast<int64_t>(c > limit ? limit : c);
}

static double JitterShift(double margin) {
  return 2.0 * RandomUniform() - margin;
}

static void Jitter(float* coordinate, double margin) {
  *coordinate = static_cast<float>(JitterShift(margin) + static_cast<double>(*coordinate));
}

static void CarveAt(float* heights, float* water, int width, int depth, int64_t cx, int64_t cz,
                    const float kernel[kKernelSize][kKernelSize], int per) {
  for (int a = 0; a < kKernelSize; ++a) {
    const int64_t row = cz - kKernelHalf + a;
    if (row < 0 || row >= depth) continue;
    for (int b = 0; b < kKernelSize; ++b) {
      const int64_t column = cx - kKernelHalf + b;
      if (column < 0 || column >= width) continue;
      const int64_t cell = column + row * width;
      const double k = static_cast<double>(kernel[a][b]);
      heights[cell] = static_cast<float>(static_cast<double>(heights[cell]) - 0.5 * k);
      const float raised =
          static_cast<float>(static_cast<double>(water[cell]) + (k / per) * 2.0);
      // Water is an intensity: keep the cell just updated at most 1.0.
      water[cell] = raised > 1.0f ? 1.0f : raised;
    }
  }
}

bool CarveRiver(float* heights, float* water, int width, int depth,
                RiverEnd riverStart, RiverEnd riverEnd, float extraPoints) {
  if (width < 1 || depth < 1 || !heights || !water) return true;

  const int count = ControlPointCount(extraPoints);
  const int per = kCurveSteps / count;
  const int steps = per * count;

  float* xs = NewZeroFloats(count);
  float* hs = NewZeroFloats(count);
  float* zs = NewZeroFloats(count);
  float* samples = NewZeroFloats(static_cast<int64_t>(steps + 1) * 2);
  if (!xs || !hs || !zs || !samples) {
    free(xs);
    free(hs);
    free(zs);
    free(samples);
    return false;
  }

  float kernel[kKernelSize][kKernelSize];
  FillKernel(kernel);

  const int x0 = static_cast<int>(static_cast<double>(ClampFraction(riverStart.xFraction)) * (width - 1));
  const int z0 = static_cast<int>(static_cast<double>(ClampFraction(riverStart.zFraction)) * (depth - 1));
  const int x1 = static_cast<int>(static_cast<double>(ClampFraction(riverEnd.xFraction)) * (width - 1));
  const int z1 = static_cast<int>(static_cast<double>(ClampFraction(riverEnd.zFraction)) * (depth - 1));
  const float startPoint[3] = {static_cast<float>(x0), heights[x0 + static_cast<int64_t>(z0) * width], static_cast<float>(z0)};
  const float endPoint[3] = {static_cast<float>(x1), heights[x1 + static_cast<int64_t>(z1) * width], static_cast<float>(z1)};
  float difference[3];
  for (int i = 0; i < 3; ++i) {
    difference[i] = static_cast<float>(static_cast<double>(endPoint[i]) - static_cast<double>(startPoint[i]));
  }

  // Control points on the straight line, one spacing beyond each end.
  float* coordinates[3] = {xs, hs, zs};
  for (int k = 0; k < count; ++k) {
    const double s = static_cast<double>(k - 1) / static_cast<double>(count - 3);
    for (int i = 0; i < 3; ++i) {
      coordinates[i][k] = static_cast<float>(static_cast<double>(difference[i]) * s +
                                             static_cast<double>(startPoint[i]));
    }
  }

  // Jitter moves x and h, never z; the ends keep their h.
  const double margin = static_cast<double>(width) * 0.2;
  const int first = 1;
  const int last = count - 2;
  for (int k = 0; k < count; ++k) {
    if (k == first || k == last) continue;
    Jitter(&xs[k], margin);
    Jitter(&hs[k], margin);
  }
  Jitter(&xs[first], margin);
  Jitter(&xs[last], margin);

  for (int k = 0; k <= steps; ++k) {
    const float t = static_cast<float>(static_cast<double>(k) / static_cast<double>(steps));
    samples[2 * k] = static_cast<float>(CatmullRomSample(t, count, xs));
    samples[2 * k + 1] = static_cast<float>(CatmullRomSample(t, count, zs));
  }
  free(xs);
  free(hs);
  free(zs);

  for (int k = 0; k <= steps; ++k) {
    const float x = samples[2 * k];
    const float z = samples[2 * k + 1];
    if (!(x >= 0.0f) || !(z >= 0.0f)) continue;
    RandomNext();  // every carved sample takes one draw; its value is not used
    CarveAt(heights, water, width, depth, CellIndex(x), CellIndex(z), kernel, per);
  }
  free(samples);
  return true;
}
