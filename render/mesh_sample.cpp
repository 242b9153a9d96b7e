// Where the solid mesh places a sample and which colour it gives it: plain arithmetic, no OpenGL.
#include "render/mesh_sample.h"

// The ramp's green and blue factors are the 32-bit floats nearest 1/3 and 0.2.
static const float kRampGreen = 0.33333334f;
static const float kRampBlue = 0.2f;
// Water above this intensity tints the mesh.
static const double kWaterTint = 0.4;

double GridCoordinate(float extent, int32_t index, int32_t count) {
  const double e = static_cast<double>(extent);
  return e * (static_cast<double>(index) / static_cast<double>(count)) - e * 0.5;
}

// The ramp parameter s: 0.3 at minHeight rising to 0.7 at maxHeight. A terrain of
// one single height has no span; it takes the colour of the lowest height.
static double RampParameter(float h, float minHeight, float maxHeight) {
  const double span = static_cast<double>(maxHeight) - static_cast<double>(minHeight);
  const double q = span == 0.0 ? 0.0 : (static_cast<double>(h) - static_cast<double>(minHeight)) / span;
  return 0.3 + 0.4 * q;
}

MeshSampleColour SampleMeshColour(float h, float w, float minHeight, float maxHeight,
                                  bool roundForGreenBlue) {
  MeshSampleColour colour;
  const double s = RampParameter(h, minHeight, maxHeight);
  const double sGreenBlue = roundForGreenBlue ? static_cast<double>(static_cast<float>(s)) : s;
  colour.ramp[0] = static_cast<float>(0.25 * s);
  colour.ramp[1] = static_cast<float>(static_cast<double>(kRampGreen) * sGreenBlue);
  colour.ramp[2] = static_cast<float>(static_cast<double>(kRampBlue) * sGreenBlue);
  const double water = static_cast<double>(w);
  colour.underWater = water > kWaterTint;
  colour.water[0] = 0.0f;
  colour.water[1] = static_cast<float>((1.0 - water) * 0.5);
  colour.water[2] = static_cast<float>(water * 0.5);
  return colour;
}
