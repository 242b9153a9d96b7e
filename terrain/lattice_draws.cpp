// The lattice values a block reads in one pass, drawn with the random source's jump-ahead.
#include "terrain/lattice_draws.h"

#include "terrain/random_source.h"

static float LatticeValue(int draw) {
  return static_cast<float>(static_cast<double>(draw) * static_cast<double>(kRandomUnitScale) * 2.0 - 1.0);
}

// count lattice values drawn from `state` on: four interleaved states, each
// jumping four draws, so that no value waits for the one before it.
static void DrawLatticeRow(uint32_t state, float* values, int64_t count) {
  static const RandomJump fourDraws = RandomJumpOver(4);
  uint32_t states[4];
  for (int j = 0; j < 4; ++j) {
    RandomNextFrom(&state);
    states[j] = state;
  }
  int64_t c = 0;
  for (; c + 4 <= count; c += 4) {
    for (int j = 0; j < 4; ++j) {
      values[c + j] = LatticeValue(RandomValueOf(states[j]));
      states[j] = RandomJumpApply(fourDraws, states[j]);
    }
  }
  for (int j = 0; c + j < count; ++j) values[c + j] = LatticeValue(RandomValueOf(states[j]));
}

void DrawPassLattice(const PassPlan& pass, int64_t r0, int64_t c0, int64_t drawnRows,
                     int64_t drawnColumns, int64_t latticeStride, float* lattice) {
  const int64_t n = pass.latticeSide;
  // Lattice value (r, c) is the pass's draw r * n + c.
  const RandomJump nextRow = RandomJumpOver(static_cast<uint64_t>(n));
  uint32_t rowState = RandomJumpApply(
      RandomJumpOver(static_cast<uint64_t>(r0) * static_cast<uint64_t>(n) + static_cast<uint64_t>(c0)),
      pass.firstState);
  for (int64_t r = 0; r < drawnRows; ++r) {
    float* values = lattice + r * latticeStride;
    DrawLatticeRow(rowState, values, drawnColumns);
    for (int64_t c = drawnColumns; c < latticeStride; ++c) values[c] = 0.0f;
    rowState = RandomJumpApply(nextRow, rowState);
  }
}
