// Memory for large sample fields on Windows: committed by VirtualAlloc, each page zeroed by the system when first touched.
#include "platform/memory/field_memory.h"

#include <windows.h>

#include <cstdlib>

// Smaller blocks come from the heap.
static const size_t kMappedFrom = size_t(4) << 20;

void* AllocateFieldMemory(size_t bytes) {
  if (bytes < kMappedFrom) return _aligned_malloc((bytes + 63) & ~size_t(63), 64);
  // Large pages would need a privilege users do not have: the ordinary ones serve.
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleaseFieldMemory(void* memory, size_t bytes) {
  if (memory == nullptr) return;
  if (bytes < kMappedFrom) {
    _aligned_free(memory);
    return;
  }
  VirtualFree(memory, 0, MEM_RELEASE);
}

void KeepFreedMemory() {}
