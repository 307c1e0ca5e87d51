// Times sculpting and its undo as the editor runs them, with every upload to GL finished (glFinish):
//   - on 4097 x 4097: one dab of radius 64 vertices with its mesh, normal and image updates and the
//     tiles the undo history keeps, beside the dab's arithmetic alone; the undo of a stroke of 200 such
//     dabs, 8 vertices apart (and the history it holds), once for a stroke inside the height range and
//     once for one that raises the terrain's highest point, whose undo makes the heightmap image again;
//   - on 1025 x 1025: the undo of an apply of the layers with an erosion entry (the arrays it replaced
//     swapped back), which must not hold the window for more than a frame.
// Needs a display (run it under xvfb-run -a).
#include "editor/Changes.h"
#include "editor/History.h"
#include "terrain/Heightmap.h"
#include "terrain/Sculpt.h"
#include "terrain/Terrain.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace
{
constexpr uint32_t kSide = 4097;
constexpr float kRadius = 64.0f; // vertices, at a vertex distance of 1
constexpr int kStrokeDabs = 200;

// Rolling hills (their highest point at i = 524, j = 0) under a sculpt entry, made once: the grid
// takes a few seconds.
Terrain& Hills()
{
    static std::unique_ptr<Terrain> terrain;
    if (terrain) return *terrain;
    terrain = std::make_unique<Terrain>(kSide, kSide, 1.0f, Terrain::Generator::Flat, 0.0f, 0.0f, 0);
    for (size_t i = 0; i < kSide; ++i)
        for (size_t j = 0; j < kSide; ++j)
            terrain->basePositions[3 * (i * kSide + j) + 1] =
                80.0f * std::sin(0.003f * static_cast<float>(i)) * std::cos(0.005f * static_cast<float>(j));
    terrain->heightmaps.push_back(Terrain::Heightmap::NewSculpt(kSide, kSide));
    terrain->ApplyHeightmaps();
    return *terrain;
}

Sculpt::Brush RaiseBrush()
{
    Sculpt::Brush brush;
    brush.radius = kRadius;
    brush.strength = 0.5f;
    brush.falloff = 0.5f;
    return brush;
}

// A dab as Commands::SculptDab runs it: the history keeps the tiles first, then the terrain changes.
void Dab(History& history, uint64_t& revision, Terrain& terrain, const Sculpt::Brush& brush, float i, float j)
{
    Terrain::Heightmap& entry = *terrain.heightmaps.back();
    const Sculpt::GridFrame frame = terrain.Frame();
    Sculpt::Dab dab;
    dab.x = frame.x0 + i;
    dab.z = frame.z0 + j;
    const TerrainGrid::Region region =
        Sculpt::DabRegion(terrain.width, terrain.height, frame, dab.x, dab.z, brush.radius);
    history.Record("Sculpt stroke", {Keep::SculptStroke(terrain, entry, region)}, revision, true);
    terrain.SculptDab(entry, brush, dab);
    history.Applied(++revision);
}

void BM_SculptDabWithMeshUpdate(benchmark::State& state)
{
    Terrain& terrain = Hills();
    const Sculpt::Brush brush = RaiseBrush();
    History history;
    uint64_t revision = 0;
    size_t n = 0;
    for (auto _ : state)
    {
        n += 8;
        Dab(history, revision, terrain, brush, 1000.0f + static_cast<float>(n % 2000), 2048.0f);
        glFinish();
        if (n % 1600 == 0)
        {
            state.PauseTiming();
            history.Seal(); // a stroke of 200 dabs ends
            state.ResumeTiming();
        }
    }
    history.Seal();
}
BENCHMARK(BM_SculptDabWithMeshUpdate)->Unit(benchmark::kMillisecond);

void BM_SculptDabArithmeticOnly(benchmark::State& state)
{
    Terrain& terrain = Hills();
    Terrain::Heightmap& entry = *terrain.heightmaps.back();
    const Sculpt::Brush brush = RaiseBrush();
    const Sculpt::GridFrame frame = terrain.Frame();
    size_t n = 0;
    for (auto _ : state)
    {
        n += 8;
        Sculpt::Dab dab;
        dab.x = frame.x0 + 1000.0f + static_cast<float>(n % 2000);
        dab.z = frame.z0 + 2048.0f;
        Sculpt::ApplyDab(brush, dab, terrain.positions.data(), entry.sculpt.data(), kSide, kSide, frame);
        benchmark::DoNotOptimize(entry.sculpt.data());
    }
}
BENCHMARK(BM_SculptDabArithmeticOnly)->Unit(benchmark::kMillisecond);

// A stroke of 200 dabs along j from i = 1000, 8 vertices apart; its undo timed, its redo not.
void StrokeUndo(benchmark::State& state, float j, float strength)
{
    Terrain& terrain = Hills();
    Sculpt::Brush brush = RaiseBrush();
    brush.strength = strength;
    History history;
    uint64_t revision = 0;
    for (int n = 0; n < kStrokeDabs; ++n)
        Dab(history, revision, terrain, brush, 300.0f + 8.0f * static_cast<float>(n), j);
    history.Seal();
    glFinish();
    state.counters["history MB"] = static_cast<double>(history.Bytes()) / (1024.0 * 1024.0);
    for (auto _ : state)
    {
        history.Undo(revision);
        glFinish();
        state.PauseTiming();
        history.Redo(revision);
        glFinish();
        state.ResumeTiming();
    }
    history.Undo(revision); // the hills as they were, for the next benchmark
}

void BM_UndoStroke200InsideTheRange(benchmark::State& state)
{
    StrokeUndo(state, 2048.0f, 0.5f);
}
BENCHMARK(BM_UndoStroke200InsideTheRange)->Unit(benchmark::kMillisecond);

void BM_UndoStroke200RaisingTheHighestPoint(benchmark::State& state)
{
    StrokeUndo(state, 0.0f, 1.0f);
}
BENCHMARK(BM_UndoStroke200RaisingTheHighestPoint)->Unit(benchmark::kMillisecond);

// 1025 x 1025 hills with a noise layer and a hydraulic erosion entry; the apply's arrays as the
// editor's job hands them over.
void BM_UndoApplyLayersWithErosion1025(benchmark::State& state)
{
    constexpr uint32_t side = 1025;
    Terrain terrain(side, side, 1.0f, Terrain::Generator::Flat, 0.0f, 0.0f, 0);
    auto noise = std::make_shared<Terrain::Heightmap>(side, side);
    noise->settings.power = 40.0f;
    noise->settings.fractalType = 1;
    noise->Update();
    terrain.heightmaps.push_back(noise);
    terrain.heightmaps.push_back(Terrain::Heightmap::NewErosion(side, side));
    terrain.heightmaps.back()->settings.erosion.hydraulic.droplets = 50000;
    Terrain::LayeredHeights heights;
    if (!terrain.LayerHeights(heights, {}))
    {
        state.SkipWithError("the layers could not be applied");
        return;
    }
    History history;
    uint64_t revision = 0;
    auto change = std::make_unique<Keep::HeightsChange>(terrain, std::move(heights));
    Keep::HeightsChange* swap = change.get();
    history.Record("Apply layers", {Keep::Heights(terrain, change)}, revision);
    swap->Swap();
    history.Applied(++revision);
    history.Seal();
    glFinish();
    state.counters["history MB"] = static_cast<double>(history.Bytes()) / (1024.0 * 1024.0);
    for (auto _ : state)
    {
        history.Undo(revision);
        glFinish();
        state.PauseTiming();
        history.Redo(revision);
        glFinish();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoApplyLayersWithErosion1025)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    if (!glfwInit())
    {
        std::fprintf(stderr, "SculptBench needs a display (run it under xvfb-run -a)\n");
        return 1;
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(640, 360, "SculptBench", nullptr, nullptr);
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
