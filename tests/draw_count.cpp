// Finds the random source's position by comparing its next values with a replay from the seed.
#include "draw_count.h"

#include "terrain/random_source.h"

bool SourceStandsAt(int32_t seed, int64_t draws) {
  const int kProbe = 6;
  int next[kProbe];
  for (int i = 0; i < kProbe; ++i) next[i] = RandomNext();
  RandomSeed(seed);
  for (int64_t i = 0; i < draws; ++i) RandomNext();
  for (int i = 0; i < kProbe; ++i) {
    if (RandomNext() != next[i]) return false;
  }
  return true;
}
