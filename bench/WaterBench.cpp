// Times terrain/Water.cpp at 1025 x 1025: a pour on flat ground (the flood covers the grid), the
// outline pass over sparse and dense water, and the plane build when every pixel is water, on one
// thread and on all. The plain outline loop (25 pixels around each full pixel) is timed beside it.
#include "engine/Parallel.h"
#include "terrain/Water.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

namespace
{
constexpr uint32_t kSide = 1025;
constexpr size_t kCount = size_t{kSide} * kSide;

void SetThreads(benchmark::State& state)
{
    Parallel::SetThreadCount(static_cast<unsigned>(state.range(0)));
}

void BM_PourFlat(benchmark::State& state)
{
    const std::vector<uint8_t> heights(kCount, 0);
    std::vector<uint8_t> watermap(4 * kCount, 0);
    for (auto _ : state)
    {
        std::fill(watermap.begin(), watermap.end(), 0);
        Water::Pour(heights.data(), watermap.data(), kSide, kSide, kCount / 2);
        benchmark::DoNotOptimize(watermap.data());
    }
}
BENCHMARK(BM_PourFlat)->Unit(benchmark::kMillisecond);

// A pour next to a lake standing higher than the start: the level rises at once, so every repeated
// visit must look at its neighbours again.
void BM_PourBesideHigherWater(benchmark::State& state)
{
    std::vector<uint8_t> heights(kCount, 10);
    std::vector<uint8_t> watermap(4 * kCount, 0);
    const uint32_t start = kCount / 2;
    heights[start + 1] = 20;
    std::memcpy(&watermap[4 * (start + 1)], Water::kFullWater.data(), 4);
    const std::vector<uint8_t> initial = watermap;
    for (auto _ : state)
    {
        watermap = initial;
        Water::Pour(heights.data(), watermap.data(), kSide, kSide, start);
        benchmark::DoNotOptimize(watermap.data());
    }
}
BENCHMARK(BM_PourBesideHigherWater)->Unit(benchmark::kMillisecond);

// Full water at one pixel in oneIn, at random.
std::vector<uint8_t> ScatteredWater(int64_t oneIn)
{
    std::vector<uint8_t> watermap(4 * kCount, 0);
    std::mt19937 random(3);
    for (size_t k = 0; k < kCount; ++k)
        if (random() % static_cast<uint32_t>(oneIn) == 0)
            std::memcpy(&watermap[4 * k], Water::kFullWater.data(), 4);
    return watermap;
}

// Arguments: threads (0 = all), one full pixel in how many.
void BM_Outline(benchmark::State& state)
{
    SetThreads(state);
    const std::vector<uint8_t> initial = ScatteredWater(state.range(1));
    std::vector<uint8_t> watermap;
    for (auto _ : state)
    {
        state.PauseTiming();
        watermap = initial;
        state.ResumeTiming();
        Water::Outline(watermap.data(), kSide, kSide);
        benchmark::DoNotOptimize(watermap.data());
    }
    Parallel::SetThreadCount(0);
}
BENCHMARK(BM_Outline)
    ->Args({1, 16})
    ->Args({0, 16})
    ->Args({1, 2})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond);

void BM_OutlinePlainLoop(benchmark::State& state)
{
    const std::vector<uint8_t> initial = ScatteredWater(state.range(0));
    std::vector<uint8_t> watermap;
    auto isFull = [&](size_t k) { return std::memcmp(&watermap[4 * k], Water::kFullWater.data(), 4) == 0; };
    for (auto _ : state)
    {
        state.PauseTiming();
        watermap = initial;
        state.ResumeTiming();
        for (int i = 0; i < static_cast<int>(kSide); ++i)
            for (int j = 0; j < static_cast<int>(kSide); ++j)
                if (isFull(size_t(i) * kSide + j))
                    for (int di = -2; di <= 2; ++di)
                        for (int dj = -2; dj <= 2; ++dj)
                        {
                            const int ni = i + di, nj = j + dj;
                            if (ni < 0 || nj < 0 || ni >= int(kSide) || nj >= int(kSide)) continue;
                            const size_t n = size_t(ni) * kSide + nj;
                            if (!isFull(n)) std::memcpy(&watermap[4 * n], Water::kEdgeWater.data(), 4);
                        }
        benchmark::DoNotOptimize(watermap.data());
    }
}
BENCHMARK(BM_OutlinePlainLoop)->Arg(16)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_BuildPlaneAllWater(benchmark::State& state)
{
    SetThreads(state);
    std::vector<uint8_t> watermap(4 * kCount);
    for (size_t k = 0; k < kCount; ++k)
        std::memcpy(&watermap[4 * k], Water::kFullWater.data(), 4);
    std::vector<float> positions(3 * kCount, 1.0f);
    for (auto _ : state)
    {
        Water::PlaneMesh mesh =
            Water::BuildPlane(watermap.data(), positions.data(), kSide, kSide, 1.0f, 0.0f);
        benchmark::DoNotOptimize(mesh.indices.data());
    }
    Parallel::SetThreadCount(0);
}
BENCHMARK(BM_BuildPlaneAllWater)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
