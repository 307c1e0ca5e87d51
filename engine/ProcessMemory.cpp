#include "engine/ProcessMemory.h"

#include <cstdio>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

uint64_t ProcessMemory::ResidentBytes()
{
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) return 0;
    unsigned long long pages = 0;
    unsigned long long resident = 0;
    const int read = std::fscanf(file, "%llu %llu", &pages, &resident);
    std::fclose(file);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (read != 2 || pageSize <= 0) return 0;
    return static_cast<uint64_t>(resident) * static_cast<uint64_t>(pageSize);
}

void ProcessMemory::ReleaseFreed()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
