// The values the exported formats store for a sample: scaled heights, water levels, colour bytes.
#include "export/sample_formats.h"

#include <charconv>
#include <cmath>

uint8_t WaterSample8(float w) {
  const double value = std::floor(static_cast<double>(w) * 255.0 + 0.5);
  if (!(value > 0.0)) return 0;
  if (value >= 255.0) return 255;
  return static_cast<uint8_t>(value);
}

uint8_t ColourByte(float c) {
  return WaterSample8(c);
}

char* AppendFloatText(char* out, char* end, float value) {
  // 0 is written as 0 whatever its sign, so flat meshes read the same everywhere.
  if (value == 0.0f) value = 0.0f;
  const std::to_chars_result result = std::to_chars(out, end, value);
  return result.ptr;
}

std::string FloatText(float value) {
  char text[32];
  char* end = AppendFloatText(text, text + sizeof text, value);
  return std::string(text, end);
}
