// River carving along a jittered spline, with the cosine carving kernel.
#include "terrain/river.h"

#include <cmath>
#include <cstdint>

#include "terrain/catmull_rom.h"
#include "terrain/random_source.h"

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

static double JitterShift(uint32_t* randomState, double margin) {
  return 2.0 * RandomUniformFrom(randomState) - margin;
}

static void Jitter(uint32_t* randomState, float* coordinate, double margin) {
  *coordinate = static_cast<float>(JitterShift(randomState, margin) + static_cast<double>(*coordinate));
}

static void CarveAt(const RiverCourse& course, int64_t cx, int64_t cz, int64_t gridWidth,
                    int64_t gridDepth, const RiverWindow& window,
                    const float kernel[kKernelSize][kKernelSize], float* heights, float* water) {
  for (int a = 0; a < kKernelSize; ++a) {
    const int64_t row = cz - kKernelHalf + a;
    if (row < 0 || row >= gridDepth || row < window.z0 || row >= window.z0 + window.depth) continue;
    for (int b = 0; b < kKernelSize; ++b) {
      const int64_t column = cx - kKernelHalf + b;
      if (column < 0 || column >= gridWidth) continue;
      if (column < window.x0 || column >= window.x0 + window.width) continue;
      const int64_t cell = (column - window.x0) + (row - window.z0) * window.stride;
      const double k = static_cast<double>(kernel[a][b]);
      heights[cell] = static_cast<float>(static_cast<double>(heights[cell]) - 0.5 * k);
      if (!water) continue;
      const float raised =
          static_cast<float>(static_cast<double>(water[cell]) + (k / course.per) * 2.0);
      // Water is an intensity: keep the cell just updated at most 1.0.
      water[cell] = raised > 1.0f ? 1.0f : raised;
    }
  }
}

void PlanRiverCourse(uint32_t* randomState, int width, int depth, RiverEnd riverStart,
                     RiverEnd riverEnd, float extraPoints, RiverCourse* course) {
  const int count = ControlPointCount(extraPoints);
  course->per = kCurveSteps / count;
  course->centreCount = 0;
  if (width < 1 || depth < 1) return;
  const int steps = course->per * count;

  const int x0 = static_cast<int>(static_cast<double>(ClampFraction(riverStart.xFraction)) * (width - 1));
  const int z0 = static_cast<int>(static_cast<double>(ClampFraction(riverStart.zFraction)) * (depth - 1));
  const int x1 = static_cast<int>(static_cast<double>(ClampFraction(riverEnd.xFraction)) * (width - 1));
  const int z1 = static_cast<int>(static_cast<double>(ClampFraction(riverEnd.zFraction)) * (depth - 1));
  // Only x and z shape the course: the heights of the ends are never read, their jitter
  // draws are still taken below.
  const float startPoint[2] = {static_cast<float>(x0), static_cast<float>(z0)};
  const float endPoint[2] = {static_cast<float>(x1), static_cast<float>(z1)};

  // Control points on the straight line, one spacing beyond each end.
  float xs[kMaxControlPoints];
  float zs[kMaxControlPoints];
  float* coordinates[2] = {xs, zs};
  for (int i = 0; i < 2; ++i) {
    const float difference =
        static_cast<float>(static_cast<double>(endPoint[i]) - static_cast<double>(startPoint[i]));
    for (int k = 0; k < count; ++k) {
      const double s = static_cast<double>(k - 1) / static_cast<double>(count - 3);
      coordinates[i][k] = static_cast<float>(static_cast<double>(difference) * s +
                                             static_cast<double>(startPoint[i]));
    }
  }

  // Jitter moves x and h, never z; the ends keep their h.
  const double margin = static_cast<double>(width) * 0.2;
  const int first = 1;
  const int last = count - 2;
  for (int k = 0; k < count; ++k) {
    if (k == first || k == last) continue;
    Jitter(randomState, &xs[k], margin);
    JitterShift(randomState, margin);  // h
  }
  Jitter(randomState, &xs[first], margin);
  Jitter(randomState, &xs[last], margin);

  for (int k = 0; k <= steps; ++k) {
    const float t = static_cast<float>(static_cast<double>(k) / static_cast<double>(steps));
    const float x = static_cast<float>(CatmullRomSample(t, count, xs));
    const float z = static_cast<float>(CatmullRomSample(t, count, zs));
    if (!(x >= 0.0f) || !(z >= 0.0f)) continue;
    RandomNextFrom(randomState);  // every carved sample takes one draw; its value is not used
    course->centreX[course->centreCount] = CellIndex(x);
    course->centreZ[course->centreCount] = CellIndex(z);
    course->centreCount += 1;
  }
}

void CarveRiverCourse(const RiverCourse& course, int64_t gridWidth, int64_t gridDepth,
                      RiverWindow window, float* heights, float* water) {
  float kernel[kKernelSize][kKernelSize];
  FillKernel(kernel);
  for (int i = 0; i < course.centreCount; ++i) {
    CarveAt(course, course.centreX[i], course.centreZ[i], gridWidth, gridDepth, window, kernel,
            heights, water);
  }
}

bool CarveRiver(float* heights, float* water, int width, int depth,
                RiverEnd riverStart, RiverEnd riverEnd, float extraPoints) {
  if (width < 1 || depth < 1 || !heights || !water) return true;
  RiverCourse course;
  uint32_t state = RandomState();
  PlanRiverCourse(&state, width, depth, riverStart, riverEnd, extraPoints, &course);
  RandomSetState(state);
  const RiverWindow whole = {0, 0, width, depth, width};
  CarveRiverCourse(course, width, depth, whole, heights, water);
  return true;
}
