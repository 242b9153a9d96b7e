// The threads that share a job's blocks: how many, and handing out whole rows of blocks.
#include "terrain/block_threads.h"

#include <thread>

static const int64_t kParallelSamples = 1 << 16;  // smaller rectangles stay on one thread

// A thread takes a whole row of blocks at a time, a band of rows no other thread writes
// meanwhile: threads writing neighbouring blocks of the same rows share cache lines and
// pages, and slow each other down.
static void RunWorker(BlockJob* job, WorkerScratch* scratch) {
  while (!job->stopped.load(std::memory_order_relaxed)) {
    const int64_t band = job->nextBand.fetch_add(1);
    if (band >= job->grid.down) return;
    for (int64_t index = band * job->grid.across; index < (band + 1) * job->grid.across; ++index) {
      if (job->stopped.load(std::memory_order_relaxed)) return;
      if (!RunBlock(job, scratch, index)) {
        job->stopped = true;
        return;
      }
    }
  }
}

void RunWorkers(BlockJob* job, WorkerScratch* scratch, int workers) {
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

int WorkerCount(int threads, TerrainRect rect, int64_t bandCount) {
  int64_t workers = threads;
  if (workers <= 0) workers = static_cast<int64_t>(std::thread::hardware_concurrency());
  if (workers < 1) workers = 1;
  if (rect.width * rect.depth < kParallelSamples) workers = 1;
  if (workers > bandCount) workers = bandCount;
  if (workers > kMaxThreads) workers = kMaxThreads;
  return static_cast<int>(workers);
}
