// The values the exported formats store for a sample: scaled heights, water levels, colour bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// floor((h - low) / (high - low) x 65535 + 0.5) in double, clamped to 0 .. 65535;
// 0 when low equals high.
uint16_t HeightSample16(float h, float low, float high);

// min(255, floor(w x 255 + 0.5)), and 0 for water at or below 0.
uint8_t WaterSample8(float w);

// A colour component in 0 .. 1 (as OpenGL clamps it) times 255, rounded.
uint8_t ColourByte(float c);

// The shortest decimal text that reads back as exactly this float.
std::string FloatText(float value);

// Appends the shortest text of value to a buffer, returning the new end.
char* AppendFloatText(char* out, char* end, float value);
