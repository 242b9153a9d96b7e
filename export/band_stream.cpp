// The samples of a rectangle made band by band on worker threads and handed over in order, so writing overlaps generating.
#include "export/band_stream.h"

#include <algorithm>
#include <vector>

#include "export/export_control.h"
#include "export/ordered_work.h"
#include "terrain/group_walks.h"
#include "terrain/synthesis_blocks.h"
#include "platform/memory/field_memory.h"

// A band holds about this many samples, and at least kMinBandRows rows: little memory to
// touch for the first time (which costs as much as generating it), little to record per band.
static const int64_t kBandSamples = int64_t(1) << 19;
static const int64_t kMinBandRows = 64;

int64_t BandRows(int64_t width) {
  const int64_t rows = kBandSamples / (width > 0 ? width : 1);
  return rows < kMinBandRows ? kMinBandRows : rows;
}

bool StreamBands(const SynthesisPlan& plan, TerrainRect rect, bool withWater, int threads, float low, float high,
                 ExportControl* control, const BandTaker& take) {
  const int64_t bandRows = BandRows(rect.width) < rect.depth ? BandRows(rect.width) : rect.depth;
  OrderedWork work;
  work.pieces = CeilDiv(rect.depth, bandRows);
  work.workers = OrderedWorkers(threads, work.pieces);
  // One band being taken while each worker makes one: every page is touched once.
  work.slots = work.workers + 1;
  if (work.slots > work.pieces) work.slots = static_cast<int>(work.pieces);

  // Each slot: a band's heights (and water) and its range, all in one block.
  const size_t bandFloats = static_cast<size_t>(bandRows * rect.width + 16) & ~size_t(15);
  const size_t fields = withWater ? 2 : 1;
  const size_t bytes = sizeof(float) * bandFloats * fields * static_cast<size_t>(work.slots);
  float* memory = static_cast<float*>(AllocateFieldMemory(bytes));
  std::vector<float*> heights(static_cast<size_t>(work.slots), nullptr);
  std::vector<float*> water(static_cast<size_t>(work.slots), nullptr);
  std::vector<HeightRange> ranges(static_cast<size_t>(work.slots));
  bool ok = memory != nullptr;
  for (size_t i = 0; ok && i < heights.size(); ++i) {
    heights[i] = memory + i * fields * bandFloats;
    if (withWater) water[i] = heights[i] + bandFloats;
  }
  // The walks along x, the same for every band, recorded once when one group holds every pass;
  // each band's walks along z start where the band before it ends.
  GroupWalks columns = {};
  const bool shared = ok && BuildGroupWalks(plan, {rect.x0, rect.z0, rect.width, 1}, 0, nullptr, nullptr, &columns) &&
                      columns.end == plan.passCount;
  const size_t passes = static_cast<size_t>(plan.passCount);
  std::vector<SplineWalk> zStarts(static_cast<size_t>(work.pieces) * passes);
  std::vector<SplineWalk> zWalks(static_cast<size_t>(work.slots) * passes);
  if (shared) {
    std::vector<SplineWalk> at(passes);
    for (size_t p = 0; p < passes; ++p) {
      at[p] = SplineWalk{0.0f, 0};
      SkipWalk(&at[p], plan.passes[p].zStep, rect.z0);
    }
    for (int64_t band = 0; band < work.pieces; ++band) {
      for (size_t p = 0; p < passes; ++p) {
        zStarts[static_cast<size_t>(band) * passes + p] = at[p];
        SkipWalk(&at[p], plan.passes[p].zStep, bandRows);
      }
    }
  }
  auto bandRect = [&](int64_t band) {
    const int64_t z0 = band * bandRows;
    return TerrainRect{rect.x0, rect.z0 + z0, rect.width, rect.depth - z0 < bandRows ? rect.depth - z0 : bandRows};
  };
  work.make = [&](int64_t band, int slot) {
    ranges[static_cast<size_t>(slot)] = HeightRange{false, 0.0f, 0.0f, 0, 0};
    const RectOutput output = {heights[static_cast<size_t>(slot)], water[static_cast<size_t>(slot)],
                               &ranges[static_cast<size_t>(slot)]};
    if (!shared) return SynthesizeRect(plan, bandRect(band), nullptr, nullptr, 1, output, &control->synthesis);
    SplineWalk* z = passes > 0 ? &zWalks[static_cast<size_t>(slot) * passes] : nullptr;
    if (passes > 0) std::copy_n(&zStarts[static_cast<size_t>(band) * passes], passes, z);
    return SynthesizeRect(plan, bandRect(band), nullptr, z, 1, output, &control->synthesis, &columns);
  };
  work.take = [&](int64_t band, int slot) {
    const TerrainRect rows = bandRect(band);
    const ExportField field = {heights[static_cast<size_t>(slot)], water[static_cast<size_t>(slot)], rows, rows,
                               plan.terrainWidth, plan.terrainDepth, low, high};
    AddExportWork(control, rows.width * rows.depth);
    return !ExportCancelled(control) && take(field, ranges[static_cast<size_t>(slot)]);
  };
  ok = ok && RunOrderedWork(work);
  ReleaseGroupWalks(&columns);
  ReleaseFieldMemory(memory, bytes);
  return ok;
}
