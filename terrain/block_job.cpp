// One block of a rectangle: cleared, given a group's passes, then its river and its height range.
#include "terrain/block_job.h"

#include <cstring>

#include "terrain/block_pass.h"
#include "terrain/height_ranges.h"
#include "terrain/river.h"

static bool Cancelled(const SynthesisControl* control) {
  return control && control->cancelled.load(std::memory_order_relaxed);
}

static void CountWork(SynthesisControl* control) {
  if (control) control->workDone.fetch_add(1, std::memory_order_relaxed);
}

bool RunBlock(BlockJob* job, WorkerScratch* scratch, int64_t index) {
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
