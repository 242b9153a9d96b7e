// Routing water over a filled height field: every sample's receiver and donors, and the flow accumulation.
#include "terrain/flow_routing.h"

#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "terrain/task_threads.h"

const int kNeighbourRowStep[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
const int kNeighbourColumnStep[8] = {0, 1, 1, 1, 0, -1, -1, -1};

FlowGrid MakeFlowGrid(int64_t width, int64_t depth) {
  FlowGrid grid;
  grid.width = width;
  grid.depth = depth;
  grid.samples = width * depth;
  const double dx = width > 1 ? 150.0 / static_cast<double>(width - 1) : 0.0;
  const double dz = depth > 1 ? 150.0 / static_cast<double>(depth - 1) : 0.0;
  const double diagonal = std::sqrt(dx * dx + dz * dz);
  for (int k = 0; k < 8; ++k) {
    grid.offset[k] = kNeighbourRowStep[k] * width + kNeighbourColumnStep[k];
    const bool alongRow = kNeighbourRowStep[k] == 0;
    const bool alongColumn = kNeighbourColumnStep[k] == 0;
    grid.distance[k] = alongRow ? dx : (alongColumn ? dz : diagonal);
  }
  grid.cellArea = dx * dz;
  return grid;
}

namespace {

struct ReceiverRows {
  const float* filled;
  const FlowGrid* grid;
  uint8_t* receivers;
  int64_t rowsPerTask;
};

// Branch-free: every slope is formed (two at a time where SSE2 is), those of
// neighbours not lower count as 0, and a later neighbour wins only with a
// strictly steeper slope. Each lane's division is the same IEEE division.
uint8_t ReceiverOf(const float* filled, const FlowGrid& grid, int64_t i) {
  const double own = static_cast<double>(filled[i]);
  alignas(16) double slope[8];
#ifdef __SSE2__
  const __m128d ownPair = _mm_set1_pd(own);
  const __m128d zero = _mm_setzero_pd();
  for (int k = 0; k < 8; k += 2) {
    const __m128d other = _mm_set_pd(static_cast<double>(filled[i + grid.offset[k + 1]]),
                                     static_cast<double>(filled[i + grid.offset[k]]));
    const __m128d drop = _mm_sub_pd(ownPair, other);
    const __m128d s = _mm_div_pd(drop, _mm_loadu_pd(grid.distance + k));
    _mm_store_pd(slope + k, _mm_and_pd(s, _mm_cmpgt_pd(drop, zero)));
  }
#else
  for (int k = 0; k < 8; ++k) {
    const double drop = own - static_cast<double>(filled[i + grid.offset[k]]);
    const double s = drop / grid.distance[k];
    slope[k] = drop > 0.0 ? s : 0.0;
  }
#endif
  int best = kNoReceiver;
  double steepest = 0.0;
  for (int k = 0; k < 8; ++k) {
    const bool steeper = slope[k] > steepest;
    best = steeper ? k : best;
    steepest = steeper ? slope[k] : steepest;
  }
  return static_cast<uint8_t>(best);
}

void FindRowReceivers(const ReceiverRows& job, int64_t row) {
  const FlowGrid& grid = *job.grid;
  uint8_t* receivers = job.receivers + row * grid.width;
  if (row == 0 || row == grid.depth - 1) {
    memset(receivers, kNoReceiver, static_cast<size_t>(grid.width));
    return;
  }
  receivers[0] = kNoReceiver;
  receivers[grid.width - 1] = kNoReceiver;
  for (int64_t c = 1; c + 1 < grid.width; ++c) receivers[c] = ReceiverOf(job.filled, grid, row * grid.width + c);
}

}  // namespace

void FindReceivers(const float* filled, const FlowGrid& grid, uint8_t* receivers, int threads) {
  ReceiverRows job = {filled, &grid, receivers, 64};
  const int64_t tasks = (grid.depth + job.rowsPerTask - 1) / job.rowsPerTask;
  auto rows = [&job](int64_t task) {
    const int64_t end = (task + 1) * job.rowsPerTask < job.grid->depth ? (task + 1) * job.rowsPerTask : job.grid->depth;
    for (int64_t row = task * job.rowsPerTask; row < end; ++row) FindRowReceivers(job, row);
  };
  RunTasks(tasks, grid.samples < (1 << 16) ? 1 : threads, rows);
}

namespace {

// The direction from a neighbour back to the sample: up's opposite is down, and so on.
int Opposite(int direction) { return (direction + 4) & 7; }

// Whether x's neighbour in direction k exists (x on the edge) and sends its water to x.
bool IsDonor(const FlowGrid& grid, const uint8_t* receivers, int64_t x, int k, bool edge) {
  if (edge) {
    const int64_t row = x / grid.width + kNeighbourRowStep[k];
    const int64_t column = x % grid.width + kNeighbourColumnStep[k];
    if (row < 0 || row >= grid.depth || column < 0 || column >= grid.width) return false;
  }
  return receivers[x + grid.offset[k]] == Opposite(k);
}

}  // namespace

// One row's donor masks; inside the grid sixteen samples at a time where SSE2 is.
static void RowDonors(const uint8_t* receivers, const FlowGrid& grid, int64_t row, uint8_t* donors) {
  const int64_t width = grid.width;
  const bool edgeRow = row == 0 || row == grid.depth - 1;
  auto one = [&](int64_t c) {
    const int64_t x = row * width + c;
    const bool edge = edgeRow || c == 0 || c == width - 1;
    uint32_t mask = 0;
    for (int k = 0; k < 8; ++k) mask |= (IsDonor(grid, receivers, x, k, edge) ? 1u : 0u) << k;
    donors[x] = static_cast<uint8_t>(mask);
  };
  int64_t c = 0;
#ifdef __SSE2__
  if (!edgeRow && width > 2) {
    one(0);
    for (c = 1; c + 16 <= width - 1; c += 16) {
      const int64_t x = row * width + c;
      __m128i mask = _mm_setzero_si128();
      for (int k = 0; k < 8; ++k) {
        const __m128i neighbours = _mm_loadu_si128(reinterpret_cast<const __m128i*>(receivers + x + grid.offset[k]));
        const __m128i sends = _mm_cmpeq_epi8(neighbours, _mm_set1_epi8(static_cast<char>(Opposite(k))));
        mask = _mm_or_si128(mask, _mm_and_si128(sends, _mm_set1_epi8(static_cast<char>(1 << k))));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(donors + x), mask);
    }
  }
#endif
  for (; c < width; ++c) one(c);
}

void FindDonors(const uint8_t* receivers, const FlowGrid& grid, uint8_t* donors, int threads) {
  const int64_t rowsPerTask = 64;
  const int64_t tasks = (grid.depth + rowsPerTask - 1) / rowsPerTask;
  auto rows = [&](int64_t task) {
    const int64_t end = (task + 1) * rowsPerTask < grid.depth ? (task + 1) * rowsPerTask : grid.depth;
    for (int64_t row = task * rowsPerTask; row < end; ++row) RowDonors(receivers, grid, row, donors);
  };
  RunTasks(tasks, grid.samples < (1 << 16) ? 1 : threads, rows);
}

uint64_t Accumulate(const FlowGrid& grid, const uint8_t* receivers, uint64_t* accumulation, uint8_t* donors,
                    int threads) {
  FindDonors(receivers, grid, donors, threads);
  for (int64_t i = 0; i < grid.samples; ++i) {
    donors[i] = static_cast<uint8_t>(__builtin_popcount(donors[i]));
    accumulation[i] = 1;
  }
  // From every sample without donors down its flow path, as far as the samples
  // whose every donor is counted: each sample is passed on once, when complete.
  const uint8_t done = 0xff;
  uint64_t largest = 0;
  for (int64_t i = 0; i < grid.samples; ++i) {
    if (donors[i] != 0) continue;
    int64_t x = i;
    for (;;) {
      donors[x] = done;
      const uint64_t a = accumulation[x];
      if (a > largest) largest = a;
      const uint8_t r = receivers[x];
      if (r == kNoReceiver) break;
      const int64_t y = x + grid.offset[r];
      accumulation[y] += a;
      if (--donors[y] != 0) break;
      x = y;
    }
  }
  return largest;
}
