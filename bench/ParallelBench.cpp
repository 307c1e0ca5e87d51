// Times one Parallel::For call on the worker pool against starting a thread per chunk for every call
// (the plain reference, as the function did before), for the short passes a realtime drag runs
// several times per frame.
#include "engine/Parallel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace
{
// A light pass: one multiply-add per element, like the per-vertex passes of the terrain tools.
void Pass(std::vector<float>& data, size_t begin, size_t end)
{
    for (size_t k = begin; k < end; ++k)
        data[k] = data[k] * 0.999f + 1.0f;
}

void BM_ParallelForPool(benchmark::State& state)
{
    std::vector<float> data(static_cast<size_t>(state.range(0)), 1.0f);
    for (auto _ : state)
    {
        Parallel::For(data.size(), [&](size_t begin, size_t end) { Pass(data, begin, end); });
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_ThreadPerChunkReference(benchmark::State& state)
{
    std::vector<float> data(static_cast<size_t>(state.range(0)), 1.0f);
    const size_t count = data.size();
    for (auto _ : state)
    {
        size_t threads = Parallel::ThreadCount();
        threads = std::min(threads, std::max<size_t>(1, count / 16384));
        const size_t chunk = (count + threads - 1) / threads;
        std::vector<std::thread> workers;
        for (size_t t = 1; t < threads; ++t)
        {
            const size_t begin = std::min(count, t * chunk);
            const size_t end = std::min(count, begin + chunk);
            if (begin < end) workers.emplace_back([&, begin, end] { Pass(data, begin, end); });
        }
        Pass(data, 0, std::min(count, chunk));
        for (std::thread& worker : workers)
            worker.join();
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// 129 x 129 to 1025 x 1025 vertices.
BENCHMARK(BM_ParallelForPool)
    ->Arg(129 * 129)
    ->Arg(513 * 513)
    ->Arg(1025 * 1025)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ThreadPerChunkReference)
    ->Arg(129 * 129)
    ->Arg(513 * 513)
    ->Arg(1025 * 1025)
    ->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
