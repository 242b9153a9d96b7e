// The plan of a generation: its passes with their random states, and the river's course.
#include "terrain/tiled_synthesis.h"

#include <cstdlib>
#include <cstring>

#include "terrain/random_source.h"
#include "terrain/river_resample.h"
#include "terrain/synthesis_pass.h"

static bool AppendPass(SynthesisPlan* plan, int64_t* capacity, const PassPlan& pass) {
  if (plan->passCount == *capacity) {
    const int64_t grown = *capacity == 0 ? 16 : *capacity * 2;
    void* larger = realloc(plan->passes, static_cast<size_t>(grown) * sizeof(PassPlan));
    if (!larger) return false;
    plan->passes = static_cast<PassPlan*>(larger);
    *capacity = grown;
  }
  plan->passes[plan->passCount++] = pass;
  return true;
}

bool PlanSynthesis(const TerrainSettings& settings, int64_t terrainWidth, int64_t terrainDepth,
                   SynthesisPlan* plan) {
  memset(plan, 0, sizeof *plan);
  plan->terrainWidth = terrainWidth;
  plan->terrainDepth = terrainDepth;
  const uint32_t seedState = static_cast<uint32_t>(settings.seed);
  uint64_t draws = 0;  // modulo 2^64; the generator needs it modulo 2^32
  int64_t capacity = 0;
  float freq = settings.initFreq;
  float amplitude = settings.terrainHeight;
  for (int32_t pass = 0; pass < settings.passCount; ++pass) {
    const int64_t n = LatticeSize(freq);
    if (n < 0) {
      ReleaseSynthesisPlan(plan);
      return false;
    }
    if (n >= 3) {
      const double segments = static_cast<double>(freq) - 1.0;
      PassPlan planned;
      planned.amplitude = static_cast<double>(amplitude);
      planned.latticeSide = n;
      planned.firstState = RandomJumpApply(RandomJumpOver(draws), seedState);
      planned.xStep = static_cast<float>(static_cast<double>(terrainWidth) / segments);
      planned.zStep = static_cast<float>(static_cast<double>(terrainDepth) / segments);
      if (!AppendPass(plan, &capacity, planned)) {
        ReleaseSynthesisPlan(plan);
        return false;
      }
    }
    draws += static_cast<uint64_t>(n) * static_cast<uint64_t>(n);
    freq = static_cast<float>(static_cast<double>(freq) + static_cast<double>(settings.freqScale));
    amplitude = static_cast<float>(static_cast<double>(amplitude) * static_cast<double>(settings.passHeightScale));
  }

  uint32_t state = RandomJumpApply(RandomJumpOver(draws), seedState);
  plan->river = settings.river == 1;
  if (plan->river) {
    const float u1 = static_cast<float>(RandomUniformFrom(&state));
    const float u2 = static_cast<float>(RandomUniformFrom(&state));
    const RiverEnd riverStart = {u1, 0.0f};
    const RiverEnd riverEnd = {u2, 1.0f};
    // The course is the 100 x 100 terrain's whatever the size: the same draws on the same grid.
    const int base = static_cast<int>(kRiverBaseSide);
    PlanRiverCourse(&state, base, base, riverStart, riverEnd, 0.0f, &plan->course);
    plan->riverOnBaseGrid = terrainWidth != kRiverBaseSide || terrainDepth != kRiverBaseSide;
    if (plan->riverOnBaseGrid) {
      plan->baseChange = static_cast<float*>(calloc(kRiverBaseSide * kRiverBaseSide, sizeof(float)));
      plan->baseWater = static_cast<float*>(calloc(kRiverBaseSide * kRiverBaseSide, sizeof(float)));
      if (!plan->baseChange || !plan->baseWater) {
        ReleaseSynthesisPlan(plan);
        return false;
      }
      CarveBaseRiver(plan->course, plan->baseChange, plan->baseWater);
    }
  }
  plan->finalState = state;
  return true;
}

void ReleaseSynthesisPlan(SynthesisPlan* plan) {
  free(plan->passes);
  free(plan->baseChange);
  free(plan->baseWater);
  plan->passes = nullptr;
  plan->baseChange = nullptr;
  plan->baseWater = nullptr;
  plan->passCount = 0;
}
