#include "engine/Parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace
{
// Every index is handed out exactly once, in non-empty chunks, for sizes that do not divide by the
// thread count, sizes below it and a size of one.
TEST(ParallelTest, ChunksCoverUnevenRangesExactlyOnce)
{
    for (unsigned threads : {1u, 2u, 3u, 4u, 7u})
        for (size_t count : {1u, 2u, 5u, 10u, 100u, 1001u, 65537u})
        {
            Parallel::SetThreadCount(threads);
            std::vector<std::atomic<int>> hits(count);
            std::atomic<int> emptyChunks{0};
            Parallel::For(
                count,
                [&](size_t begin, size_t end)
                {
                    emptyChunks += begin >= end;
                    for (size_t i = begin; i < end && i < count; ++i)
                        ++hits[i];
                },
                1);
            size_t wrong = 0;
            for (const std::atomic<int>& hit : hits)
                wrong += hit != 1;
            EXPECT_EQ(wrong, 0u) << count << " on " << threads << " threads";
            EXPECT_EQ(emptyChunks, 0);
        }
    Parallel::SetThreadCount(0);
    EXPECT_EQ(Parallel::ThreadCount(), std::max(1u, std::thread::hardware_concurrency()));
}

// Below minPerThread per thread the whole range runs on the calling thread, in one call.
TEST(ParallelTest, SmallRangesRunOnTheCallingThread)
{
    Parallel::SetThreadCount(4);
    const std::thread::id caller = std::this_thread::get_id();
    int calls = 0;
    Parallel::For(
        30,
        [&](size_t begin, size_t end)
        {
            ++calls;
            EXPECT_EQ(begin, 0u);
            EXPECT_EQ(end, 30u);
            EXPECT_EQ(std::this_thread::get_id(), caller);
        },
        16);
    Parallel::For(0, [&](size_t, size_t) { ++calls; });
    Parallel::SetThreadCount(0);
    EXPECT_EQ(calls, 1);
}
} // namespace
