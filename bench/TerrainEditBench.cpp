// Times the terrain edits of the texture and water tools at 1025 x 1025 as the editor runs them,
// each with its upload to GL (glFinish, so the upload is done and not just queued): the band textures
// from four gradients, one brush dab of size 64 (beside the same dab without its upload), a pour on
// flat ground, the outline, and the water plane of a grid that is all water. And the layer panel's
// realtime update at 1025 and 2049: one noise layer applied as the editor applies it
// (Commands::ApplyLayers, through the job runner), beside the same apply in place on this thread.
// Needs a display (run it under xvfb-run -a).
#include "editor/Editor.h"
#include "render/Texture.h"
#include "terrain/Brush.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "terrain/Water.h"
#include "terrain/WaterPlane.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
constexpr uint32_t kSide = 1025;
constexpr size_t kPixels = size_t{kSide} * kSide;

std::unique_ptr<Terrain> FlatTerrain()
{
    return std::make_unique<Terrain>(kSide, kSide, 1.0f, Terrain::Generator::Flat, 0.0f, 0.0f, 0);
}

// Rolling hills, so that the height and slope bands all have pixels.
std::unique_ptr<Terrain> HillTerrain()
{
    auto terrain = FlatTerrain();
    std::vector<float> heights(kPixels);
    for (size_t i = 0; i < kSide; ++i)
        for (size_t j = 0; j < kSide; ++j)
            heights[i * kSide + j] =
                40.0f * std::sin(0.013f * static_cast<float>(i)) * std::cos(0.021f * static_cast<float>(j));
    terrain->AddHeights(heights.data(), 1.0f);
    terrain->ShiftHeightsToZero();
    terrain->heightmapTexture->Update(terrain->CreateHeightmapBuffer());
    terrain->RecalculateNormals();
    const int32_t spans[4] = {60, 70, 60, 65};
    const int32_t decays[4] = {0, 8, 12, 5};
    for (int g = 0; g < 4; ++g)
    {
        auto gradient = std::make_unique<Gradient>();
        gradient->heightSpan = spans[g];
        gradient->decay = decays[g];
        gradient->slopeSpan = 22.5f;
        gradient->color = {0.2f * static_cast<float>(g), 0.5f, 0.7f, 1.0f};
        terrain->gradients.push_back(std::move(gradient));
    }
    return terrain;
}

void BM_GenerateDiffuseByHeight(benchmark::State& state)
{
    const auto terrain = HillTerrain();
    for (auto _ : state)
    {
        terrain->GenerateDiffuseByHeight();
        glFinish();
    }
}
BENCHMARK(BM_GenerateDiffuseByHeight)->Unit(benchmark::kMillisecond);

void BM_GenerateDiffuseBySlope(benchmark::State& state)
{
    const auto terrain = HillTerrain();
    for (auto _ : state)
    {
        terrain->GenerateDiffuseBySlope();
        glFinish();
    }
}
BENCHMARK(BM_GenerateDiffuseBySlope)->Unit(benchmark::kMillisecond);

void BrushDab(benchmark::State& state, bool upload)
{
    Texture diffuse(kSide, kSide, 3, false, GL_LINEAR);
    Brush brush;
    brush.shape = BrushShape::Circle;
    brush.size = 64;
    brush.pickColor = {0.3f, 0.6f, 0.9f, 1.0f};
    float x = 100.0f;
    for (auto _ : state)
    {
        x = x > 900.0f ? 100.0f : x + 7.0f;
        if (upload)
        {
            brush.Paint(diffuse, {x, 512.5f});
            glFinish();
        }
        else
        {
            brush.PaintBuffer(diffuse.data.get(), kSide, kSide, 3, {x, 512.5f});
        }
        benchmark::DoNotOptimize(diffuse.data.get());
    }
}
void BM_BrushDab64WithUpload(benchmark::State& state)
{
    BrushDab(state, true);
}
BENCHMARK(BM_BrushDab64WithUpload)->Unit(benchmark::kMillisecond);
void BM_BrushDab64BufferOnly(benchmark::State& state)
{
    BrushDab(state, false);
}
BENCHMARK(BM_BrushDab64BufferOnly)->Unit(benchmark::kMicrosecond);

void BM_PourWaterFlat(benchmark::State& state)
{
    const auto terrain = FlatTerrain();
    for (auto _ : state)
    {
        state.PauseTiming();
        std::memset(terrain->watermapTexture->data.get(), 0, 4 * kPixels);
        state.ResumeTiming();
        terrain->PourWater(kPixels / 2);
        glFinish();
    }
}
BENCHMARK(BM_PourWaterFlat)->Unit(benchmark::kMillisecond);

void BM_OutlineWater(benchmark::State& state)
{
    const auto terrain = FlatTerrain();
    terrain->PourWater(kPixels / 2);
    const std::vector<uint8_t> poured(terrain->watermapTexture->data.get(),
                                      terrain->watermapTexture->data.get() + 4 * kPixels);
    for (auto _ : state)
    {
        state.PauseTiming();
        std::memcpy(terrain->watermapTexture->data.get(), poured.data(), poured.size());
        state.ResumeTiming();
        terrain->OutlineWater();
        glFinish();
    }
}
BENCHMARK(BM_OutlineWater)->Unit(benchmark::kMillisecond);

void BM_WaterPlaneAllWater(benchmark::State& state)
{
    const auto terrain = FlatTerrain();
    for (size_t k = 0; k < kPixels; ++k)
        std::memcpy(&terrain->watermapTexture->data[4 * k], Water::kFullWater.data(), 4);
    for (auto _ : state)
    {
        terrain->waterPlane = std::make_shared<Terrain::WaterPlane>(terrain.get());
        glFinish();
        state.PauseTiming();
        terrain->waterPlane.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WaterPlaneAllWater)->Unit(benchmark::kMillisecond);

// A terrain with one noise layer of some height, as the layer panel shows it.
std::shared_ptr<Terrain> NoiseLayerTerrain(uint32_t side)
{
    auto terrain = std::make_shared<Terrain>(side, side, 1.0f, Terrain::Generator::Flat, 0.0f, 0.0f, 0);
    auto layer = std::make_shared<Terrain::Heightmap>(side, side);
    layer->settings.power = 30.0f;
    terrain->heightmaps.push_back(layer);
    return terrain;
}

void BM_ApplyLayersAsTheEditorDoes(benchmark::State& state)
{
    const auto terrain = NoiseLayerTerrain(static_cast<uint32_t>(state.range(0)));
    Editor editor; // not initialised: its commands and job runner are all this needs
    for (auto _ : state)
    {
        editor.commands.NextFrame(); // one apply a frame, as a drag runs it
        editor.commands.ApplyLayers(terrain);
        glFinish();
    }
    if (editor.session.jobs.Busy()) state.SkipWithError("the apply did not end in its frame");
}
BENCHMARK(BM_ApplyLayersAsTheEditorDoes)->Arg(1025)->Arg(2049)->Unit(benchmark::kMillisecond);

// The same apply in place on this thread: what the realtime update took before it went through the
// job runner.
void BM_ApplyLayersInPlace(benchmark::State& state)
{
    const auto terrain = NoiseLayerTerrain(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state)
    {
        terrain->ApplyHeightmaps();
        glFinish();
    }
}
BENCHMARK(BM_ApplyLayersInPlace)->Arg(1025)->Arg(2049)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    if (!glfwInit())
    {
        std::fprintf(stderr, "TerrainEditBench needs a display (run it under xvfb-run -a)\n");
        return 1;
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(640, 360, "TerrainEditBench", nullptr, nullptr);
    if (window == nullptr) return 1;
    glfwMakeContextCurrent(window);
    if (glewInit() != GLEW_OK) return 1;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
