// Erosion of a height field by running water and by material sliding off slopes steeper than the talus angle.
//
// Each step:
// 1. Route the water as the drainage map does: fill the depressions, take every
//    sample's steepest lower neighbour on the filled surface as its receiver.
//    Every sample then drains to one edge sample, and the basins are trees
//    that share nothing: each is taken whole by one thread.
// 2. Down each tree (receivers first): talus. A sample higher than its receiver
//    plus the talus slope times their distance comes down to that height, and
//    what slid off joins the sediment arriving at the receiver.
// 3. Up the tree: stream power with deposition, implicit (n = 1, m = 1/2). For
//    a sample i with receiver r, drainage area A (in samples) and change d:
//      d_i = -F_i (h_i + d_i - h_r - d_r) + g_i E_i,
//    F_i = K dt sqrt(A_i x cell area) / distance (0 unless h_i is above h_r),
//    g_i = min(1, G / A_i), E_i the sediment arriving: the sum over the samples j
//    sending to i of E_j - d_j. Going up, E_i is kept as P_i + Q_i d_i, which
//    makes d_i = alpha_i + beta_i d_r. A sample in a depression (below its
//    filled height) does not wear: it keeps what arrives, up to the filled height.
// 4. Down the tree: every d from its receiver's; the edge sample stays, and the
//    sediment reaching it leaves the terrain.
// 5. Hillslope creep: diffusion, implicit along the rows, then the columns.
// Trees are walked depth first through the receivers, without a list of their
// samples. Every sum runs in a fixed order, so the thread count changes no bit.
// Scratch: P and Q, A and the depth below the filled height (the filled heights
// before them), the receivers and donors: 18 bytes a sample.
#include "terrain/erosion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "terrain/depression_fill.h"
#include "terrain/flow_routing.h"
#include "terrain/task_threads.h"
#include "terrain/terrain_region.h"

ErosionSettings DefaultErosionSettings() {
  return ErosionSettings{10, 1.0f, 1.0f, 35.0f, 0.2f};
}

ErosionCheck CheckErosionSettings(const ErosionSettings& s) {
  ErosionCheck check = {kErosionFieldNone, ""};
  if (s.steps < 1 || s.steps > kMaxErosionSteps) {
    check.field = kErosionFieldSteps;
    snprintf(check.message, sizeof check.message, "the erosion steps must be a whole number from 1 to %d",
             static_cast<int>(kMaxErosionSteps));
  } else if (!(s.erodibility >= 0.0f && s.erodibility <= kMaxErodibility)) {
    check.field = kErosionFieldErodibility;
    snprintf(check.message, sizeof check.message, "the erodibility must be a number from 0 to %g",
             static_cast<double>(kMaxErodibility));
  } else if (!(s.deposition >= 0.0f && s.deposition <= kMaxDeposition)) {
    check.field = kErosionFieldDeposition;
    snprintf(check.message, sizeof check.message, "the deposition must be a number from 0 to %g",
             static_cast<double>(kMaxDeposition));
  } else if (!(s.talusAngle >= kMinTalusAngle && s.talusAngle <= kMaxTalusAngle)) {
    check.field = kErosionFieldTalusAngle;
    snprintf(check.message, sizeof check.message,
             "the talus angle must be a number of degrees from %g to %g (90: no sliding)",
             static_cast<double>(kMinTalusAngle), static_cast<double>(kMaxTalusAngle));
  } else if (!(s.creep >= 0.0f && s.creep <= kMaxCreep)) {
    check.field = kErosionFieldCreep;
    snprintf(check.message, sizeof check.message, "the creep must be a number from 0 to %g (square units a step)",
             static_cast<double>(kMaxCreep));
  }
  return check;
}

double TalusSlope(float angleDegrees) {
  if (angleDegrees >= 90.0f) return HUGE_VAL;
  const double x = static_cast<double>(angleDegrees) * (3.14159265358979323846 / 180.0);
  // Taylor series of sine and cosine; 30 terms reach double precision below pi / 2.
  double sine = 0.0, cosine = 0.0;
  double sineTerm = x, cosineTerm = 1.0;
  const double square = x * x;
  for (int k = 0; k < 30; ++k) {
    sine += sineTerm;
    cosine += cosineTerm;
    sineTerm = -sineTerm * square / static_cast<double>((2 * k + 2) * (2 * k + 3));
    cosineTerm = -cosineTerm * square / static_cast<double>((2 * k + 1) * (2 * k + 2));
  }
  return sine / cosine;
}

int64_t ErosionScratchBytes(int64_t width, int64_t depth) {
  return width * depth * static_cast<int64_t>(3 * sizeof(float) + sizeof(uint32_t) + 2 * sizeof(uint8_t)) +
         width * depth / 8;
}

namespace {

// A sample's drainage area (in samples) and how far it lies below its filled
// height (0 outside depressions), side by side.
struct AreaDepth {
  uint32_t area;
  float depth;
};

struct Scratch {
  void* block;        // P and Q side by side; the fill's queue before them
  float* p;           // p[2 i]: sediment arriving (P); then alpha; then the change
  float* q;           // q[2 i] (p[2 i + 1]): Q; then beta
  void* areaBlock;    // the filled heights (its first half); then AreaDepth records
  float* filled;
  AreaDepth* area;
  uint8_t* receivers;
  uint8_t* donors;    // which neighbours send to each sample
};

bool Allocate(Scratch* scratch, const FlowGrid& grid) {
  const size_t count = static_cast<size_t>(grid.samples);
  scratch->block = malloc(count * 2 * sizeof(float));
  // Each sample's two terms in one cache line: the walks visit samples far apart.
  scratch->p = static_cast<float*>(scratch->block);
  scratch->q = scratch->p + 1;
  scratch->areaBlock = malloc(count * sizeof(AreaDepth));
  scratch->filled = static_cast<float*>(scratch->areaBlock);
  scratch->area = static_cast<AreaDepth*>(scratch->areaBlock);
  scratch->receivers = static_cast<uint8_t*>(malloc(count));
  scratch->donors = static_cast<uint8_t*>(malloc(count));
  return scratch->block && scratch->areaBlock && scratch->receivers && scratch->donors;
}

void Release(Scratch* scratch) {
  free(scratch->block);
  free(scratch->areaBlock);
  free(scratch->receivers);
  free(scratch->donors);
}

// The filled heights, in the first half of the area block, spread out into
// AreaDepth records (through memcpy: the block changes type). Record i takes
// the place of filled heights 2i and 2i + 1, so the samples go in halves from
// the top: [ceil(n/2), n), then the upper half of the rest, ...; within a half
// no record lies on a filled height not yet read, and the threads share it.
void SpreadDepths(const Scratch& s, const float* heights, int64_t samples, int threads) {
  unsigned char* bytes = static_cast<unsigned char*>(s.areaBlock);
  auto spread = [&](int64_t first, int64_t end) {
    for (int64_t i = first; i < end; ++i) {
      float filled;
      memcpy(&filled, bytes + i * sizeof(float), sizeof filled);
      const float depth = static_cast<float>(static_cast<double>(filled) - static_cast<double>(heights[i]));
      const AreaDepth record = {1, depth};
      memcpy(bytes + i * sizeof(AreaDepth), &record, sizeof record);
    }
  };
  int64_t end = samples;
  while (end > 0) {
    const int64_t first = end > 1 ? (end + 1) / 2 : 0;  // records from `first` lie on filled heights >= end
    const int64_t length = end - first;
    const int64_t parts = length < (1 << 16) ? 1 : 16;
    auto part = [&](int64_t k) { spread(first + length * k / parts, first + length * (k + 1) / parts); };
    RunTasks(parts, threads, part);
    end = first;
  }
}

struct StepJob {
  const FlowGrid* grid;
  float* heights;
  const Scratch* scratch;
  const uint32_t* roots;     // the edge samples, in the order their basins are taken
  double* outflow;           // per root
  uint32_t* basinSize;       // per root, for the next step's order
  double erodibility;
  double deposition;
  double talus;
  SynthesisControl* control;
};

// A basin as a tree: a sample's children are the neighbours sending their water
// to it, in neighbour order. Walked depth first without a stack: down to the
// first child, on to the next sibling, up to the receiver when none is left.
struct TreeWalk {
  const FlowGrid* grid;
  const uint8_t* receivers;
  const uint8_t* donors;
  int64_t root;
};

// The first child of x from direction `from` on, or -1.
int64_t ChildFrom(const TreeWalk& walk, int64_t x, int from) {
  const uint32_t later = static_cast<uint32_t>(walk.donors[x]) >> from;
  if (later == 0) return -1;
  return x + walk.grid->offset[from + __builtin_ctz(later)];
}

// Calls before(x) on the way down (receivers first) and after(x) on the way up
// (every child first), the root included.
template <typename Before, typename After>
void WalkBasin(const TreeWalk& walk, Before before, After after) {
  const FlowGrid& grid = *walk.grid;
  int64_t x = walk.root;
  before(x);
  for (;;) {
    const int64_t child = ChildFrom(walk, x, 0);
    if (child >= 0) {
      x = child;
      before(x);
      continue;
    }
    // x has no child left: finish it and move to its next sibling, or up.
    for (;;) {
      after(x);
      if (x == walk.root) return;
      const uint8_t r = walk.receivers[x];
      const int64_t parent = x + grid.offset[r];
      const int64_t sibling = ChildFrom(walk, parent, ((r + 4) & 7) + 1);
      if (sibling >= 0) {
        x = sibling;
        before(x);
        break;
      }
      x = parent;
    }
  }
}

// The way down: every sample's sediment terms start empty, and a sample
// steeper above its receiver than the talus slope comes down to it; what slid
// off joins the sediment arriving at the receiver.
void SlideTalus(const StepJob& job, int64_t i) {
  const FlowGrid& grid = *job.grid;
  const Scratch& s = *job.scratch;
  float* h = job.heights;
  // The children come next: their data is fetched while this one is done.
  for (uint32_t children = s.donors[i]; children != 0; children &= children - 1) {
    const int64_t c = i + grid.offset[__builtin_ctz(children)];
    __builtin_prefetch(h + c, 1);
    __builtin_prefetch(s.p + 2 * c, 1);
    __builtin_prefetch(s.area + c, 1);
    __builtin_prefetch(s.donors + c);
  }
  s.p[2 * i] = 0.0f;
  s.q[2 * i] = 0.0f;
  const uint8_t r = s.receivers[i];
  if (r != kNoReceiver) {
    const int64_t j = i + grid.offset[r];
    const double limit = static_cast<double>(h[j]) + job.talus * grid.distance[r];
    const double own = static_cast<double>(h[i]);
    if (own > limit) {
      const float lowered = static_cast<float>(limit);
      s.p[2 * j] = static_cast<float>(static_cast<double>(s.p[2 * j]) + (own - static_cast<double>(lowered)));
      h[i] = lowered;
    }
  }
}

// The way up: with E = P + Q d the sediment arriving, d = alpha + beta d(receiver).
// A sample in a depression (below its filled height) does not wear: the
// sediment arriving settles there up to the filled height, the rest goes on.
// Returns the sediment reaching the edge when i is the root.
double Solve(const StepJob& job, int64_t i) {
  const FlowGrid& grid = *job.grid;
  const Scratch& s = *job.scratch;
  const uint8_t r = s.receivers[i];
  const double pi = static_cast<double>(s.p[2 * i]);
  const double qi = static_cast<double>(s.q[2 * i]);
  if (r == kNoReceiver) {
    s.p[2 * i] = 0.0f;  // the edge sample stays
    return pi;
  }
  const int64_t j = i + grid.offset[r];
  const uint32_t a = s.area[i].area;
  const double below = static_cast<double>(s.area[i].depth);
  double alpha;
  double beta;
  if (below > 0.0) {
    const double trapped = pi / (1.0 - qi);
    alpha = trapped < below ? trapped : below;
    beta = 0.0;
  } else {
    const double drop = static_cast<double>(job.heights[i]) - static_cast<double>(job.heights[j]);
    const double f = drop > 0.0 ? job.erodibility * std::sqrt(static_cast<double>(a) * grid.cellArea) / grid.distance[r]
                                : 0.0;
    const double share = job.deposition / static_cast<double>(a);
    const double g = share < 1.0 ? share : 1.0;
    const double divisor = 1.0 + f - g * qi;
    alpha = (g * pi - f * drop) / divisor;
    beta = f / divisor;
  }
  s.p[2 * j] = static_cast<float>(static_cast<double>(s.p[2 * j]) + (pi + (qi - 1.0) * alpha));
  s.q[2 * j] = static_cast<float>(static_cast<double>(s.q[2 * j]) + (qi - 1.0) * beta);
  s.area[j].area += a;
  s.p[2 * i] = static_cast<float>(alpha);
  s.q[2 * i] = static_cast<float>(beta);
  return 0.0;
}

// Down again: every change from its receiver's.
void ApplyChange(const StepJob& job, int64_t i) {
  const Scratch& s = *job.scratch;
  const uint8_t r = s.receivers[i];
  if (r == kNoReceiver) return;
  const int64_t j = i + job.grid->offset[r];
  const double change = static_cast<double>(s.p[2 * i]) + static_cast<double>(s.q[2 * i]) * static_cast<double>(s.p[2 * j]);
  s.p[2 * i] = static_cast<float>(change);
  job.heights[i] = static_cast<float>(static_cast<double>(job.heights[i]) + change);
}

void ErodeBasin(const StepJob& job, int64_t task) {
  if (job.control != nullptr && job.control->cancelled.load(std::memory_order_relaxed)) return;
  const int64_t root = job.roots[task];
  const TreeWalk walk = {job.grid, job.scratch->receivers, job.scratch->donors, root};
  double out = 0.0;
  WalkBasin(walk, [&job](int64_t i) { SlideTalus(job, i); }, [&job, &out](int64_t i) { out += Solve(job, i); });
  WalkBasin(walk, [&job](int64_t i) { ApplyChange(job, i); }, [](int64_t) {});
  job.outflow[task] = out;
  job.basinSize[task] = job.scratch->area[root].area;
}

// Hillslope creep: dh/dt = D (d2h/dx2 + d2h/dz2), implicit, one axis after the
// other; the edge samples stay. Along each line of interior samples the system
// -a h'[c-1] + (1 + 2a) h'[c] - a h'[c+1] = h[c] is solved by elimination (the
// same factors for every line), a few lines at a time so that columns are
// walked row by row, the lines shared out to threads. What left through the
// edge samples is a (h'[first] - h[edge]) + a (h'[last] - h[other edge]) a line.
struct CreepJob {
  float* heights;
  double a;                  // D dt / spacing^2 along the axis
  const double* inverse;     // 1 / the eliminated diagonal, a line position each
  int64_t count;             // interior samples a line
  int64_t lines;             // interior lines
  int64_t lineStep;          // index step from one line to the next
  int64_t sampleStep;        // index step along a line
  double* outflow;           // per line
};

constexpr int64_t kCreepLinesPerTask = 16;

void CreepLines(const CreepJob& job, int64_t first, int64_t n, double* values) {
  const int64_t count = job.count;
  float* h = job.heights;
  auto at = [&job, first](int64_t l, int64_t k) { return (1 + first + l) * job.lineStep + k * job.sampleStep; };
  for (int64_t k = 1; k <= count; ++k) {
    for (int64_t l = 0; l < n; ++l) {
      double value = static_cast<double>(h[at(l, k)]);
      if (k == 1) value += job.a * static_cast<double>(h[at(l, 0)]);
      if (k == count) value += job.a * static_cast<double>(h[at(l, count + 1)]);
      if (k > 1) value += job.a * values[(k - 2) * n + l] * job.inverse[k - 2];
      values[(k - 1) * n + l] = value;
    }
  }
  for (int64_t k = count; k >= 1; --k) {
    for (int64_t l = 0; l < n; ++l) {
      double value = values[(k - 1) * n + l];
      if (k < count) value += job.a * values[k * n + l];
      value *= job.inverse[k - 1];
      values[(k - 1) * n + l] = value;
      h[at(l, k)] = static_cast<float>(value);
    }
  }
  for (int64_t l = 0; l < n; ++l) {
    job.outflow[first + l] = job.a * ((values[l] - static_cast<double>(h[at(l, 0)])) +
                                      (values[(count - 1) * n + l] - static_cast<double>(h[at(l, count + 1)])));
  }
}

double Creep(float* heights, int64_t width, int64_t depth, double diffusion, bool alongRows, int threads) {
  const double spacing = 150.0 / static_cast<double>((alongRows ? width : depth) - 1);
  CreepJob job;
  job.heights = heights;
  job.a = diffusion / (spacing * spacing);
  job.count = (alongRows ? width : depth) - 2;
  job.lines = (alongRows ? depth : width) - 2;
  job.lineStep = alongRows ? width : 1;
  job.sampleStep = alongRows ? 1 : width;
  if (job.count < 1 || job.lines < 1 || !(job.a > 0.0)) return 0.0;
  std::vector<double> inverse(static_cast<size_t>(job.count));
  double diagonal = 1.0 + 2.0 * job.a;
  for (int64_t k = 0; k < job.count; ++k) {
    if (k > 0) diagonal = 1.0 + 2.0 * job.a - job.a * job.a * inverse[static_cast<size_t>(k - 1)];
    inverse[static_cast<size_t>(k)] = 1.0 / diagonal;
  }
  job.inverse = inverse.data();
  std::vector<double> outflow(static_cast<size_t>(job.lines), 0.0);
  job.outflow = outflow.data();
  const int64_t tasks = (job.lines + kCreepLinesPerTask - 1) / kCreepLinesPerTask;
  auto run = [&job](int64_t task) {
    const int64_t first = task * kCreepLinesPerTask;
    const int64_t n = first + kCreepLinesPerTask <= job.lines ? kCreepLinesPerTask : job.lines - first;
    std::vector<double> values(static_cast<size_t>(job.count * n));
    CreepLines(job, first, n, values.data());
  };
  RunTasks(tasks, width * depth < (1 << 16) ? 1 : threads, run);
  double total = 0.0;
  for (double out : outflow) total += out;
  return total;
}

bool Cancelled(const SynthesisControl* control) {
  return control != nullptr && control->cancelled.load();
}

}  // namespace

FlowStatus ErodeTerrain(float* heights, int64_t width, int64_t depth, const ErosionSettings& settings,
                        int threads, SynthesisControl* control, ErosionReport* report) {
  const FlowStatus check = CheckFlowField(heights, width, depth);
  if (check != kFlowDone) return check;
  const FlowGrid grid = MakeFlowGrid(width, depth);
  const int64_t n = grid.samples;
  if (control != nullptr) {
    control->workTotal = settings.steps;
    control->workDone = 0;
  }
  double before = 0.0;
  for (int64_t i = 0; i < n; ++i) before += static_cast<double>(heights[i]);

  Scratch scratch;
  memset(&scratch, 0, sizeof scratch);
  if (!Allocate(&scratch, grid)) {
    Release(&scratch);
    return kFlowNoMemory;
  }
  const int workers = n < (1 << 16) ? 1 : threads;
  FillScratch fillScratch;
  double outflowTotal = 0.0;
  FlowStatus status = kFlowDone;
  // The vectors are the only allocations that throw: they hold a few numbers per edge sample.
  try {
    // The basins, largest first by the last step's sizes: the threads end together.
    std::vector<uint32_t> roots;
    for (int64_t i = 0; i < n; ++i) {
      if (IsEdgeSample(grid, i)) roots.push_back(static_cast<uint32_t>(i));
    }
    std::vector<uint32_t> sizes(roots.size(), 0);
    std::vector<double> outflow(roots.size(), 0.0);
    for (int32_t step = 0; step < settings.steps && status == kFlowDone; ++step) {
      if (!FillDepressions(heights, grid, scratch.filled, scratch.block, workers, control, &fillScratch)) {
        status = Cancelled(control) ? kFlowCancelled : kFlowNoMemory;
        break;
      }
      FindReceivers(scratch.filled, grid, scratch.receivers, workers);
      FindDonors(scratch.receivers, grid, scratch.donors, workers);
      SpreadDepths(scratch, heights, n, workers);
      std::vector<size_t> byRoot(roots.size());
      for (size_t b = 0; b < roots.size(); ++b) byRoot[b] = b;
      std::stable_sort(byRoot.begin(), byRoot.end(), [&sizes](size_t a, size_t b) { return sizes[a] > sizes[b]; });
      std::vector<uint32_t> ordered(roots.size());
      for (size_t b = 0; b < roots.size(); ++b) ordered[b] = roots[byRoot[b]];
      std::vector<uint32_t> orderedSizes(roots.size(), 0);
      StepJob job = {&grid, heights, &scratch, ordered.data(), outflow.data(), orderedSizes.data(),
                     static_cast<double>(settings.erodibility), static_cast<double>(settings.deposition),
                     TalusSlope(settings.talusAngle), control};
      auto erode = [&job](int64_t task) { ErodeBasin(job, task); };
      RunTasks(static_cast<int64_t>(roots.size()), workers, erode);
      if (Cancelled(control)) {
        status = kFlowCancelled;
        break;
      }
      // Summed in the edge samples' own order, whatever order the threads took them in.
      std::vector<double> outflowByRoot(roots.size());
      for (size_t b = 0; b < roots.size(); ++b) {
        outflowByRoot[byRoot[b]] = outflow[b];
        sizes[byRoot[b]] = orderedSizes[b];
      }
      for (double out : outflowByRoot) outflowTotal += out;
      if (settings.creep > 0.0f) {
        outflowTotal += Creep(heights, width, depth, static_cast<double>(settings.creep), true, workers);
        outflowTotal += Creep(heights, width, depth, static_cast<double>(settings.creep), false, workers);
      }
      if (control != nullptr) control->workDone += 1;
    }
  } catch (const std::bad_alloc&) {
    status = kFlowNoMemory;
  }
  Release(&scratch);
  ReleaseFillScratch(&fillScratch);
  if (status == kFlowDone && report != nullptr) {
    double after = 0.0;
    for (int64_t i = 0; i < n; ++i) after += static_cast<double>(heights[i]);
    report->removed = before - after;
    report->outflow = outflowTotal;
  }
  return status;
}
