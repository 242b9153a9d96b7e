// The 15-bit linear congruential generator behind every random terrain decision.
#include "terrain/random_source.h"

static const uint32_t kMultiplier = 214013u;
static const uint32_t kIncrement = 2531011u;

static uint32_t randomState = 1;

void RandomSeed(int32_t seed) {
  randomState = static_cast<uint32_t>(seed);
}

int RandomNextFrom(uint32_t* state) {
  *state = *state * kMultiplier + kIncrement;
  return RandomValueOf(*state);
}

double RandomUniformFrom(uint32_t* state) {
  return static_cast<double>(RandomNextFrom(state)) * static_cast<double>(kRandomUnitScale);
}

int RandomNext() {
  return RandomNextFrom(&randomState);
}

double RandomUniform() {
  return RandomUniformFrom(&randomState);
}

uint32_t RandomState() {
  return randomState;
}

void RandomSetState(uint32_t state) {
  randomState = state;
}

RandomJump RandomJumpOver(uint64_t draws) {
  RandomJump total = {1u, 0u};
  RandomJump power = {kMultiplier, kIncrement};  // the jump over 2^bit draws
  for (uint64_t rest = draws & 0xFFFFFFFFu; rest != 0; rest >>= 1) {
    if (rest & 1u) {
      total.increment = total.increment * power.multiplier + power.increment;
      total.multiplier = total.multiplier * power.multiplier;
    }
    power.increment = power.increment * power.multiplier + power.increment;
    power.multiplier = power.multiplier * power.multiplier;
  }
  return total;
}
