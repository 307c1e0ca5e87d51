#include "engine/LargeArrays.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace LargeArrays
{
void AdviseHugePages(const void* data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // A huge page spans 2 MB; below a few of them the request gains nothing.
    constexpr size_t kMinBytes = size_t(4) << 20;
    if (data == nullptr || bytes < kMinBytes) return;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return;
    const uintptr_t page = static_cast<uintptr_t>(pageSize);
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) / page * page;
    if (end <= begin) return;
    // Only advice: where the system refuses it (huge pages off, an old kernel) nothing changes.
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

std::unique_ptr<uint8_t[]> UninitializedBytes(size_t n)
{
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[n]);
    AdviseHugePages(bytes.get(), n);
    return bytes;
}
} // namespace LargeArrays
