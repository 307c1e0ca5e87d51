#pragma once
#include <cstdint>

namespace ProcessMemory
{
// The process's resident memory in bytes, from /proc/self/statm (one small read); 0 where it cannot
// be read.
uint64_t ResidentBytes();
} // namespace ProcessMemory
