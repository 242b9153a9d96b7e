// Running numbered tasks on a few threads, each task whole on whichever thread takes it.
#include "terrain/task_threads.h"

#include <atomic>
#include <thread>

static const int kMaxTaskThreads = 64;

int TaskThreadCount(int threads) {
  int count = threads;
  if (count <= 0) count = static_cast<int>(std::thread::hardware_concurrency());
  if (count < 1) count = 1;
  if (count > kMaxTaskThreads) count = kMaxTaskThreads;
  return count;
}

namespace {

struct TaskQueue {
  int64_t count;
  void (*run)(void*, int64_t);
  void* context;
  std::atomic<int64_t> next{0};
};

void TakeTasks(TaskQueue* queue) {
  for (;;) {
    const int64_t task = queue->next.fetch_add(1);
    if (task >= queue->count) return;
    queue->run(queue->context, task);
  }
}

}  // namespace

void RunTasks(int64_t count, int threads, void (*run)(void* context, int64_t task), void* context) {
  TaskQueue queue;
  queue.count = count;
  queue.run = run;
  queue.context = context;
  int64_t workers = TaskThreadCount(threads);
  if (workers > count) workers = count;
  std::thread helpers[kMaxTaskThreads];
  for (int64_t i = 1; i < workers; ++i) {
    try {
      helpers[i] = std::thread(TakeTasks, &queue);
    } catch (...) {
      break;
    }
  }
  TakeTasks(&queue);
  for (int64_t i = 1; i < workers; ++i) {
    if (helpers[i].joinable()) helpers[i].join();
  }
}
