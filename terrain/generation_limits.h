// The one check of generation parameters that both the viewer and the export tool run before generating.
#pragma once

#include <cstdint>

// Limits chosen so that every sensible terrain passes and every accepted one
// finishes in seconds and fits in memory.
constexpr float kMaxHeightScale = 1000000.0f;      // |terrain height| and |pass amplitude|
constexpr float kMaxFrequency = 4096.0f;           // lattice frequency of any pass
constexpr int32_t kMaxPassCount = 1000;
constexpr int64_t kMaxLatticeValues = 1LL << 30;   // values drawn by all passes together

enum GenerationField {
  kFieldNone,
  kFieldTerrainHeight,
  kFieldPassHeightScale,
  kFieldFreqScale,
  kFieldInitFreq,
  kFieldPassCount,
};

struct GenerationCheck {
  GenerationField field;  // kFieldNone when the parameters are accepted
  char message[256];      // names the field and the allowed range
};

// Accepts the parameters or names the first field that breaks a limit.
GenerationCheck CheckGenerationParameters(float terrainHeight, float passHeightScale,
                                          float freqScale, float initFreq, int32_t passCount);
