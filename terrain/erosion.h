// Erosion of a height field by running water and by material sliding off slopes steeper than the talus angle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terrain/drainage.h"

struct SynthesisControl;

// The erosion's parameters, in world units: every terrain covers 150 x 150 units
// whatever its sample count, so the same settings carve the same valleys at any size.
struct ErosionSettings {
  int32_t steps;      // rounds of routing, sliding, stream erosion and creep
  float erodibility;  // K dt: ground of drainage area A (square units) and slope S
                      // wears down K dt sqrt(A) S a step
  float deposition;   // G: of the sediment reaching a sample, G / (its drainage area in samples) settles there
  float talusAngle;   // degrees; steeper slopes along the flow slide down to it (90: none)
  float creep;        // D dt, square units: hillslope diffusion a step (0: none)
};

// 10 steps, erodibility 1, deposition 1, talus angle 35, creep 0.2.
ErosionSettings DefaultErosionSettings();

// The limits CheckErosionSettings holds the parameters to.
constexpr int32_t kMaxErosionSteps = 100;
constexpr float kMaxErodibility = 1000.0f;
constexpr float kMaxDeposition = 100.0f;
constexpr float kMinTalusAngle = 1.0f;
constexpr float kMaxTalusAngle = 90.0f;
constexpr float kMaxCreep = 100.0f;

enum ErosionField {
  kErosionFieldNone,
  kErosionFieldSteps,
  kErosionFieldErodibility,
  kErosionFieldDeposition,
  kErosionFieldTalusAngle,
  kErosionFieldCreep,
};

struct ErosionCheck {
  ErosionField field;  // kErosionFieldNone when the settings are accepted
  char message[160];   // names the parameter and what it accepts
};

// Accepts the settings or names the first parameter out of its range.
ErosionCheck CheckErosionSettings(const ErosionSettings& settings);

// What a run moved: heights summed over all samples (multiply by the cell area
// for a volume). removed is the drop of the heights' sum, outflow what the
// sediment carried out through the edge samples; they agree within rounding.
struct ErosionReport {
  double removed;
  double outflow;
};

// Erodes the width x depth height field in place (element c + j * width at
// column c, row j; the field covers 150 x 150 units). Each step routes the
// water as the drainage map does, lets material slide where the slope along the
// flow exceeds the talus angle, solves the stream-power erosion with deposition
// implicitly along the flow (depressions keep the sediment reaching them, up to
// their brim), and lets the hillslopes creep. The edge samples stay as they
// are: sediment reaching them leaves the terrain.
// The result is bit for bit the same for every thread count (0: every core)
// and build. control (or null) takes the progress, in steps, and may cancel;
// the heights are then left part-eroded. report may be null. Settings must
// have passed CheckErosionSettings.
FlowStatus ErodeTerrain(float* heights, int64_t width, int64_t depth, const ErosionSettings& settings,
                        int threads, SynthesisControl* control, ErosionReport* report);

// The scratch bytes ErodeTerrain takes for a width x depth field, besides the heights.
int64_t ErosionScratchBytes(int64_t width, int64_t depth);

// The talus angle's slope (rise over run), computed with a fixed series so that
// every build gets the same bits; infinite at 90 degrees.
double TalusSlope(float angleDegrees);
