#pragma once
// Splits index ranges over the machine's cores. Every caller computes each index independently of
// the others (and combines reductions exactly, such as min and max), so the results are the same
// bits whatever the thread count.
#include <cstddef>
#include <functional>

namespace Parallel
{
// 0 selects the number of hardware threads (the default).
void SetThreadCount(unsigned count);
unsigned ThreadCount();

// Calls body(begin, end) on contiguous chunks covering [0, count), one chunk per thread, and returns
// when all are done. Ranges shorter than minPerThread per thread run on the calling thread alone.
void For(size_t count, const std::function<void(size_t begin, size_t end)>& body, size_t minPerThread = 16384);
} // namespace Parallel
