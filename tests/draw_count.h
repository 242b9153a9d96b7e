// Test helper: tells how many values the random source delivered since a seeding.
#pragma once

#include <cstdint>

// True when the source now stands exactly `draws` values after RandomSeed(seed).
// Consumes a few values to find out.
bool SourceStandsAt(int32_t seed, int64_t draws);
