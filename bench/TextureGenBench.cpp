// Times terrain/TextureGen.cpp at 1025 x 1025 with four gradients: height bands (one normal draw per
// pixel per gradient, so the draws alone are timed beside it, by the library's engine and sampler and
// by the standard library's, and the engines' raw outputs too) and slope bands, on one thread and on all,
// against the plain loop of one pass per gradient with an arc cosine per pixel.
#include "engine/Parallel.h"
#include "terrain/TextureGen.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>

namespace
{
constexpr size_t kSide = 1025;
constexpr size_t kPixels = kSide * kSide;

TextureGen::GradientList FourGradients()
{
    TextureGen::GradientList list;
    const int32_t spans[4] = {60, 70, 60, 65};
    const int32_t decays[4] = {0, 8, 12, 5};
    for (int g = 0; g < 4; ++g)
    {
        auto gradient = std::make_unique<Gradient>();
        gradient->heightSpan = spans[g];
        gradient->decay = decays[g];
        gradient->slopeSpan = 22.5f;
        gradient->color = {0.2f * static_cast<float>(g), 0.5f, 0.7f, 1.0f};
        gradient->specular = 0.1f * static_cast<float>(g);
        list.push_back(std::move(gradient));
    }
    return list;
}

std::vector<uint8_t> RollingHeights()
{
    std::vector<uint8_t> heights(kPixels);
    for (size_t i = 0; i < kSide; ++i)
        for (size_t j = 0; j < kSide; ++j)
            heights[i * kSide + j] =
                static_cast<uint8_t>(127.5 + 127.0 * std::sin(0.013 * static_cast<double>(i)) *
                                                 std::cos(0.021 * static_cast<double>(j)));
    return heights;
}

std::vector<float> RollingNormals()
{
    std::vector<float> normals(3 * kPixels);
    for (size_t k = 0; k < kPixels; ++k)
    {
        const float tilt = static_cast<float>(k % 9001) * 0.0001745f; // 0 .. 90 degrees
        normals[3 * k] = std::sin(tilt);
        normals[3 * k + 1] = std::cos(tilt);
        normals[3 * k + 2] = 0.0f;
    }
    return normals;
}

void BM_PaintByHeight(benchmark::State& state)
{
    const auto gradients = FourGradients();
    const std::vector<uint8_t> heights = RollingHeights();
    std::vector<uint8_t> diffuse(3 * kPixels);
    std::vector<uint8_t> specular(kPixels);
    TextureGen::Mt19937 engine(1);
    for (auto _ : state)
    {
        TextureGen::PaintByHeight(gradients, heights.data(), kPixels, engine, diffuse.data(),
                                  specular.data());
        benchmark::DoNotOptimize(diffuse.data());
    }
}
BENCHMARK(BM_PaintByHeight)->Unit(benchmark::kMillisecond);

template <typename Engine, typename Normal> void NormalDraws(benchmark::State& state, Normal normal)
{
    Engine engine(1);
    for (auto _ : state)
    {
        double sum = 0.0;
        for (size_t d = 0; d < 4 * kPixels; ++d)
            sum += normal(engine);
        benchmark::DoNotOptimize(sum);
    }
}
void BM_NormalDrawsSampler(benchmark::State& state)
{
    NormalDraws<TextureGen::Mt19937>(state, TextureGen::NormalSampler());
}
BENCHMARK(BM_NormalDrawsSampler)->Unit(benchmark::kMillisecond);
void BM_NormalDrawsStandardLibrary(benchmark::State& state)
{
    NormalDraws<std::mt19937>(state, std::normal_distribution<double>(0.0, 1.0));
}
BENCHMARK(BM_NormalDrawsStandardLibrary)->Unit(benchmark::kMillisecond);

template <typename Engine> void EngineOutputs(benchmark::State& state)
{
    Engine engine(1);
    for (auto _ : state)
    {
        uint32_t sum = 0;
        for (size_t d = 0; d < 4 * kPixels; ++d)
            sum += static_cast<uint32_t>(engine());
        benchmark::DoNotOptimize(sum);
    }
}
void BM_EngineOutputsTwister(benchmark::State& state)
{
    EngineOutputs<TextureGen::Mt19937>(state);
}
BENCHMARK(BM_EngineOutputsTwister)->Unit(benchmark::kMillisecond);
void BM_EngineOutputsStandardLibrary(benchmark::State& state)
{
    EngineOutputs<std::mt19937>(state);
}
BENCHMARK(BM_EngineOutputsStandardLibrary)->Unit(benchmark::kMillisecond);

void BM_PaintBySlope(benchmark::State& state)
{
    Parallel::SetThreadCount(static_cast<unsigned>(state.range(0)));
    const auto gradients = FourGradients();
    const std::vector<float> normals = RollingNormals();
    std::vector<uint8_t> diffuse(3 * kPixels);
    std::vector<uint8_t> specular(kPixels);
    for (auto _ : state)
    {
        TextureGen::PaintBySlope(gradients, normals.data(), kPixels, diffuse.data(), specular.data());
        benchmark::DoNotOptimize(diffuse.data());
    }
    Parallel::SetThreadCount(0);
}
BENCHMARK(BM_PaintBySlope)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The reference: one pass per gradient, the angle computed in every pass. Checked against the
// library's bytes once.
void BM_PaintBySlopePlainLoop(benchmark::State& state)
{
    const auto gradients = FourGradients();
    const std::vector<float> normals = RollingNormals();
    std::vector<uint8_t> diffuse(3 * kPixels);
    std::vector<uint8_t> specular(kPixels);
    auto run = [&]
    {
        float threshold = 0.0f;
        for (const auto& g : gradients)
        {
            const uint8_t r = TextureGen::UnitToByte(g->color.r), gr = TextureGen::UnitToByte(g->color.g),
                          b = TextureGen::UnitToByte(g->color.b), s = TextureGen::UnitToByte(g->specular);
            for (size_t k = 0; k < kPixels; ++k)
            {
                if (TextureGen::SlopeAngle(normals[3 * k], normals[3 * k + 1], normals[3 * k + 2]) >=
                    threshold)
                {
                    diffuse[3 * k] = r;
                    diffuse[3 * k + 1] = gr;
                    diffuse[3 * k + 2] = b;
                    specular[k] = s;
                }
            }
            threshold += g->slopeSpan;
        }
    };
    run();
    std::vector<uint8_t> libraryDiffuse(3 * kPixels);
    std::vector<uint8_t> librarySpecular(kPixels);
    TextureGen::PaintBySlope(gradients, normals.data(), kPixels, libraryDiffuse.data(),
                             librarySpecular.data());
    if (libraryDiffuse != diffuse || librarySpecular != specular)
        state.SkipWithError("slope bands differ from the plain loop");
    for (auto _ : state)
    {
        run();
        benchmark::DoNotOptimize(diffuse.data());
    }
}
BENCHMARK(BM_PaintBySlopePlainLoop)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
