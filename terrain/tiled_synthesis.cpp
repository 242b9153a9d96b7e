// A planned rectangle: scratch for each thread, the passes in groups of recorded walks, the river and the range.
#include "terrain/tiled_synthesis.h"

#include <cstdlib>
#include <cstring>

#include "terrain/block_job.h"
#include "terrain/block_threads.h"
#include "terrain/group_walks.h"
#include "terrain/river_resample.h"
#include "terrain/synthesis_blocks.h"
#include "terrain/worker_scratch.h"

bool SynthesizeRect(const SynthesisPlan& plan, TerrainRect rect, SplineWalk* xWalks,
                    SplineWalk* zWalks, int threads, RectOutput output, SynthesisControl* control,
                    const GroupWalks* columns) {
  const SynthesisKernels* kernels = SelectedKernels();
  const BlockGrid grid = BlocksOf(rect);
  const int64_t blockCount = grid.across * grid.down;
  int workers = WorkerCount(threads, rect, grid.down);

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

  // Passes go in groups whose walks fit kWalkBudgetBytes (group_walks.cpp); usually one group.
  int64_t first = 0;
  while (ok) {
    GroupWalks walks;
    if (!BuildGroupWalks(plan, rect, first, xWalks, zWalks, &walks, columns)) {
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
