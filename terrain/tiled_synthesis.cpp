// The fast synthesis: the plain passes' arithmetic, sample for sample, doing only the work a rectangle needs.
//
// Every output bit equals the plain generation's (SynthesisPass, CarveRiver,
// CatmullRomSample). What changes is how much is done and in which order:
// - A pass's spline walk depends only on its step and the sample index, so it is
//   recorded once per pass and axis for the rectangle's columns and rows.
// - Only the lattice values the rectangle's windows read are drawn; the random
//   source jumps over the others, and each pass starts from the seed state
//   advanced by the draws of the passes before it.
// - The rectangle is cut into blocks of at most kBlockSide a side; a block runs
//   every pass while its heights stay in the processor's cache. Per block and
//   pass: draw the lattice rows and columns it reads, run the row stage for those
//   rows over the block's columns, then the column stage row by row, adding into
//   the heights: float(double(float(amplitude * sample)) + double(height)), which
//   is what the plain pass's octave buffer and addition give.
// - While a window stays put its coefficients are kept and only Horner's step
//   runs per sample; columns go through packed doubles (SSE2, AVX2) whose lanes
//   give exactly the scalar results (synthesis_kernels.h).
// - The river: at 100 x 100 the viewer's carve, cut into each block's cells; at
//   other sizes the 100 x 100 river resampled (river_resample.h).
// - Threads take blocks; a block's samples depend on nothing but the plan and
//   their position, so neither the thread count nor the block size changes a bit.
#include "terrain/tiled_synthesis.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "terrain/random_source.h"
#include "terrain/river_resample.h"
#include "terrain/synthesis_pass.h"

static const int64_t kBlockSide = 256;
static const int64_t kParallelSamples = 1 << 16;  // smaller rectangles stay on one thread
static const int kMaxThreads = 64;
static const int64_t kWalkBudgetBytes = 64 << 20;  // walks kept at once, per group of passes

// ---------------------------------------------------------------- plan

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

static bool AppendPass(SynthesisPlan* plan, int64_t* capacity, const PassPlan& pass) {
  if (plan->passCount == *capacity) {
    const int64_t grown = *capacity == 0 ? 16 : *capacity * 2;
    void* larger = realloc(plan->passes, static_cast<size_t>(grown) * sizeof(PassPlan));
    if (!larger) return false;
    plan->passes = static_cast<PassPlan*>(larger);
    *capacity = grown;
  }
  plan->passes[plan->passCount++] = pass;
  return true;
}

bool PlanSynthesis(const TerrainSettings& settings, int64_t terrainWidth, int64_t terrainDepth,
                   SynthesisPlan* plan) {
  memset(plan, 0, sizeof *plan);
  plan->terrainWidth = terrainWidth;
  plan->terrainDepth = terrainDepth;
  const uint32_t seedState = static_cast<uint32_t>(settings.seed);
  uint64_t draws = 0;  // modulo 2^64; the generator needs it modulo 2^32
  int64_t capacity = 0;
  float freq = settings.initFreq;
  float amplitude = settings.terrainHeight;
  for (int32_t pass = 0; pass < settings.passCount; ++pass) {
    const int64_t n = LatticeSize(freq);
    if (n < 0) {
      ReleaseSynthesisPlan(plan);
      return false;
    }
    if (n >= 3) {
      const double segments = static_cast<double>(freq) - 1.0;
      PassPlan planned;
      planned.amplitude = static_cast<double>(amplitude);
      planned.latticeSide = n;
      planned.firstState = RandomJumpApply(RandomJumpOver(draws), seedState);
      planned.xStep = static_cast<float>(static_cast<double>(terrainWidth) / segments);
      planned.zStep = static_cast<float>(static_cast<double>(terrainDepth) / segments);
      if (!AppendPass(plan, &capacity, planned)) {
        ReleaseSynthesisPlan(plan);
        return false;
      }
    }
    draws += static_cast<uint64_t>(n) * static_cast<uint64_t>(n);
    freq = static_cast<float>(static_cast<double>(freq) + static_cast<double>(settings.freqScale));
    amplitude = static_cast<float>(static_cast<double>(amplitude) * static_cast<double>(settings.passHeightScale));
  }

  uint32_t state = RandomJumpApply(RandomJumpOver(draws), seedState);
  plan->river = settings.river == 1;
  if (plan->river) {
    const float u1 = static_cast<float>(RandomUniformFrom(&state));
    const float u2 = static_cast<float>(RandomUniformFrom(&state));
    const RiverEnd riverStart = {u1, 0.0f};
    const RiverEnd riverEnd = {u2, 1.0f};
    // The course is the 100 x 100 terrain's whatever the size: the same draws on the same grid.
    const int base = static_cast<int>(kRiverBaseSide);
    PlanRiverCourse(&state, base, base, riverStart, riverEnd, 0.0f, &plan->course);
    plan->riverOnBaseGrid = terrainWidth != kRiverBaseSide || terrainDepth != kRiverBaseSide;
    if (plan->riverOnBaseGrid) {
      plan->baseChange = static_cast<float*>(calloc(kRiverBaseSide * kRiverBaseSide, sizeof(float)));
      plan->baseWater = static_cast<float*>(calloc(kRiverBaseSide * kRiverBaseSide, sizeof(float)));
      if (!plan->baseChange || !plan->baseWater) {
        ReleaseSynthesisPlan(plan);
        return false;
      }
      CarveBaseRiver(plan->course, plan->baseChange, plan->baseWater);
    }
  }
  plan->finalState = state;
  return true;
}

void ReleaseSynthesisPlan(SynthesisPlan* plan) {
  free(plan->passes);
  free(plan->baseChange);
  free(plan->baseWater);
  plan->passes = nullptr;
  plan->baseChange = nullptr;
  plan->baseWater = nullptr;
  plan->passCount = 0;
}

void MergeHeightRange(HeightRange* into, const HeightRange& from) {
  if (!from.found) return;
  if (!into->found) {
    *into = from;
    return;
  }
  if (from.low < into->low || (from.low == into->low && from.lowAt < into->lowAt)) {
    into->low = from.low;
    into->lowAt = from.lowAt;
  }
  if (from.high > into->high || (from.high == into->high && from.highAt < into->highAt)) {
    into->high = from.high;
    into->highAt = from.highAt;
  }
}

// ---------------------------------------------------------------- kernels

static std::atomic<int> selectedSimd{kTerrainSimdAuto};

static const SynthesisKernels* KernelsFor(TerrainSimd simd) {
  switch (simd) {
    case kTerrainSimdScalar: return ScalarKernels();
    case kTerrainSimdSse2: return Sse2Kernels();
    case kTerrainSimdAvx2: return Avx2Kernels();
    case kTerrainSimdAuto: break;
  }
  if (const SynthesisKernels* avx2 = Avx2Kernels()) return avx2;
  if (const SynthesisKernels* sse2 = Sse2Kernels()) return sse2;
  return ScalarKernels();
}

bool SelectTerrainSimd(TerrainSimd simd) {
  if (!KernelsFor(simd)) return false;
  selectedSimd = simd;
  return true;
}

TerrainSimd ActiveTerrainSimd() {
  const SynthesisKernels* kernels = SelectedKernels();
  if (kernels == Avx2Kernels()) return kTerrainSimdAvx2;
  if (kernels == Sse2Kernels()) return kTerrainSimdSse2;
  return kTerrainSimdScalar;
}

const SynthesisKernels* SelectedKernels() {
  return KernelsFor(static_cast<TerrainSimd>(selectedSimd.load()));
}

// ---------------------------------------------------------------- blocks

struct Block {
  int64_t x0, x1;  // rectangle columns x0 .. x1 - 1
  int64_t z0, z1;  // rectangle rows
};

struct BlockGrid {
  int64_t across, down;   // blocks
  int64_t width, depth;   // samples a block, the last ones fewer
};

static int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

static BlockGrid BlocksOf(TerrainRect rect) {
  BlockGrid grid;
  grid.across = CeilDiv(rect.width, kBlockSide);
  grid.down = CeilDiv(rect.depth, kBlockSide);
  grid.width = CeilDiv(rect.width, grid.across);
  grid.depth = CeilDiv(rect.depth, grid.down);
  return grid;
}

static Block BlockAt(const BlockGrid& grid, TerrainRect rect, int64_t index) {
  Block block;
  block.x0 = (index % grid.across) * grid.width;
  block.z0 = (index / grid.across) * grid.depth;
  block.x1 = block.x0 + grid.width < rect.width ? block.x0 + grid.width : rect.width;
  block.z1 = block.z0 + grid.depth < rect.depth ? block.z0 + grid.depth : rect.depth;
  return block;
}

int64_t RectWorkUnits(const SynthesisPlan& plan, TerrainRect rect) {
  const BlockGrid grid = BlocksOf(rect);
  return grid.across * grid.down * (plan.passCount > 0 ? plan.passCount : 1);
}

// ---------------------------------------------------------------- walks

// The recorded walk of one pass along one axis of the rectangle, padded with
// kKernelOverrun zero entries for the kernels that read ahead.
struct AxisWalk {
  int64_t* windows;
  double* parameters;
};

static bool SameWalk(const SplineWalk& a, const SplineWalk& b) {
  return a.windowStart == b.windowStart && memcmp(&a.counter, &b.counter, sizeof a.counter) == 0;
}

// The walks of passes first .. end - 1, in one allocation.
struct GroupWalks {
  int64_t first;
  int64_t end;
  AxisWalk* x;  // per pass of the group
  AxisWalk* z;
  void* memory;
};

static void ReleaseGroupWalks(GroupWalks* group) {
  free(group->memory);
  memset(group, 0, sizeof *group);
}

// Records `count` samples from `offset` (or from *start when given, which then
// moves past them) into the walk's arrays.
static void RecordAxis(float step, SplineWalk* start, int64_t offset, int64_t count, AxisWalk* walk) {
  SplineWalk at = {0.0f, 0};
  if (start) at = *start;
  else SkipWalk(&at, step, offset);
  RecordWalk(&at, step, count, walk->windows, walk->parameters);
  for (int64_t i = count; i < count + kKernelOverrun; ++i) {
    walk->windows[i] = 0;
    walk->parameters[i] = 0.0;
  }
  if (start) *start = at;
}

// Records one axis for every pass of the group; passes with the same step and
// the same start share one walk (and so move on alike).
static void RecordGroupAxis(const SynthesisPlan& plan, GroupWalks* group, bool alongX,
                            SplineWalk* starts, SplineWalk* before, int64_t offset, int64_t count) {
  AxisWalk* walks = alongX ? group->x : group->z;
  const int64_t passes = group->end - group->first;
  if (starts) memcpy(before, starts + group->first, static_cast<size_t>(passes) * sizeof(SplineWalk));
  for (int64_t i = 0; i < passes; ++i) {
    const PassPlan& pass = plan.passes[group->first + i];
    const float step = alongX ? pass.xStep : pass.zStep;
    int64_t same = -1;
    for (int64_t j = 0; j < i && same < 0; ++j) {
      const PassPlan& other = plan.passes[group->first + j];
      const float otherStep = alongX ? other.xStep : other.zStep;
      if (otherStep == step && (!starts || SameWalk(before[j], before[i]))) same = j;
    }
    if (same >= 0) {
      walks[i] = walks[same];
      if (starts) starts[group->first + i] = starts[group->first + same];
      continue;
    }
    RecordAxis(step, starts ? &starts[group->first + i] : nullptr, offset, count, &walks[i]);
  }
}

static bool BuildGroupWalks(const SynthesisPlan& plan, TerrainRect rect, int64_t first,
                            SplineWalk* xStarts, SplineWalk* zStarts, GroupWalks* group) {
  memset(group, 0, sizeof *group);
  const int64_t xEntries = rect.width + kKernelOverrun;
  const int64_t zEntries = rect.depth + kKernelOverrun;
  const int64_t entryBytes = static_cast<int64_t>(sizeof(int64_t) + sizeof(double));
  const int64_t perPass = (xEntries + zEntries) * entryBytes + 2 * static_cast<int64_t>(sizeof(AxisWalk)) +
                          static_cast<int64_t>(sizeof(SplineWalk));
  int64_t count = kWalkBudgetBytes / perPass;
  if (count < 1) count = 1;
  if (count > plan.passCount - first) count = plan.passCount - first;
  group->first = first;
  group->end = first + count;
  if (count == 0) return true;
  group->memory = malloc(static_cast<size_t>(count * perPass));
  if (!group->memory) return false;
  // The arrays of 8-byte elements first, then the records.
  int64_t* windows = static_cast<int64_t*>(group->memory);
  double* parameters = reinterpret_cast<double*>(windows + count * (xEntries + zEntries));
  group->x = reinterpret_cast<AxisWalk*>(parameters + count * (xEntries + zEntries));
  group->z = group->x + count;
  SplineWalk* before = reinterpret_cast<SplineWalk*>(group->z + count);
  for (int64_t i = 0; i < count; ++i) {
    group->x[i] = {windows + i * xEntries, parameters + i * xEntries};
    group->z[i] = {windows + count * xEntries + i * zEntries, parameters + count * xEntries + i * zEntries};
  }
  RecordGroupAxis(plan, group, true, xStarts, before, rect.x0, rect.width);
  // A square rectangle on the diagonal of a square terrain walks alike along both axes.
  const bool mirrored = !xStarts && !zStarts && rect.x0 == rect.z0 && rect.width == rect.depth &&
                        plan.terrainWidth == plan.terrainDepth;
  if (mirrored) {
    for (int64_t i = 0; i < count; ++i) group->z[i] = group->x[i];
  } else {
    RecordGroupAxis(plan, group, false, zStarts, before, rect.z0, rect.depth);
  }
  return true;
}

static int64_t RoundUp(int64_t value, int64_t multiple) { return CeilDiv(value, multiple) * multiple; }

// Hands out 64-byte aligned pieces of one allocation.
struct Carver {
  unsigned char* next;
  size_t used;
};

static void* Carve(Carver* carver, size_t bytes) {
  const size_t start = (carver->used + 63) & ~static_cast<size_t>(63);
  carver->used = start + bytes;
  return carver->next ? carver->next + start : nullptr;
}

// ---------------------------------------------------------------- one block

// One thread's buffers, kept across passes and blocks. The lattice and its row
// stage grow to what the passes read; the rest is sized for the largest block.
struct WorkerScratch {
  unsigned char* memory;
  double* coefficients;
  double* waterCoefficients;
  float* zeros;  // a row of lattice points past the lattice
  WindowRun* runs;
  int64_t rowStride;
  float* lattice;   // drawn lattice values, latticeColumns a row
  float* rows;      // the row stage's output, rowStride a row
  double* rowCoefficients;  // one lattice row's window coefficients
  int64_t latticeRows;
  int64_t latticeColumns;
};

static void ReleaseScratch(WorkerScratch* scratch) {
  free(scratch->memory);
  free(scratch->lattice);
  free(scratch->rows);
  free(scratch->rowCoefficients);
  memset(scratch, 0, sizeof *scratch);
}

static bool AllocateScratch(const BlockGrid& grid, WorkerScratch* scratch) {
  memset(scratch, 0, sizeof *scratch);
  scratch->rowStride = RoundUp(grid.width, 8) + kKernelOverrun;
  const int64_t coefficientCount = CeilDiv(scratch->rowStride, kCoefficientBlock) * kCoefficientsPerBlock;
  unsigned char* memory = nullptr;
  for (int round = 0; round < 2; ++round) {
    Carver carver = {memory, 0};
    scratch->coefficients = static_cast<double*>(Carve(&carver, sizeof(double) * coefficientCount));
    scratch->waterCoefficients = static_cast<double*>(Carve(&carver, sizeof(double) * coefficientCount));
    scratch->zeros = static_cast<float*>(Carve(&carver, sizeof(float) * scratch->rowStride));
    scratch->runs = static_cast<WindowRun*>(Carve(&carver, sizeof(WindowRun) * grid.width));
    if (round == 0) {
      scratch->memory = static_cast<unsigned char*>(calloc(1, carver.used + 64));
      if (!scratch->memory) return false;
      memory = scratch->memory + (64 - reinterpret_cast<uintptr_t>(scratch->memory) % 64) % 64;
    }
  }
  return true;
}

// Makes room for a lattice of rows x columns values (columns includes the
// kernels' read-ahead) and their row stage.
static bool ReserveLattice(WorkerScratch* scratch, int64_t rows, int64_t columns) {
  if (rows == 0 || (rows <= scratch->latticeRows && columns <= scratch->latticeColumns)) return true;
  if (rows < scratch->latticeRows) rows = scratch->latticeRows;
  if (columns < scratch->latticeColumns) columns = scratch->latticeColumns;
  free(scratch->lattice);
  free(scratch->rows);
  free(scratch->rowCoefficients);
  scratch->lattice = static_cast<float*>(malloc(sizeof(float) * static_cast<size_t>(rows * columns)));
  scratch->rows = static_cast<float*>(malloc(sizeof(float) * static_cast<size_t>(rows * scratch->rowStride)));
  scratch->rowCoefficients = static_cast<double*>(
      malloc(sizeof(double) * static_cast<size_t>(CeilDiv(columns, kCoefficientBlock) * kCoefficientsPerBlock)));
  const bool reserved = scratch->lattice && scratch->rows && scratch->rowCoefficients;
  scratch->latticeRows = reserved ? rows : 0;
  scratch->latticeColumns = reserved ? columns : 0;
  return reserved;
}

static int64_t Clamp(int64_t value, int64_t low, int64_t high) {
  return value < low ? low : (value > high ? high : value);
}

// One pass over one block: the lattice values its windows read, the row stage for
// those lattice rows over the block's columns, then the column stage into the
// heights. False when the lattice's scratch memory cannot be had.
static bool AddPassToBlock(const SynthesisKernels& kernels, const PassPlan& pass, const AxisWalk& xWalk,
                           const AxisWalk& zWalk, const Block& block, WorkerScratch* scratch,
                           float* heights, int64_t stride) {
  const int64_t n = pass.latticeSide;
  const int64_t width = block.x1 - block.x0;
  const int64_t c0 = xWalk.windows[block.x0];
  const int64_t columns = xWalk.windows[block.x1 - 1] + 4 - c0;
  const int64_t r0 = zWalk.windows[block.z0];
  const int64_t rows = zWalk.windows[block.z1 - 1] + 4 - r0;
  // Points past the lattice read 0: rows past it are the zero row, columns zeros.
  const int64_t drawnRows = Clamp(n - r0, 0, rows);
  const int64_t drawnColumns = Clamp(n - c0, 0, columns);
  const int64_t latticeStride = columns + kKernelOverrun;
  if (!ReserveLattice(scratch, drawnRows, latticeStride)) return false;

  // Lattice value (r, c) is the pass's draw r * n + c.
  const RandomJump nextRow = RandomJumpOver(static_cast<uint64_t>(n));
  uint32_t rowState = RandomJumpApply(
      RandomJumpOver(static_cast<uint64_t>(r0) * static_cast<uint64_t>(n) + static_cast<uint64_t>(c0)),
      pass.firstState);
  for (int64_t r = 0; r < drawnRows; ++r) {
    float* values = scratch->lattice + r * latticeStride;
    DrawLatticeRow(rowState, values, drawnColumns);
    for (int64_t c = drawnColumns; c < latticeStride; ++c) values[c] = 0.0f;
    rowState = RandomJumpApply(nextRow, rowState);
  }

  // Runs of the block's columns that share a window, relative to c0 and block.x0.
  int64_t runCount = 0;
  for (int64_t x = 0; x < width; ++x) {
    const int64_t window = xWalk.windows[block.x0 + x] - c0;
    if (runCount > 0 && scratch->runs[runCount - 1].window == window) {
      scratch->runs[runCount - 1].end = x + 1;
    } else {
      scratch->runs[runCount++] = {window, x, x + 1};
    }
  }
  for (int64_t r = 0; r < drawnRows; ++r) {
    kernels.sampleRow(scratch->lattice + r * latticeStride, scratch->runs, runCount,
                      xWalk.parameters + block.x0, scratch->rows + r * scratch->rowStride,
                      scratch->rowCoefficients);
  }

  // Column stage, row by row; a window's coefficients serve all its rows.
  int64_t formed = -1;
  for (int64_t z = block.z0; z < block.z1; ++z) {
    const int64_t window = zWalk.windows[z];
    const double f = zWalk.parameters[z];
    const float* points[4];
    for (int i = 0; i < 4; ++i) {
      const int64_t row = window - r0 + i;
      points[i] = row < drawnRows ? scratch->rows + row * scratch->rowStride : scratch->zeros;
    }
    float* line = heights + z * stride + block.x0;
    if (f >= 1.0) {
      kernels.addOctaveAtEnd(points[2], pass.amplitude, line, width);
      continue;
    }
    if (formed != window) {
      kernels.formColumns(points, scratch->coefficients, width);
      formed = window;
    }
    kernels.addOctave(scratch->coefficients, f, pass.amplitude, line, width);
  }
  return true;
}

// The block's range. Equal values differ only as +0 and -0: for a zero the first
// one in row order is looked up, as a scan with strict comparisons keeps it.
static HeightRange BlockRange(const SynthesisKernels& kernels, const SynthesisPlan& plan,
                              TerrainRect rect, const Block& block, const float* heights,
                              int64_t stride) {
  HeightRange range = {false, 0.0f, 0.0f, 0, 0};
  const int64_t width = block.x1 - block.x0;
  for (int64_t z = block.z0; z < block.z1; ++z) {
    float low = 0.0f;
    float high = 0.0f;
    if (!kernels.valueRange(heights + z * stride + block.x0, width, &low, &high)) continue;
    const int64_t at = (rect.z0 + z) * plan.terrainWidth + rect.x0 + block.x0;
    const HeightRange line = {true, low, high, at, at};
    MergeHeightRange(&range, line);
  }
  if (!range.found || (range.low != 0.0f && range.high != 0.0f)) return range;
  for (int64_t z = block.z0; z < block.z1; ++z) {
    const float* line = heights + z * stride + block.x0;
    for (int64_t x = 0; x < width; ++x) {
      if (line[x] != 0.0f) continue;
      const int64_t at = (rect.z0 + z) * plan.terrainWidth + rect.x0 + block.x0 + x;
      if (range.low == 0.0f) {
        range.low = line[x];
        range.lowAt = at;
      }
      if (range.high == 0.0f) {
        range.high = line[x];
        range.highAt = at;
      }
      return range;
    }
  }
  return range;
}

// ---------------------------------------------------------------- the rectangle

struct BlockJob {
  const SynthesisPlan* plan;
  TerrainRect rect;
  BlockGrid grid;
  int64_t blockCount;
  const SynthesisKernels* kernels;
  const GroupWalks* walks;
  bool firstGroup;
  bool lastGroup;
  const RiverResample* resample;
  RectOutput output;
  HeightRange* blockRanges;
  SynthesisControl* control;
  std::atomic<int64_t> nextBlock{0};
  std::atomic<bool> stopped{false};
};

static bool Cancelled(const SynthesisControl* control) {
  return control && control->cancelled.load(std::memory_order_relaxed);
}

static void CountWork(SynthesisControl* control) {
  if (control) control->workDone.fetch_add(1, std::memory_order_relaxed);
}

static bool RunBlock(BlockJob* job, WorkerScratch* scratch, int64_t index) {
  const SynthesisPlan& plan = *job->plan;
  const Block block = BlockAt(job->grid, job->rect, index);
  const int64_t stride = job->rect.width;
  float* heights = job->output.heights;
  float* water = job->output.water;
  const size_t lineBytes = sizeof(float) * static_cast<size_t>(block.x1 - block.x0);
  if (job->firstGroup) {
    for (int64_t z = block.z0; z < block.z1; ++z) {
      memset(heights + z * stride + block.x0, 0, lineBytes);
      if (water) memset(water + z * stride + block.x0, 0, lineBytes);
    }
  }
  const GroupWalks& walks = *job->walks;
  for (int64_t p = walks.first; p < walks.end; ++p) {
    if (Cancelled(job->control)) return false;
    if (!AddPassToBlock(*job->kernels, plan.passes[p], walks.x[p - walks.first],
                        walks.z[p - walks.first], block, scratch, heights, stride)) {
      return false;
    }
    CountWork(job->control);
  }
  if (!job->lastGroup) return true;
  if (plan.passCount == 0) CountWork(job->control);

  if (plan.river && plan.riverOnBaseGrid) {
    AddResampledRiver(*job->kernels, *job->resample, block.x0, block.x1, block.z0, block.z1,
                      scratch->coefficients, scratch->waterCoefficients, heights, water, stride);
  } else if (plan.river) {
    // The 100 x 100 terrain's own river, cut into this block's cells.
    const RiverWindow window = {job->rect.x0 + block.x0, job->rect.z0 + block.z0,
                                block.x1 - block.x0, block.z1 - block.z0, stride};
    const int64_t first = block.z0 * stride + block.x0;
    CarveRiverCourse(plan.course, plan.terrainWidth, plan.terrainDepth, window, heights + first,
                     water ? water + first : nullptr);
  }
  if (job->blockRanges) {
    job->blockRanges[index] = BlockRange(*job->kernels, plan, job->rect, block, heights, stride);
  }
  return true;
}

static void RunWorker(BlockJob* job, WorkerScratch* scratch) {
  while (!job->stopped.load(std::memory_order_relaxed)) {
    const int64_t index = job->nextBlock.fetch_add(1);
    if (index >= job->blockCount) return;
    if (!RunBlock(job, scratch, index)) job->stopped = true;
  }
}

// Runs the job on `workers` threads, this one included. A thread that cannot be
// started leaves its blocks to the others.
static void RunWorkers(BlockJob* job, WorkerScratch* scratch, int workers) {
  std::thread helpers[kMaxThreads];
  for (int i = 1; i < workers; ++i) {
    try {
      helpers[i] = std::thread(RunWorker, job, &scratch[i]);
    } catch (...) {
      break;
    }
  }
  RunWorker(job, &scratch[0]);
  for (int i = 1; i < workers; ++i) {
    if (helpers[i].joinable()) helpers[i].join();
  }
}

static int WorkerCount(int threads, TerrainRect rect, int64_t blockCount) {
  int64_t workers = threads;
  if (workers <= 0) workers = static_cast<int64_t>(std::thread::hardware_concurrency());
  if (workers < 1) workers = 1;
  if (rect.width * rect.depth < kParallelSamples) workers = 1;
  if (workers > blockCount) workers = blockCount;
  if (workers > kMaxThreads) workers = kMaxThreads;
  return static_cast<int>(workers);
}

bool SynthesizeRect(const SynthesisPlan& plan, TerrainRect rect, SplineWalk* xWalks,
                    SplineWalk* zWalks, int threads, RectOutput output, SynthesisControl* control) {
  const SynthesisKernels* kernels = SelectedKernels();
  const BlockGrid grid = BlocksOf(rect);
  const int64_t blockCount = grid.across * grid.down;
  int workers = WorkerCount(threads, rect, blockCount);

  WorkerScratch scratch[kMaxThreads];
  memset(scratch, 0, sizeof scratch);
  for (int i = 0; i < workers; ++i) {
    if (!AllocateScratch(grid, &scratch[i])) {
      ReleaseScratch(&scratch[i]);
      workers = i;
      break;
    }
  }
  RiverResample resample;
  memset(&resample, 0, sizeof resample);
  HeightRange* blockRanges = nullptr;
  bool ok = workers > 0;
  if (ok && plan.river && plan.riverOnBaseGrid) {
    ok = PrepareRiverResample(plan.baseChange, plan.baseWater, plan.terrainWidth, plan.terrainDepth,
                              rect, *kernels, &resample);
  }
  if (ok && output.range) {
    blockRanges = static_cast<HeightRange*>(calloc(static_cast<size_t>(blockCount), sizeof(HeightRange)));
    ok = blockRanges != nullptr;
  }

  // Passes go in groups whose walks fit kWalkBudgetBytes; usually one group.
  int64_t first = 0;
  while (ok) {
    GroupWalks walks;
    if (!BuildGroupWalks(plan, rect, first, xWalks, zWalks, &walks)) {
      ok = false;
      break;
    }
    BlockJob job;
    job.plan = &plan;
    job.rect = rect;
    job.grid = grid;
    job.blockCount = blockCount;
    job.kernels = kernels;
    job.walks = &walks;
    job.firstGroup = first == 0;
    job.lastGroup = walks.end == plan.passCount;
    job.resample = &resample;
    job.output = output;
    job.blockRanges = blockRanges;
    job.control = control;
    RunWorkers(&job, scratch, workers);
    ok = !job.stopped;
    first = walks.end;
    ReleaseGroupWalks(&walks);
    if (first == plan.passCount) break;
  }

  if (ok && output.range) {
    HeightRange range = {false, 0.0f, 0.0f, 0, 0};
    for (int64_t i = 0; i < blockCount; ++i) MergeHeightRange(&range, blockRanges[i]);
    *output.range = range;
  }
  free(blockRanges);
  ReleaseRiverResample(&resample);
  for (int i = 0; i < kMaxThreads; ++i) ReleaseScratch(&scratch[i]);
  return ok;
}
