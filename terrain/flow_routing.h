// Routing water over a filled height field: every sample's receiver and donors, and the flow accumulation.
#pragma once

#include <cstdint>

// A sample's receiver, as the direction of the neighbour it sends its water to,
// or none (the edge samples).
constexpr uint8_t kNoReceiver = 8;

// The eight neighbours in the order they are visited and compared, as
// (row step, column step): up, up-right, right, down-right, down, down-left,
// left, up-left, row 0 being "up".
extern const int kNeighbourRowStep[8];
extern const int kNeighbourColumnStep[8];

// A width x depth field over 150 x 150 units: neighbour offsets and distances.
struct FlowGrid {
  int64_t width;
  int64_t depth;
  int64_t samples;
  int64_t offset[8];    // index step to each neighbour
  double distance[8];   // to each neighbour, in world units
  double cellArea;      // square units a sample stands for: the two spacings' product
};

FlowGrid MakeFlowGrid(int64_t width, int64_t depth);

inline bool IsEdgeSample(const FlowGrid& grid, int64_t index) {
  const int64_t row = index / grid.width;
  const int64_t column = index - row * grid.width;
  return row == 0 || row == grid.depth - 1 || column == 0 || column == grid.width - 1;
}

// Every sample's receiver: of its neighbours with a lower filled height, the one
// with the largest (own - neighbour's) / distance in double, the first in
// neighbour order on a tie; kNoReceiver for edge samples. Rows are shared out to
// `threads` threads; the result does not depend on them.
void FindReceivers(const float* filled, const FlowGrid& grid, uint8_t* receivers, int threads);

// Every sample's donors as a mask: bit k set when the neighbour in direction k
// sends its water to it. Rows are shared out to threads.
void FindDonors(const uint8_t* receivers, const FlowGrid& grid, uint8_t* donors, int threads);

// Flow accumulation from the receivers: 1 plus the accumulation of every sample
// sending to it, exactly; returns the largest. donors is scratch of a byte a sample.
uint64_t Accumulate(const FlowGrid& grid, const uint8_t* receivers, uint64_t* accumulation, uint8_t* donors,
                    int threads);
