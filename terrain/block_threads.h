// The threads that share a job's blocks: how many, and handing out whole rows of blocks.
#pragma once

#include <cstdint>

#include "terrain/block_job.h"
#include "terrain/terrain_region.h"
#include "terrain/worker_scratch.h"

constexpr int kMaxThreads = 64;

// Runs the job on `workers` threads, this one included; each takes a whole row of
// blocks at a time. A thread that cannot be started leaves its rows to the others.
void RunWorkers(BlockJob* job, WorkerScratch* scratch, int workers);
// The threads for a rectangle: `threads` (0: every core), one for small rectangles,
// never more than rows of blocks nor kMaxThreads.
int WorkerCount(int threads, TerrainRect rect, int64_t bandCount);
