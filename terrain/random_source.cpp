// The 15-bit linear congruential generator behind every random terrain decision.
#include "terrain/random_source.h"

static uint32_t randomState = 1;

void RandomSeed(int32_t seed) {
  randomState = static_cast<uint32_t>(seed);
}

int RandomNext() {
  randomState = randomState * 214013u + 2531011u;
  return static_cast<int>((randomState >> 16) & 0x7FFFu);
}

double RandomUniform() {
  return static_cast<double>(RandomNext()) * static_cast<double>(kRandomUnitScale);
}
