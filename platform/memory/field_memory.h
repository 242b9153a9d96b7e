// Memory for large sample fields: untouched until the threads that fill it write it, in large pages where the system gives them.
#pragma once

#include <cstddef>

// At least `bytes` bytes, aligned to 64, not cleared: each page is first touched by
// whoever writes it first. Large blocks ask for transparent huge pages on Linux
// (fewer, cheaper page faults); Windows gives what it gives without privileges.
// Null when the memory cannot be had.
void* AllocateFieldMemory(size_t bytes);

// Gives back memory from AllocateFieldMemory with the same `bytes`; nothing for null.
void ReleaseFieldMemory(void* memory, size_t bytes);

// Lets the heap keep blocks of up to a few tens of megabytes once freed, for the next
// allocation to reuse, instead of giving them back to the system and faulting fresh
// pages each time: what a program that once freed a large block gets from glibc anyway.
// Nothing where the allocator already keeps them.
void KeepFreedMemory();
