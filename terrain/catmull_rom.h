// Uniform Catmull-Rom spline evaluation over an array of 32-bit floats.
#pragma once

// Evaluates the spline through points[1] .. points[count - 2] at the global
// parameter t (clamped to [0, 1]; NaN reads as 0). Returns the unrounded double.
// Fewer than four points give 0.0. Only points[0] .. points[count - 1] are read.
double CatmullRomSample(float t, int count, const float* points);
