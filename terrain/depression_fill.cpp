// The depression fill: every sample's filled height, as a priority flood gives it.
//
// The filled heights are the one solution of f = h on the edge and
// f = max(h, NextFloatUp(lowest f of the eight neighbours)) inside: the queue's
// push counter only orders samples of equal filled height, which give their
// neighbours the same value whichever comes first. So any order that takes
// samples in rising filled height gives the same bits. A sample that keeps its
// own height takes its turn at its height, known before the fill starts: all
// samples are sorted by height first (in parallel), and the fill walks that
// order, merged with a heap of the few raised samples (in depressions).
#include "terrain/depression_fill.h"

#include <algorithm>
#include <cmath>
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

// One bit a sample: its filled height is known (it has been queued).
struct KnownBits {
  uint64_t* words;
};

bool IsKnown(const KnownBits& bits, int64_t i) {
  return (bits.words[i >> 6] >> (i & 63)) & 1u;
}

void MarkKnown(KnownBits* bits, int64_t i) {
  bits->words[i >> 6] |= uint64_t{1} << (i & 63);
}

// The known bits of samples first .. first + 2, as the three low bits.
uint32_t ThreeKnown(const KnownBits& bits, int64_t first) {
  const int64_t shift = first & 63;
  uint64_t word = bits.words[first >> 6] >> shift;
  if (shift > 61) word |= bits.words[(first >> 6) + 1] << (64 - shift);
  return static_cast<uint32_t>(word & 7u);
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

// A growable binary heap on key.
struct EntryHeap {
  QueueEntry* entries;
  int64_t size;
  int64_t capacity;
};

bool HeapPush(EntryHeap* heap, QueueEntry entry) {
  if (heap->size == heap->capacity) {
    const int64_t grown = heap->capacity < 256 ? 256 : heap->capacity * 2;
    void* larger = realloc(heap->entries, static_cast<size_t>(grown) * sizeof(QueueEntry));
    if (larger == nullptr) return false;
    heap->entries = static_cast<QueueEntry*>(larger);
    heap->capacity = grown;
  }
  int64_t at = heap->size++;
  while (at > 0) {
    const int64_t parent = (at - 1) / 2;
    if (heap->entries[parent].key <= entry.key) break;
    heap->entries[at] = heap->entries[parent];
    at = parent;
  }
  heap->entries[at] = entry;
  return true;
}

QueueEntry HeapTake(EntryHeap* heap) {
  const QueueEntry top = heap->entries[0];
  const QueueEntry last = heap->entries[--heap->size];
  int64_t at = 0;
  for (;;) {
    int64_t child = 2 * at + 1;
    if (child >= heap->size) break;
    if (child + 1 < heap->size && heap->entries[child + 1].key < heap->entries[child].key) ++child;
    if (heap->entries[child].key >= last.key) break;
    heap->entries[at] = heap->entries[child];
    at = child;
  }
  if (heap->size > 0) heap->entries[at] = last;
  return top;
}

// The samples sorted by height, in the pool: buckets over equal spans of
// height (about 16 samples each) are filled in one pass and then sorted, the
// buckets shared out to threads. Equal heights may come in any order.
struct SortedSamples {
  QueueEntry* entries;
  int64_t count;
};

struct HeightBuckets {
  double low;     // bucket = (height - low) x scale
  double scale;
  bool byBits;    // infinite heights: buckets over the ordered bits instead
  uint32_t lowBits;
  int64_t count;
};

int64_t BucketOf(const HeightBuckets& buckets, float value) {
  if (buckets.byBits) {
    return static_cast<int64_t>((static_cast<uint64_t>(OrderedBits(value) - buckets.lowBits) *
                                 static_cast<uint64_t>(buckets.count)) >> 32);
  }
  const double position = (static_cast<double>(value) - buckets.low) * buckets.scale;
  return position < static_cast<double>(buckets.count) ? static_cast<int64_t>(position) : buckets.count - 1;
}

// Buckets hold about 16 entries: straight insertion for those, std::sort for crowded ones (flats).
void SortBucket(QueueEntry* first, QueueEntry* last) {
  if (last - first > 32) {
    std::sort(first, last, [](const QueueEntry& x, const QueueEntry& y) { return x.key < y.key; });
    return;
  }
  for (QueueEntry* at = first + 1; at < last; ++at) {
    const QueueEntry entry = *at;
    QueueEntry* to = at;
    for (; to > first && (to - 1)->key > entry.key; --to) *to = *(to - 1);
    *to = entry;
  }
}

// The samples are counted and placed in kSortChunks runs of consecutive
// samples, a thread each; each run has its own bucket counts.
constexpr int64_t kSortChunks = 2;

bool SortByHeight(const float* heights, int64_t samples, int threads, QueueEntry* pool, uint32_t* counts,
                  SortedSamples* sorted) {
  const int workers = samples < (1 << 16) ? 1 : threads;
  const int64_t chunk = (samples + kSortChunks - 1) / kSortChunks;
  float lows[kSortChunks], highs[kSortChunks];
  auto range = [&](int64_t c) {
    const int64_t end = (c + 1) * chunk < samples ? (c + 1) * chunk : samples;
    float low = heights[c * chunk < samples ? c * chunk : 0], high = low;
    for (int64_t i = c * chunk; i < end; ++i) {
      low = heights[i] < low ? heights[i] : low;
      high = heights[i] > high ? heights[i] : high;
    }
    lows[c] = low;
    highs[c] = high;
  };
  RunTasks(kSortChunks, workers, range);
  float low = lows[0], high = highs[0];
  for (int64_t c = 1; c < kSortChunks; ++c) {
    low = lows[c] < low ? lows[c] : low;
    high = highs[c] > high ? highs[c] : high;
  }
  HeightBuckets buckets;
  buckets.count = samples / 16 + 1;
  buckets.byBits = !std::isfinite(low) || !std::isfinite(high);
  buckets.low = static_cast<double>(low);
  const double span = static_cast<double>(high) - static_cast<double>(low);
  buckets.scale = span > 0.0 ? static_cast<double>(buckets.count) / span : 0.0;
  buckets.lowBits = OrderedBits(low);
  // counts[c * count + b]: run c's samples in bucket b; then where run c places its next one.
  const int64_t count = buckets.count;
  memset(counts, 0, static_cast<size_t>(kSortChunks * count) * sizeof(uint32_t));
  auto countRun = [&](int64_t c) {
    const int64_t end = (c + 1) * chunk < samples ? (c + 1) * chunk : samples;
    uint32_t* own = counts + c * count;
    for (int64_t i = c * chunk; i < end; ++i) ++own[BucketOf(buckets, heights[i])];
  };
  RunTasks(kSortChunks, workers, countRun);
  uint32_t position = 0;
  for (int64_t b = 0; b < count; ++b) {
    for (int64_t c = 0; c < kSortChunks; ++c) {
      const uint32_t n = counts[c * count + b];
      counts[c * count + b] = position;
      position += n;
    }
  }
  auto placeRun = [&](int64_t c) {
    const int64_t end = (c + 1) * chunk < samples ? (c + 1) * chunk : samples;
    uint32_t* next = counts + c * count;
    for (int64_t i = c * chunk; i < end; ++i) {
      pool[next[BucketOf(buckets, heights[i])]++] = {OrderedBits(heights[i]), static_cast<uint32_t>(i)};
    }
  };
  RunTasks(kSortChunks, workers, placeRun);
  // The last run's positions now mark where each bucket ends.
  const uint32_t* ends = counts + (kSortChunks - 1) * count;
  const int64_t bucketsPerTask = 4096;
  const int64_t tasks = (count + bucketsPerTask - 1) / bucketsPerTask;
  auto sortBuckets = [&](int64_t task) {
    const int64_t last = (task + 1) * bucketsPerTask < count ? (task + 1) * bucketsPerTask : count;
    for (int64_t b = task * bucketsPerTask; b < last; ++b) SortBucket(pool + (b > 0 ? ends[b - 1] : 0), pool + ends[b]);
  };
  RunTasks(tasks, workers, sortBuckets);
  sorted->entries = pool;
  sorted->count = samples;
  return true;
}

struct Fill {
  const float* heights;
  const FlowGrid* grid;
  float* filled;
  KnownBits known;
  SortedSamples sorted;
  EntryHeap raised;  // samples whose filled height lies above their height
};

// A sample's turn: each neighbour not yet known gets its filled height (the
// order among them changes nothing). One that keeps its own height waits for
// its place in the sorted samples; a raised one goes to the heap.
bool Expand(Fill* fill, int64_t i, float own) {
  const FlowGrid& grid = *fill->grid;
  const float raised = NextFloatUp(own);
  auto settle = [fill, raised](int64_t n) {
    MarkKnown(&fill->known, n);
    const float h = fill->heights[n];
    if (h > raised) {
      fill->filled[n] = h;
      return true;
    }
    fill->filled[n] = raised;
    return HeapPush(&fill->raised, {OrderedBits(raised), static_cast<uint32_t>(n)});
  };
  const int64_t width = grid.width;
  const int64_t row = i / width;
  const int64_t column = i - row * width;
  if (row == 0 || row == grid.depth - 1 || column == 0 || column == width - 1) {
    for (int k = 0; k < 8; ++k) {
      const int64_t r = row + kNeighbourRowStep[k];
      const int64_t c = column + kNeighbourColumnStep[k];
      if (r < 0 || r >= grid.depth || c < 0 || c >= width) continue;
      const int64_t n = i + grid.offset[k];
      if (!IsKnown(fill->known, n) && !settle(n)) return false;
    }
    return true;
  }
  // Inside, the unknown neighbours as a mask: three bits from each of the three rows.
  const uint32_t unknown = ~(ThreeKnown(fill->known, i - width - 1) | ThreeKnown(fill->known, i - 1) << 3 |
                             ThreeKnown(fill->known, i + width - 1) << 6) & 0x1ef;
  for (uint32_t bits = unknown; bits != 0; bits &= bits - 1) {
    const int at = __builtin_ctz(bits);
    if (!settle(i + (at / 3 - 1) * width + (at % 3 - 1))) return false;
  }
  return true;
}

// The sorted samples say which come next: their neighbourhoods are fetched
// into the cache some way ahead.
void Prefetch(const Fill& fill, int64_t at) {
  if (at >= fill.sorted.count) return;
  const FlowGrid& grid = *fill.grid;
  const int64_t x = fill.sorted.entries[at].sample;
  for (int64_t row = -1; row <= 1; ++row) {
    const int64_t first = x + row * grid.width - 1;
    if (first < 0 || first + 2 >= grid.samples) continue;
    __builtin_prefetch(fill.heights + first);
    __builtin_prefetch(fill.heights + first + 2);
    __builtin_prefetch(fill.filled + first, 1);
    __builtin_prefetch(fill.known.words + (first >> 6), 1);
  }
}

bool RunFill(Fill* fill, SynthesisControl* control) {
  const FlowGrid& grid = *fill->grid;
  const float* heights = fill->heights;
  // The edge samples keep their heights.
  for (int64_t i = 0; i < grid.samples; ++i) {
    if (!IsEdgeSample(grid, i)) {
      i = (i / grid.width + 1) * grid.width - 2;  // on to the row's last sample
      continue;
    }
    fill->filled[i] = heights[i];
    MarkKnown(&fill->known, i);
  }
  // Rising filled heights: the sorted samples that kept their heights, merged
  // with the raised ones. A sample whose place comes while it is unknown will be
  // raised when it is reached; one already raised waits in the heap.
  const int64_t ahead = 16;
  int64_t next = 0;
  int64_t turns = 0;
  for (;;) {
    if ((++turns & 0xffff) == 0 && Cancelled(control)) return false;
    const bool heapFirst = fill->raised.size > 0 &&
                           (next == fill->sorted.count || fill->raised.entries[0].key < fill->sorted.entries[next].key);
    if (heapFirst) {
      const QueueEntry entry = HeapTake(&fill->raised);
      if (!Expand(fill, entry.sample, KeyHeight(entry.key))) return false;
      continue;
    }
    if (next == fill->sorted.count) return true;
    Prefetch(*fill, next + ahead);
    const QueueEntry entry = fill->sorted.entries[next++];
    if (!IsKnown(fill->known, entry.sample)) continue;
    const float own = fill->filled[entry.sample];
    if (own > heights[entry.sample]) continue;
    if (!Expand(fill, entry.sample, own)) return false;
  }
}

}  // namespace

void ReleaseFillScratch(FillScratch* scratch) {
  free(scratch->known);
  free(scratch->bucketStart);
  free(scratch->raised);
  *scratch = FillScratch();
}

static bool ReserveFillScratch(FillScratch* scratch, int64_t samples) {
  if (scratch->samples == samples && scratch->known != nullptr && scratch->bucketStart != nullptr) return true;
  ReleaseFillScratch(scratch);
  scratch->samples = samples;
  scratch->known = static_cast<uint64_t*>(malloc(static_cast<size_t>(samples / 64 + 2) * sizeof(uint64_t)));
  scratch->bucketStart =
      static_cast<uint32_t*>(malloc(static_cast<size_t>(kSortChunks * (samples / 16 + 1)) * sizeof(uint32_t)));
  return scratch->known != nullptr && scratch->bucketStart != nullptr;
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
  fill.raised.entries = static_cast<QueueEntry*>(scratch->raised);
  fill.raised.capacity = scratch->raisedCapacity;
  const bool done = SortByHeight(heights, grid.samples, threads, static_cast<QueueEntry*>(pool), scratch->bucketStart,
                                 &fill.sorted) &&
                    RunFill(&fill, control);
  scratch->raised = fill.raised.entries;
  scratch->raisedCapacity = fill.raised.capacity;
  if (keep == nullptr) ReleaseFillScratch(&own);
  return done;
}

