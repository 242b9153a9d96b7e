// The values the exported formats store for a sample: scaled heights, water levels, colour bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// floor((h - low) / (high - low) x 65535 + 0.5) in double, clamped to 0 .. 65535;
// 0 when low equals high.
// Inline, so that rows of them compile to a loop without calls.
inline uint16_t HeightSample16(float h, float low, float high) {
  if (low == high) return 0;
  const double scaled = (static_cast<double>(h) - static_cast<double>(low)) /
                            (static_cast<double>(high) - static_cast<double>(low)) * 65535.0 + 0.5;
  // The floor is 0 below 1 (and for NaN); from 1 on, truncation floors.
  if (!(scaled >= 1.0)) return 0;
  if (scaled >= 65535.0) return 65535;
  return static_cast<uint16_t>(static_cast<int32_t>(scaled));
}

// min(255, floor(w x 255 + 0.5)), and 0 for water at or below 0.
uint8_t WaterSample8(float w);

// A colour component in 0 .. 1 (as OpenGL clamps it) times 255, rounded.
uint8_t ColourByte(float c);

// The shortest decimal text that reads back as exactly this float.
std::string FloatText(float value);

// Appends the shortest text of value to a buffer, returning the new end.
char* AppendFloatText(char* out, char* end, float value);
