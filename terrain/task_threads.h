// Running numbered tasks on a few threads, each task whole on whichever thread takes it.
#pragma once

#include <cstdint>

// Runs run(context, task) for every task in 0 .. count - 1, on at most `threads`
// threads (0: every core), this one included. Tasks are handed out in order;
// which thread runs a task never matters to a result, since tasks share no
// data they write. A thread that cannot be started leaves its tasks to the others.
void RunTasks(int64_t count, int threads, void (*run)(void* context, int64_t task), void* context);

// The same for a callable taking the task number.
template <typename Task>
void RunTasks(int64_t count, int threads, Task& task) {
  RunTasks(count, threads, [](void* context, int64_t index) { (*static_cast<Task*>(context))(index); }, &task);
}

// The threads `threads` stands for: 0 is every core; at least 1, at most 64.
int TaskThreadCount(int threads);
