// Refuses generation parameters whose terrain would not finish in reasonable time and memory.
#include "terrain/generation_limits.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

static GenerationCheck Refuse(GenerationField field, const char* format, ...) {
  GenerationCheck check;
  check.field = field;
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(check.message, sizeof check.message, format, arguments);
  va_end(arguments);
  return check;
}

// Lattice values a pass of this frequency draws (as the synthesis pass sizes it).
static int64_t LatticeValues(float freq) {
  const double n = std::trunc(static_cast<double>(freq) + 2.0);
  return n > 0.0 ? static_cast<int64_t>(n) * static_cast<int64_t>(n) : 0;
}

GenerationCheck CheckGenerationParameters(float terrainHeight, float passHeightScale,
                                          float freqScale, float initFreq, int32_t passCount) {
  if (!std::isfinite(terrainHeight) || std::fabs(terrainHeight) > kMaxHeightScale) {
    return Refuse(kFieldTerrainHeight, "\"Terrain height\" must be a number from %.0f to %.0f.",
                  -static_cast<double>(kMaxHeightScale), static_cast<double>(kMaxHeightScale));
  }
  if (!std::isfinite(passHeightScale)) {
    return Refuse(kFieldPassHeightScale, "\"Pass height scale\" must be a finite number.");
  }
  if (passCount > kMaxPassCount) {
    return Refuse(kFieldPassCount, "\"Num. of Passes\" may be at most %d.", kMaxPassCount);
  }
  if (!std::isfinite(initFreq) || initFreq > kMaxFrequency) {
    return Refuse(kFieldInitFreq, "\"Init. Freq\" may be at most %.0f.", static_cast<double>(kMaxFrequency));
  }
  if (!std::isfinite(freqScale)) {
    return Refuse(kFieldFreqScale, "\"Freq. Scale\" must be a finite number.");
  }

  // Follow the passes exactly as generation will run them.
  float freq = initFreq;
  float amplitude = terrainHeight;
  int64_t latticeValues = 0;
  for (int32_t pass = 1; pass <= passCount; ++pass) {
    if (freq > kMaxFrequency) {
      return Refuse(kFieldFreqScale,
                    "\"Freq. Scale\" takes pass %d to frequency %.0f; the highest allowed is %.0f.",
                    pass, static_cast<double>(freq), static_cast<double>(kMaxFrequency));
    }
    if (std::fabs(amplitude) > kMaxHeightScale) {
      return Refuse(kFieldPassHeightScale,
                    "\"Pass height scale\" takes pass %d to height %g; at most %.0f is allowed.",
                    pass, static_cast<double>(amplitude), static_cast<double>(kMaxHeightScale));
    }
    latticeValues += LatticeValues(freq);
    if (latticeValues > kMaxLatticeValues) {
      return Refuse(kFieldPassCount,
                    "\"Num. of Passes\": these passes and frequencies draw more than %.0f lattice "
                    "values; use fewer passes or lower frequencies.",
                    static_cast<double>(kMaxLatticeValues));
    }
    freq = static_cast<float>(static_cast<double>(freq) + static_cast<double>(freqScale));
    amplitude = static_cast<float>(static_cast<double>(amplitude) * static_cast<double>(passHeightScale));
  }
  GenerationCheck accepted;
  accepted.field = kFieldNone;
  accepted.message[0] = '\0';
  return accepted;
}
