#include "engine/Parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace
{
std::atomic<unsigned> requestedThreads{0};
}

namespace Parallel
{
void SetThreadCount(unsigned count)
{
    requestedThreads = count;
}

unsigned ThreadCount()
{
    const unsigned requested = requestedThreads.load();
    if (requested != 0)
        return requested;
    return std::max(1u, std::thread::hardware_concurrency());
}

void For(size_t count, const std::function<void(size_t, size_t)>& body, size_t minPerThread)
{
    if (count == 0)
        return;
    size_t threads = ThreadCount();
    threads = std::min(threads, std::max<size_t>(1, count / std::max<size_t>(1, minPerThread)));
    if (threads <= 1)
    {
        body(0, count);
        return;
    }
    const size_t chunk = (count + threads - 1) / threads;
    std::vector<std::thread> workers;
    workers.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t)
    {
        const size_t begin = std::min(count, t * chunk);
        const size_t end = std::min(count, begin + chunk);
        if (begin < end)
            workers.emplace_back(body, begin, end);
    }
    body(0, std::min(count, chunk));
    for (std::thread& worker : workers)
        worker.join();
}
} // namespace Parallel
