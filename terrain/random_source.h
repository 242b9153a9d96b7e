// The process-wide seeded random source that every terrain draw comes from, and jumps over draws nobody reads.
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

// The process-wide state itself, for code that draws from a state of its own and
// must leave the source where the plain sequence of draws would.
uint32_t RandomState();
void RandomSetState(uint32_t state);

// The value 0..32767 that a state gives as a draw (RandomNext returns it for the
// state it has just advanced to).
inline int RandomValueOf(uint32_t state) {
  return static_cast<int>((state >> 16) & 0x7FFFu);
}

// RandomNext and RandomUniform on a state of the caller's (threads, tiles).
int RandomNextFrom(uint32_t* state);
double RandomUniformFrom(uint32_t* state);

// The state after a number of draws, as one affine map: state * multiplier + increment
// (mod 2^32). The generator repeats after 2^32 draws, so only the count mod 2^32 matters.
struct RandomJump {
  uint32_t multiplier;
  uint32_t increment;
};

// The jump over `draws` draws, composed by squaring: O(log draws).
RandomJump RandomJumpOver(uint64_t draws);
inline uint32_t RandomJumpApply(RandomJump jump, uint32_t state) {
  return state * jump.multiplier + jump.increment;
}
