// Memory for large sample fields on Linux: anonymous maps aligned to huge pages, with madvise(MADV_HUGEPAGE).
#include "platform/memory/field_memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

const size_t kHugePage = size_t(2) << 20;
// Smaller blocks come from the heap.
const size_t kMappedFrom = size_t(4) << 20;

size_t MappedBytes(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* AllocateFieldMemory(size_t bytes) {
  if (bytes < kMappedFrom) return aligned_alloc(64, (bytes + 63) & ~size_t(63));
  const size_t length = MappedBytes(bytes);
  // One huge page more, so an aligned start can be cut out of it.
  void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + kHugePage - 1) & ~static_cast<uintptr_t>(kHugePage - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  const size_t tail = kHugePage - (aligned - start);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
  void* memory = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  madvise(memory, length, MADV_HUGEPAGE);  // a hint: without it the memory still serves
#endif
  return memory;
}

void ReleaseFieldMemory(void* memory, size_t bytes) {
  if (memory == nullptr) return;
  if (bytes < kMappedFrom) {
    free(memory);
    return;
  }
  munmap(memory, MappedBytes(bytes));
}

void KeepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's highest dynamic value on 64-bit systems
  mallopt(M_TRIM_THRESHOLD, 64 << 20);  // twice that, as glibc raises it
}
