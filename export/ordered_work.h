// Work cut into pieces that worker threads make in any order and this thread takes in order.
#pragma once

#include <cstdint>
#include <functional>

// Pieces 0 .. pieces - 1: make(piece, slot) runs on one of `workers` threads (0: every
// core) and fills slot's buffers; take(piece, slot) runs on the calling thread in piece
// order. At most `slots` pieces are made and not yet taken, so a slot's buffers are
// reused from piece to piece. Either returning false stops the work.
struct OrderedWork {
  int64_t pieces = 0;
  int workers = 0;
  int slots = 0;  // at least 1; workers + 2 keeps every worker busy
  std::function<bool(int64_t piece, int slot)> make;
  std::function<bool(int64_t piece, int slot)> take;
};

// True when every piece was made and taken.
bool RunOrderedWork(const OrderedWork& work);

// The workers for `threads` (0: every core), at most `pieces` and 64.
int OrderedWorkers(int threads, int64_t pieces);
