// Catmull-Rom sampling with the exact grouping that keeps terrains bit-exact.
#include "terrain/catmull_rom.h"

double CatmullRomSample(float t, int count, const float* points) {
  if (count < 4) return 0.0;

  double u = static_cast<double>(t);
  if (!(t >= 0.0f)) u = 0.0;
  else if (t > 1.0f) u = 1.0;

  const int segments = count - 3;
  const double g = u * static_cast<double>(segments);
  const int i = static_cast<int>(g);
  if (i >= segments) return static_cast<double>(points[count - 2]);

  const double p0 = points[i];
  const double p1 = points[i + 1];
  const double p2 = points[i + 2];
  const double p3 = points[i + 3];
  const double f = static_cast<double>(static_cast<float>(g - static_cast<double>(i)));

  const double half0 = 0.5 * p0;
  const double a3 = ((1.5 * p1 - half0) - 1.5 * p2) + 0.5 * p3;
  const double a2 = p0 - ((2.5 * p1 - 2.0 * p2) + 0.5 * p3);
  const double a1 = 0.5 * p2 - half0;
  const double a0 = p1;
  return ((a3 * f + a2) * f + a1) * f + a0;
}
