// Work cut into pieces that worker threads make in any order and this thread takes in order.
#include "export/ordered_work.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Slot {
  int64_t piece = -1;  // the piece it holds or is being filled with; -1: free
  bool ready = false;
};

struct Ring {
  const OrderedWork* work;
  std::vector<Slot> slots;
  std::mutex lock;
  std::condition_variable changed;
  int64_t next = 0;   // the next piece to make
  int64_t taken = 0;  // pieces taken so far
  bool stopped = false;
  bool failed = false;  // a piece could not be made
};

void MakePieces(Ring* ring) {
  std::unique_lock<std::mutex> held(ring->lock);
  while (!ring->stopped && ring->next < ring->work->pieces) {
    const int64_t piece = ring->next++;
    const int index = static_cast<int>(piece % static_cast<int64_t>(ring->slots.size()));
    Slot& slot = ring->slots[static_cast<size_t>(index)];
    // The slot is this piece's once the piece that many places earlier has been taken
    // (not merely once it is free: a later piece must not take it first).
    const int64_t slots = static_cast<int64_t>(ring->slots.size());
    ring->changed.wait(held, [&] { return ring->stopped || ring->taken > piece - slots; });
    if (ring->stopped) break;
    slot.piece = piece;
    slot.ready = false;
    held.unlock();
    const bool made = ring->work->make(piece, index);
    held.lock();
    if (made) slot.ready = true;
    else ring->failed = ring->stopped = true;
    ring->changed.notify_all();
  }
}

}  // namespace

int OrderedWorkers(int threads, int64_t pieces) {
  int64_t workers = threads > 0 ? threads : static_cast<int64_t>(std::thread::hardware_concurrency());
  if (workers < 1) workers = 1;
  if (workers > 64) workers = 64;
  if (workers > pieces) workers = pieces;
  return static_cast<int>(workers < 1 ? 1 : workers);
}

bool RunOrderedWork(const OrderedWork& work) {
  Ring ring;
  ring.work = &work;
  ring.slots.resize(static_cast<size_t>(work.slots > 0 ? work.slots : 1));
  std::vector<std::thread> helpers;
  for (int i = 0; i < OrderedWorkers(work.workers, work.pieces); ++i) {
    try {
      helpers.emplace_back(MakePieces, &ring);
    } catch (...) {
      break;
    }
  }
  bool ok = !helpers.empty() || work.pieces == 0;
  for (int64_t piece = 0; ok && piece < work.pieces; ++piece) {
    const int index = static_cast<int>(piece % static_cast<int64_t>(ring.slots.size()));
    Slot& slot = ring.slots[static_cast<size_t>(index)];
    {
      std::unique_lock<std::mutex> held(ring.lock);
      ring.changed.wait(held, [&] { return ring.failed || (slot.piece == piece && slot.ready); });
      if (ring.failed) break;
    }
    ok = work.take(piece, index);
    std::lock_guard<std::mutex> held(ring.lock);
    slot.piece = -1;
    slot.ready = false;
    ++ring.taken;
    ring.changed.notify_all();
  }
  {
    std::lock_guard<std::mutex> held(ring.lock);
    if (ring.failed) ok = false;
    ring.stopped = true;
    ring.changed.notify_all();
  }
  for (std::thread& helper : helpers) helper.join();
  return ok;
}
