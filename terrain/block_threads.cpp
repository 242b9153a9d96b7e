// The threads that share a job's blocks: how many, and handing the blocks out.
#include "terrain/block_threads.h"

#include <thread>

static const int64_t kParallelSamples = 1 << 16;  // smaller rectangles stay on one thread

static void RunWorker(BlockJob* job, WorkerScratch* scratch) {
  while (!job->stopped.load(std::memory_order_relaxed)) {
    const int64_t index = job->nextBlock.fetch_add(1);
    if (index >= job->blockCount) return;
    if (!RunBlock(job, scratch, index)) job->stopped = true;
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

int WorkerCount(int threads, TerrainRect rect, int64_t blockCount) {
  int64_t workers = threads;
  if (workers <= 0) workers = static_cast<int64_t>(std::thread::hardware_concurrency());
  if (workers < 1) workers = 1;
  if (rect.width * rect.depth < kParallelSamples) workers = 1;
  if (workers > blockCount) workers = blockCount;
  if (workers > kMaxThreads) workers = kMaxThreads;
  return static_cast<int>(workers);
}
