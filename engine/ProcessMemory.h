#pragma once
#include <cstdint>

namespace ProcessMemory
{
// The process's resident memory in bytes, from /proc/self/statm (one small read); 0 where it cannot
// be read.
uint64_t ResidentBytes();

// Gives the memory the allocator keeps after frees back to the system: glibc keeps freed blocks under
// its mmap threshold (up to 32 MB, raised by every large block freed) in its arenas, one per thread
// that allocated, so a closed session's images and arrays would stay resident. Does nothing elsewhere.
void ReleaseFreed();
} // namespace ProcessMemory
