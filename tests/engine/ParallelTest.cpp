#include "engine/Parallel.h"
#include "tests/support/TestCommon.h"

#include <atomic>

#include <sys/resource.h>

namespace
{
struct ThreadCountScope
{
    explicit ThreadCountScope(unsigned count) { Parallel::SetThreadCount(count); }
    ~ThreadCountScope() { Parallel::SetThreadCount(0); }
};

using Chunks = std::set<std::pair<size_t, size_t>>;

// The chunks the body was called with; none when an index was not visited exactly once.
Chunks RecordChunks(size_t count, size_t minPerThread)
{
    Chunks chunks;
    std::mutex mutex;
    std::vector<int> visits(count, 0);
    Parallel::For(
        count,
        [&](size_t begin, size_t end)
        {
            for (size_t k = begin; k < end; ++k)
                ++visits[k]; // chunks never overlap, so no two threads touch one entry
            std::lock_guard<std::mutex> lock(mutex);
            chunks.emplace(begin, end);
        },
        minPerThread);
    return visits == std::vector<int>(count, 1) ? chunks : Chunks();
}

// Counts that do not divide by the thread count: every index exactly once, in the contiguous
// ceil(count / threads) chunks the results were always computed in.
TEST(ParallelTest, UnevenRangesAreCoveredOnceInTheSameChunks)
{
    const std::tuple<unsigned, size_t, size_t, Chunks> cases[] = {
        {4, 10, 1, {{0, 3}, {3, 6}, {6, 9}, {9, 10}}},
        {4, 9, 1, {{0, 3}, {3, 6}, {6, 9}}}, // fewer chunks than threads
        {3, 100, 1, {{0, 34}, {34, 68}, {68, 100}}},
        {8, 5, 1, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}}},
        {7, 1000, 300, {{0, 334}, {334, 668}, {668, 1000}}}, // minPerThread allows three threads
        {4, 100, 200, {{0, 100}}},
        {1, 77, 1, {{0, 77}}},
    };
    for (const auto& [threads, count, minPerThread, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << threads << " threads, " << count << " indices");
        ThreadCountScope threadCount(threads);
        EXPECT_EQ(RecordChunks(count, minPerThread), expected);
    }
}

TEST(ParallelTest, AWorkersExceptionReachesTheCallerAndThePoolCarriesOn)
{
    ThreadCountScope threads(4);
    for (size_t throwingChunk : {0u, 1u, 3u})
    {
        try
        {
            Parallel::For(
                400,
                [&](size_t begin, size_t)
                {
                    if (begin == throwingChunk * 100)
                        throw std::runtime_error("chunk " + std::to_string(begin / 100));
                },
                1);
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_EQ(std::string(error.what()), "chunk " + std::to_string(throwingChunk));
        }
        EXPECT_EQ(RecordChunks(400, 1).size(), 4u);
    }
}

// A body that splits work again (from a worker or from the calling thread) does not wait for itself.
TEST(ParallelTest, CallsFromInsideABodyRunToTheEnd)
{
    ThreadCountScope threads(3);
    std::vector<std::atomic<int>> visits(90 * 30);
    Parallel::For(
        90,
        [&](size_t begin, size_t end)
        {
            for (size_t row = begin; row < end; ++row)
                Parallel::For(
                    30,
                    [&](size_t b, size_t e)
                    {
                        for (size_t k = b; k < e; ++k)
                            ++visits[row * 30 + k];
                    },
                    1);
        },
        1);
    for (const auto& v : visits)
        ASSERT_EQ(v.load(), 1);
}

// In a child process that may not start threads, the calling thread runs every chunk.
TEST(ParallelTest, WithoutThreadsEveryChunkRunsOnTheCallingThread)
{
    const auto body = []
    {
        const rlimit none{0, 0};
        if (setrlimit(RLIMIT_NPROC, &none) != 0) return 91;
        Parallel::SetThreadCount(4);
        return RecordChunks(1000, 1).size() == 4 ? 0 : 1;
    };
    EXPECT_EQ(testsupport::RunInChild(body, true), 0); // root ignores the process limit
}
} // namespace
