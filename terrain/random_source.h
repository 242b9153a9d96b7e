// The process-wide seeded random source that every terrain draw comes from.
#pragma once

#include <cstdint>

// The 32-bit float nearest 1/32767 (2^-15 + 2^-30): turns a draw into [0, 1].
constexpr float kRandomUnitScale = 3.0518509447574615e-05f;

// Sets the state to the bit pattern of the seed; 0 and negative seeds are fine.
void RandomSeed(int32_t seed);

// Advances the state and returns a value in 0..32767.
int RandomNext();

// A draw scaled to [0, 1], at double precision; callers round it where they store it.
double RandomUniform();
