// Times sculpting on a 4097 x 4097 terrain as the editor runs it: one dab of radius 64 vertices with
// its mesh, normal and image updates sent to GL (glFinish, so the uploads are done and not just
// queued), beside the same dab's arithmetic alone. Needs a display (run it under xvfb-run -a).
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

// Rolling hills under a sculpt entry, made once: the grid takes a few seconds.
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

// Dabs along a line through the middle, as a stroke lays them.
Sculpt::Dab DabAt(size_t n)
{
    Sculpt::Dab dab;
    const Sculpt::GridFrame frame = Hills().Frame();
    dab.x = frame.x0 + 1000.0f + static_cast<float>(n % 2000);
    dab.z = frame.z0 + 2048.0f;
    return dab;
}

void BM_SculptDabWithMeshUpdate(benchmark::State& state)
{
    Terrain& terrain = Hills();
    Terrain::Heightmap& entry = *terrain.heightmaps.back();
    const Sculpt::Brush brush = RaiseBrush();
    size_t n = 0;
    for (auto _ : state)
    {
        terrain.SculptDab(entry, brush, DabAt(n += 8));
        glFinish();
    }
}
BENCHMARK(BM_SculptDabWithMeshUpdate)->Unit(benchmark::kMillisecond);

void BM_SculptDabArithmeticOnly(benchmark::State& state)
{
    Terrain& terrain = Hills();
    Terrain::Heightmap& entry = *terrain.heightmaps.back();
    const Sculpt::Brush brush = RaiseBrush();
    size_t n = 0;
    for (auto _ : state)
    {
        Sculpt::ApplyDab(brush, DabAt(n += 8), terrain.positions.data(), entry.sculpt.data(), kSide, kSide,
                         terrain.Frame());
        benchmark::DoNotOptimize(entry.sculpt.data());
    }
}
BENCHMARK(BM_SculptDabArithmeticOnly)->Unit(benchmark::kMillisecond);
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
