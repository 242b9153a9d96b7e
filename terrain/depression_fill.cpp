// The depression fill: every sample's filled height, as a priority flood gives it.
//
// The filled heights are the one solution of f = h on the edge and
// f = max(h, NextFloatUp(lowest f of the eight neighbours)) inside: the queue's
// push counter only orders samples of equal filled height, which give their
// neighbours the same value whichever comes first. So any way to that solution
// gives the same bits. Most samples are open: a path rising strictly from the
// edge reaches them, and they keep their heights. Those are found first, by
// sweeps over the rows (shared out to threads) and a stack for what the sweeps
// leave; only the rest, the depressions and what drains into them, go through
// a priority queue, started from the open samples beside them.
#include "terrain/depression_fill.h"

#include <cstdlib>
#include <cstring>

#include "terrain/task_threads.h"
#include "terrain/terrain_region.h"

float NextFloatUp(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  if ((bits & 0x7fffffffu) == 0) {
    bits = 1;  // either zero: the smallest positive subnormal
  } else if ((bits & 0x7fffffffu) == 0x7f800000u) {
    if (bits == 0x7f800000u) return value;  // +inf stays
    bits = 0xff7fffffu;                      // -inf: the lowest finite float
  } else if (bits & 0x80000000u) {
    --bits;  // negative: towards zero
  } else {
    ++bits;
  }
  float next;
  memcpy(&next, &bits, sizeof next);
  return next;
}

namespace {

// Float order as unsigned integer order, -0 and +0 alike.
uint32_t OrderedBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  if (bits == 0x80000000u) bits = 0;
  return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

bool Cancelled(const SynthesisControl* control) {
  return control != nullptr && control->cancelled.load(std::memory_order_relaxed);
}

// One bit a sample: its filled height is known (open, or settled by the queue).
// The sweeps share the words between threads: every word is read and written
// atomically (relaxed: the bits only ever go from 0 to 1).
struct KnownBits {
  uint64_t* words;
};

inline __attribute__((always_inline)) uint64_t LoadWord(const KnownBits& bits, int64_t word) {
  return __atomic_load_n(bits.words + word, __ATOMIC_RELAXED);
}

inline __attribute__((always_inline)) bool IsKnown(const KnownBits& bits, int64_t i) {
  return (LoadWord(bits, i >> 6) >> (i & 63)) & 1u;
}

// Sets i's bit; `shared`: another thread may set bits in the same word meanwhile.
void MarkKnown(KnownBits* bits, int64_t i, bool shared = false) {
  const uint64_t bit = uint64_t{1} << (i & 63);
  uint64_t* word = bits->words + (i >> 6);
  if (shared) {
    __atomic_fetch_or(word, bit, __ATOMIC_RELAXED);
  } else {
    __atomic_store_n(word, __atomic_load_n(word, __ATOMIC_RELAXED) | bit, __ATOMIC_RELAXED);
  }
}

// The known bits of samples first .. first + 2, as the three low bits.
inline __attribute__((always_inline)) uint32_t ThreeKnown(const KnownBits& bits, int64_t first) {
  const int64_t shift = first & 63;
  uint64_t word = LoadWord(bits, first >> 6) >> shift;
  if (shift > 61) word |= LoadWord(bits, (first >> 6) + 1) << (64 - shift);
  return static_cast<uint32_t>(word & 7u);
}

// The known bits of an inner sample's 3 x 3 block, row by row: bit 3 (row + 1) + (column + 1).
inline __attribute__((always_inline)) uint32_t KnownAround(const KnownBits& bits, int64_t i, int64_t width) {
  return ThreeKnown(bits, i - width - 1) | ThreeKnown(bits, i - 1) << 3 | ThreeKnown(bits, i + width - 1) << 6;
}

int64_t BlockNeighbour(int64_t i, int64_t width, int at) {
  return i + (at / 3 - 1) * width + (at % 3 - 1);
}

// The filled height a key stands for (+0 for either zero).
float KeyHeight(uint32_t ordered) {
  const uint32_t bits = (ordered & 0x80000000u) ? (ordered & 0x7fffffffu) : ~ordered;
  float value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

struct QueueEntry {
  uint32_t key;  // ordered filled-height bits
  uint32_t sample;
};

// A heap on key with four children a node (half as deep as a binary one: fewer
// cache misses), in memory that holds every sample once: no sample goes in twice.
struct EntryHeap {
  QueueEntry* entries;
  int64_t size;
};

void HeapPush(EntryHeap* heap, QueueEntry entry) {
  int64_t at = heap->size++;
  while (at > 0) {
    const int64_t parent = (at - 1) / 4;
    if (heap->entries[parent].key <= entry.key) break;
    heap->entries[at] = heap->entries[parent];
    at = parent;
  }
  heap->entries[at] = entry;
}

QueueEntry HeapTake(EntryHeap* heap) {
  const QueueEntry top = heap->entries[0];
  const QueueEntry last = heap->entries[--heap->size];
  const int64_t size = heap->size;
  int64_t at = 0;
  for (;;) {
    const int64_t first = 4 * at + 1;
    if (first >= size) break;
    const int64_t end = first + 4 < size ? first + 4 : size;
    int64_t child = first;
    for (int64_t c = first + 1; c < end; ++c) {
      if (heap->entries[c].key < heap->entries[child].key) child = c;
    }
    if (heap->entries[child].key >= last.key) break;
    heap->entries[at] = heap->entries[child];
    at = child;
  }
  if (size > 0) heap->entries[at] = last;
  return top;
}

struct Fill {
  const float* heights;
  const FlowGrid* grid;
  float* filled;
  KnownBits known;
  void* pool;  // the stack of open samples, then the heap
};

// Opens the samples of rows [first, end) (inner rows) that have an open
// neighbour lower than themselves, row by row downwards or upwards.
void SweepOpen(Fill* fill, int64_t first, int64_t end, bool down) {
  const int64_t width = fill->grid->width;
  const float* heights = fill->heights;
  // Words holding samples of rows outside the band are shared with other threads.
  const int64_t ownFirst = (first * width + 63) >> 6;
  const int64_t ownEnd = (end * width) >> 6;
  for (int64_t k = 0; k < end - first; ++k) {
    const int64_t row = down ? first + k : end - 1 - k;
    for (int64_t s = 1; s < width - 1; ++s) {
      const int64_t i = row * width + (down ? s : width - 1 - s);
      if (IsKnown(fill->known, i)) continue;
      const float own = heights[i];
      for (uint32_t open = KnownAround(fill->known, i, width); open != 0; open &= open - 1) {
        if (heights[BlockNeighbour(i, width, __builtin_ctz(open))] < own) {
          const int64_t word = i >> 6;
          MarkKnown(&fill->known, i, word < ownFirst || word >= ownEnd);
          break;
        }
      }
    }
  }
}

// The open samples, whatever the sweeps left: every closed sample beside a
// lower open one opens and goes on a stack, from which its closed higher
// neighbours open in turn.
bool CloseOpening(Fill* fill, SynthesisControl* control) {
  const FlowGrid& grid = *fill->grid;
  const int64_t width = grid.width;
  const float* heights = fill->heights;
  uint32_t* stack = static_cast<uint32_t*>(fill->pool);
  int64_t size = 0;
  const int64_t words = (grid.samples + 63) >> 6;
  for (int64_t w = 0; w < words; ++w) {
    // Every edge sample is known: a closed one is an inner one.
    for (uint64_t closed = ~fill->known.words[w]; closed != 0; closed &= closed - 1) {
      const int64_t i = (w << 6) + __builtin_ctzll(closed);
      if (i >= grid.samples) break;
      const float own = heights[i];
      for (uint32_t open = KnownAround(fill->known, i, width); open != 0; open &= open - 1) {
        if (heights[BlockNeighbour(i, width, __builtin_ctz(open))] < own) {
          MarkKnown(&fill->known, i);
          stack[size++] = static_cast<uint32_t>(i);
          break;
        }
      }
    }
  }
  int64_t turns = 0;
  while (size > 0) {
    if ((++turns & 0xffff) == 0 && Cancelled(control)) return false;
    const int64_t i = stack[--size];
    const float own = heights[i];
    for (uint32_t closed = ~KnownAround(fill->known, i, width) & 0x1ef; closed != 0; closed &= closed - 1) {
      const int64_t n = BlockNeighbour(i, width, __builtin_ctz(closed));
      if (heights[n] > own) {
        MarkKnown(&fill->known, n);
        stack[size++] = static_cast<uint32_t>(n);
      }
    }
  }
  return true;
}

// Calls visit(n) for every neighbour n of i inside the field, in neighbour order,
// until it returns false.
template <typename Visit>
void ForNeighbours(const FlowGrid& grid, int64_t i, Visit visit) {
  const int64_t row = i / grid.width;
  const int64_t column = i - row * grid.width;
  for (int k = 0; k < 8; ++k) {
    const int64_t r = row + kNeighbourRowStep[k];
    const int64_t c = column + kNeighbourColumnStep[k];
    if (r < 0 || r >= grid.depth || c < 0 || c >= grid.width) continue;
    if (!visit(i + grid.offset[k])) return;
  }
}

// The queue starts with every open sample beside a closed one, each once: a
// closed sample puts in the open neighbours whose first closed neighbour it is.
void SeedQueue(Fill* fill, EntryHeap* heap) {
  const FlowGrid& grid = *fill->grid;
  const int64_t width = grid.width;
  const int64_t words = (grid.samples + 63) >> 6;
  for (int64_t w = 0; w < words; ++w) {
    for (uint64_t closed = ~fill->known.words[w]; closed != 0; closed &= closed - 1) {
      const int64_t i = (w << 6) + __builtin_ctzll(closed);
      if (i >= grid.samples) break;
      for (uint32_t open = KnownAround(fill->known, i, width) & 0x1ef; open != 0; open &= open - 1) {
        const int64_t m = BlockNeighbour(i, width, __builtin_ctz(open));
        int64_t firstClosed = -1;
        ForNeighbours(grid, m, [fill, &firstClosed](int64_t n) {
          if (IsKnown(fill->known, n)) return true;
          firstClosed = n;
          return false;
        });
        if (firstClosed == i) HeapPush(heap, {OrderedBits(fill->heights[m]), static_cast<uint32_t>(m)});
      }
    }
  }
}

// The priority flood over the closed samples. The lowest queued sample gives
// each closed neighbour its filled height. A sample whose filled height is
// known gives every closed neighbour higher than that its own height at once
// (whichever neighbour is lowest, its next float up is no higher), and so on up
// the slope, through a stack; it waits in the queue only while it has closed
// neighbours no higher than its filled height. The queue grows from the pool's
// start and the stack from its end: no sample is in both.
bool FloodClosed(Fill* fill, const FlowGrid& grid, SynthesisControl* control) {
  const int64_t width = grid.width;
  const float* heights = fill->heights;
  EntryHeap heap = {static_cast<QueueEntry*>(fill->pool), 0};
  SeedQueue(fill, &heap);
  uint32_t* stackEnd = reinterpret_cast<uint32_t*>(heap.entries + grid.samples);
  uint32_t* top = stackEnd;
  auto settle = [fill, heights, &top](int64_t n, float raised) {
    MarkKnown(&fill->known, n);
    const float h = heights[n];
    fill->filled[n] = h > raised ? h : raised;
    *--top = static_cast<uint32_t>(n);
  };
  int64_t turns = 0;
  while (heap.size > 0) {
    if ((++turns & 0xffff) == 0 && Cancelled(control)) return false;
    const QueueEntry entry = HeapTake(&heap);
    const float raised = NextFloatUp(KeyHeight(entry.key));
    const int64_t i = entry.sample;
    if (IsEdgeSample(grid, i)) {
      ForNeighbours(grid, i, [fill, raised, &settle](int64_t n) {
        if (!IsKnown(fill->known, n)) settle(n, raised);
        return true;
      });
    } else {
      for (uint32_t closed = ~KnownAround(fill->known, i, width) & 0x1ef; closed != 0; closed &= closed - 1) {
        settle(BlockNeighbour(i, width, __builtin_ctz(closed)), raised);
      }
    }
    // What waits is listed just past the queue's end, and queued once the
    // climb is over if it still has closed neighbours: most have none then.
    int64_t waiting = 0;
    while (top != stackEnd) {
      const int64_t x = *top++;
      const float own = fill->filled[x];
      bool waits = false;
      for (uint32_t closed = ~KnownAround(fill->known, x, width) & 0x1ef; closed != 0; closed &= closed - 1) {
        const int64_t n = BlockNeighbour(x, width, __builtin_ctz(closed));
        if (heights[n] > own) {
          settle(n, own);
        } else {
          waits = true;
        }
      }
      if (waits) heap.entries[heap.size + waiting++] = {OrderedBits(own), static_cast<uint32_t>(x)};
    }
    const int64_t listed = heap.size;
    for (int64_t k = 0; k < waiting; ++k) {
      const QueueEntry candidate = heap.entries[listed + k];
      if ((~KnownAround(fill->known, candidate.sample, width) & 0x1ef) != 0) {
        HeapPush(&heap, candidate);
      }
    }
  }
  return true;
}

bool RunFill(Fill* fill, int threads, SynthesisControl* control) {
  const FlowGrid& grid = *fill->grid;
  const int64_t samples = grid.samples;
  const int workers = samples < (1 << 16) ? 1 : TaskThreadCount(threads);
  // Open samples keep their heights; the queue overwrites the rest.
  auto copy = [fill, samples, workers](int64_t part) {
    const int64_t first = samples * part / workers, end = samples * (part + 1) / workers;
    memcpy(fill->filled + first, fill->heights + first, static_cast<size_t>(end - first) * sizeof(float));
  };
  RunTasks(workers, workers, copy);
  for (int64_t i = 0; i < samples; ++i) {
    if (!IsEdgeSample(grid, i)) {
      i = (i / grid.width + 1) * grid.width - 2;  // on to the row's last sample
      continue;
    }
    MarkKnown(&fill->known, i);
  }
  // A band of rows a thread, down and then up.
  const int64_t inner = grid.depth - 2;
  if (inner > 0 && grid.width > 2) {
    const int64_t bands = inner < workers ? inner : workers;
    for (int pass = 0; pass < 2; ++pass) {
      const bool down = pass == 0;
      auto sweep = [fill, inner, bands, down](int64_t band) {
        SweepOpen(fill, 1 + inner * band / bands, 1 + inner * (band + 1) / bands, down);
      };
      RunTasks(bands, workers, sweep);
    }
  }
  if (Cancelled(control)) return false;
  return CloseOpening(fill, control) && FloodClosed(fill, grid, control);
}

}  // namespace

void ReleaseFillScratch(FillScratch* scratch) {
  free(scratch->known);
  *scratch = FillScratch();
}

static bool ReserveFillScratch(FillScratch* scratch, int64_t samples) {
  if (scratch->samples == samples && scratch->known != nullptr) return true;
  ReleaseFillScratch(scratch);
  scratch->samples = samples;
  scratch->known = static_cast<uint64_t*>(malloc(static_cast<size_t>(samples / 64 + 2) * sizeof(uint64_t)));
  return scratch->known != nullptr;
}

bool FillDepressions(const float* heights, const FlowGrid& grid, float* filled, void* pool, int threads,
                     SynthesisControl* control, FillScratch* keep) {
  FillScratch own;
  FillScratch* scratch = keep != nullptr ? keep : &own;
  if (!ReserveFillScratch(scratch, grid.samples)) {
    if (keep == nullptr) ReleaseFillScratch(&own);
    return false;
  }
  Fill fill;
  memset(&fill, 0, sizeof fill);
  fill.heights = heights;
  fill.grid = &grid;
  fill.filled = filled;
  fill.known.words = scratch->known;
  memset(fill.known.words, 0, static_cast<size_t>(grid.samples / 64 + 2) * sizeof(uint64_t));
  fill.pool = pool;
  const bool done = RunFill(&fill, threads, control);
  if (keep == nullptr) ReleaseFillScratch(&own);
  return done;
}

