// Where the solid mesh places a sample and which colour it gives it: plain arithmetic, no OpenGL.
#pragma once

#include <cstdint>

// Position of a column (or row) index along an axis of the given extent and
// sample count, at double precision: from -extent / 2 in steps of extent / count.
double GridCoordinate(float extent, int32_t index, int32_t count);

// The colours the mesh gives one sample: the height ramp, and the water tint
// that replaces it where the river runs.
struct MeshSampleColour {
  float ramp[3];
  bool underWater;  // water above 0.4: the tint is the colour shown
  float water[3];
};

// The colour of a sample of height h and water w on a terrain whose heights
// span minHeight .. maxHeight. The mesh issues each sample twice, once as the
// first vertex of a strip's pair (all three ramp factors times the double ramp
// parameter) and once as the second (green and blue times that parameter
// rounded to a float first): roundForGreenBlue picks the second form.
MeshSampleColour SampleMeshColour(float h, float w, float minHeight, float maxHeight,
                                  bool roundForGreenBlue);

// The colour the sample shows: the tint under water, else the ramp.
inline const float* ShownColour(const MeshSampleColour& colour) {
  return colour.underWater ? colour.water : colour.ramp;
}
