// The spline walks of a group of passes along the rectangle's columns and rows, recorded once.
#include "terrain/group_walks.h"

#include <cstdlib>
#include <cstring>

static const int64_t kWalkBudgetBytes = 64 << 20;  // walks kept at once, per group of passes

static bool SameWalk(const SplineWalk& a, const SplineWalk& b) {
  return a.windowStart == b.windowStart && memcmp(&a.counter, &b.counter, sizeof a.counter) == 0;
}

void ReleaseGroupWalks(GroupWalks* group) {
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

bool BuildGroupWalks(const SynthesisPlan& plan, TerrainRect rect, int64_t first,
                     SplineWalk* xStarts, SplineWalk* zStarts, GroupWalks* group,
                     const GroupWalks* columns) {
  memset(group, 0, sizeof *group);
  if (columns && first >= columns->end) columns = nullptr;
  const int64_t xEntries = rect.width + kKernelOverrun;
  const int64_t zEntries = rect.depth + kKernelOverrun;
  const int64_t entryBytes = static_cast<int64_t>(sizeof(int64_t) + sizeof(double));
  const int64_t perPass = (xEntries + zEntries) * entryBytes + 2 * static_cast<int64_t>(sizeof(AxisWalk)) +
                          static_cast<int64_t>(sizeof(SplineWalk));
  int64_t count = kWalkBudgetBytes / perPass;
  if (count < 1) count = 1;
  if (count > plan.passCount - first) count = plan.passCount - first;
  if (columns && count > columns->end - first) count = columns->end - first;
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
  if (columns) {
    for (int64_t i = 0; i < count; ++i) group->x[i] = columns->x[first - columns->first + i];
  } else {
    RecordGroupAxis(plan, group, true, xStarts, before, rect.x0, rect.width);
  }
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
