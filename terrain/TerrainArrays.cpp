#include "terrain/TerrainArrays.h"

#include "engine/LargeArrays.h"
#include "engine/Log.h"
#include "engine/Parallel.h"
#include "terrain/Generators.h"
#include "terrain/TerrainGrid.h"

#include <algorithm>
#include <cmath>
#include <chrono>
#include <future>

namespace
{
// Runs work on a thread of its own when there is a second core, otherwise when waited for; get()
// waits and passes its exception on (and the future's destructor waits too).
template <typename Work> std::future<void> Beside(Work work)
{
    return std::async(Parallel::ThreadCount() > 1 ? std::launch::async : std::launch::deferred,
                      std::move(work));
}

// The size checks of Terrain::BuildMesh on the arrays: sizes, the flat height range and, for an
// accepted grid, the vertex distance and count.
bool AcceptGrid(TerrainArrays& a, uint32_t width, uint32_t height, float vertexDistance)
{
    a.width = width;
    a.height = height;
    a.minHeight = 0.0f;
    a.maxHeight = 0.0f;
    if (width == 0 || height == 0) return false;
    if (!GridCountsFit(width, height))
    {
        a.vertexCount = 0; // an empty terrain, whose counts hold no wrapped product
        a.indexCount = 0;
        return false;
    }
    a.vertexDistance = vertexDistance;
    a.vertexCount = width * height;
    return true;
}
} // namespace

bool GridCountsFit(uint32_t width, uint32_t height)
{
    const uint64_t indexTotal = (uint64_t{width} - 1) * (uint64_t{height} - 1) * 6;
    if (uint64_t{width} * height * 3 > UINT32_MAX || indexTotal > UINT32_MAX)
    {
        Log::Error("Terrain {} x {} is too large: its vertex or index count does not fit 32 bits.", width,
                   height);
        return false;
    }
    return true;
}

bool TerrainArrays::Generate(uint32_t width, uint32_t height, float vertexDistance,
                             Terrain::Generator generator, float parameter1, float parameter2,
                             uint32_t iterations, bool derive, TerrainArrays& out,
                             const TerrainBuildProgress& progress)
{
    const auto step = [&progress](float fraction, std::string_view text)
    { return !progress || progress(fraction, text); };
    TerrainArrays a;
    a.width = width;
    a.height = height;
    a.vertexCount = width * height;
    a.vertexDistance = vertexDistance;
    a.generatorRecord = {generator, parameter1, parameter2, iterations, 0, false};

    if (generator == Terrain::Generator::DiamondSquare)
    {
        if (width != height)
        {
            Log::Warn(
                "Terrain created with the diamond square algorithm cannot be of different width and height.");
            out = std::move(a);
            return true;
        }
        if (!Generators::IsDiamondSquareSize(width, height))
            Log::Error(
                "Tried to generate diamond square with wrong diameters. Diameter = {} (Has to be 2^n + 1)",
                width);
    }
    if (!AcceptGrid(a, width, height, vertexDistance))
    {
        out = std::move(a);
        return true;
    }
    if (!step(0.0f, "Laying the grid")) return false;

    // The flat grid, the generator's heights added to it and the shift to zero, as BuildMesh,
    // AddHeights and ShiftHeightsToZero do them, but with every array written once: the generator
    // fills a scratch array and the positions are then written once with their final heights.
    // Texture coordinates and triangles do not depend on the heights; they are built beside the
    // generator (and stopped with it).
    TerrainGrid::FillControl texCoordFill;
    TerrainGrid::FillControl indexFill;
    std::future<void> grid = Beside(
        [&a, &texCoordFill, &indexFill]
        {
            TerrainGrid::GridTexCoords(a.width, a.height, a.texCoords, &texCoordFill);
            TerrainGrid::GridIndices(a.width, a.height, a.indices, &indexFill);
        });
    const auto stop = [&]
    {
        texCoordFill.stop = true;
        indexFill.stop = true;
        return false; // the future's destructor waits for the grid, which stops at its next look
    };
    const size_t count = a.vertexCount;
    std::unique_ptr<float[]> generated;
    std::vector<float> faultArray;
    const float* heights = nullptr;
    // The generator is most of the work: it reports from 2 % to 55 %.
    const auto generatorStep = [&step](std::string_view text)
    { return [&step, text](float done) { return step(0.02f + 0.53f * done, text); }; };
    switch (generator)
    {
    case Terrain::Generator::Flat:
        break;
    case Terrain::Generator::DiamondSquare:
    {
        if (!step(0.02f, "Diamond-square")) return stop();
        generated.reset(new float[count]); // diamond-square writes every point of an accepted size
        LargeArrays::AdviseHugePages(generated.get(), count * sizeof(float));
        GeneratorRandom random;
        a.generatorRecord.seed = random.seed; // what a project needs to rebuild the same heights
        bool stopped = false;
        const auto progressOf = generatorStep("Diamond-square");
        if (Generators::DiamondSquare(width, height, parameter1, parameter2, random, generated.get(), 1,
                                      [&](float done) { return !(stopped = !progressOf(done)); }))
            heights = generated.get();
        else if (stopped)
            return stop();
        else
            Log::Error(
                "Diamond square needs a square grid of side 2^n + 1, not {} x {}: the terrain stays flat.",
                width, height);
        break;
    }
    case Terrain::Generator::RandomFault:
    {
        if (!step(0.02f, "Random fault")) return stop();
        GeneratorRandom random;
        a.generatorRecord.seed = random.seed;
        if (!Generators::RandomFault(width, height, parameter1, parameter2, iterations, random, faultArray,
                                     generatorStep("Random fault")))
            return stop();
        heights = faultArray.data();
        break;
    }
    }
    // The triangles may still be on their way (a busy machine, or a flat terrain with nothing before
    // them): their progress shows, and a stop request is heard, while waiting.
    const double gridElements =
        static_cast<double>(2 * count + 6 * (size_t{width} - 1) * (size_t{height} - 1));
    while (grid.wait_for(std::chrono::milliseconds(20)) == std::future_status::timeout) // not deferred
    {
        const double done = static_cast<double>(texCoordFill.done + indexFill.done);
        if (!step(0.55f + 0.05f * static_cast<float>(done / gridElements), "Laying the grid")) return stop();
    }
    if (!step(0.6f, "Heights")) return stop();
    float shift = 0.0f;
    if (heights != nullptr)
    {
        // The range AddHeights finds, then ShiftHeightsToZero.
        TerrainGrid::HeightRange range;
        for (size_t k = 0; k < count; ++k)
            range.Add(0.0f + 1.0f * heights[k]);
        a.minHeight = range.min;
        a.maxHeight = range.max;
        shift = a.minHeight;
        a.maxHeight -= a.minHeight;
        a.minHeight = 0.0f;
    }
    TerrainGrid::GridPositions(width, height, vertexDistance, heights, shift, a.positions);
    generated.reset();
    faultArray = std::vector<float>();
    grid.get();
    a.indexCount = static_cast<uint32_t>(a.indices.size());
    a.gridIndices = true;
    if (!step(0.7f, "Base heights")) return false;
    LargeArrays::Copy(a.basePositions, a.positions);
    a.hasGrid = true;
    if (derive && !a.ComputeDerived([&step](float done) { return step(0.75f + 0.25f * done, "Normals"); }))
        return false;
    if (!step(1.0f, "Done")) return false;
    out = std::move(a);
    return true;
}

TerrainArrays TerrainArrays::Generate(uint32_t width, uint32_t height, float vertexDistance,
                                      Terrain::Generator generator, float parameter1, float parameter2,
                                      uint32_t iterations)
{
    TerrainArrays arrays;
    Generate(width, height, vertexDistance, generator, parameter1, parameter2, iterations, false, arrays);
    return arrays;
}

bool TerrainArrays::FromHeights(uint32_t width, uint32_t height, float vertexDistance, const float* heights,
                                TerrainArrays& out)
{
    TerrainArrays a;
    a.vertexDistance = vertexDistance;
    if (!AcceptGrid(a, width, height, vertexDistance)) return false;
    // The flat grid with the heights added (0 + 1 * h, nothing shifted), as BuildMesh and AddHeights
    // leave it, and the range AddHeights finds.
    std::future<void> grid = Beside(
        [&a]
        {
            TerrainGrid::GridTexCoords(a.width, a.height, a.texCoords);
            TerrainGrid::GridIndices(a.width, a.height, a.indices);
        });
    TerrainGrid::GridPositions(width, height, vertexDistance, heights, 0.0f, a.positions);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(a.positions.data(), a.vertexCount);
    a.minHeight = range.min;
    a.maxHeight = range.max;
    LargeArrays::Copy(a.basePositions, a.positions);
    grid.get();
    a.indexCount = static_cast<uint32_t>(a.indices.size());
    a.gridIndices = true;
    a.hasGrid = true;
    out = std::move(a);
    return true;
}

bool TerrainArrays::ComputeDerived(const std::function<bool(float)>& progress)
{
    const size_t count = static_cast<size_t>(width) * height;
    if (!hasGrid || count == 0 || positions.size() < 3 * count) return true;
    heightmapPixels = LargeArrays::UninitializedBytes(count); // every byte written below
    TerrainGrid::HeightmapBytes(positions.data(), count, minHeight, maxHeight, heightmapPixels.get());
    normalPixels = LargeArrays::UninitializedBytes(3 * count);
    if (TerrainGrid::VertexNormals(positions.data(), width, height, normals, normalPixels.get(), progress))
        return true;
    // Stopped: nothing half made is left for the Terrain to take.
    normals = std::vector<float>();
    heightmapPixels.reset();
    normalPixels.reset();
    return false;
}

void TerrainBounds(const float* positions, size_t vertexCount, glm::vec3& low, glm::vec3& high)
{
    float lo[3] = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
    float hi[3] = {-3.4028235e38f, -3.4028235e38f, -3.4028235e38f};
    for (size_t k = 0; k < vertexCount; ++k)
        for (int c = 0; c < 3; ++c)
        {
            const float v = positions[3 * k + c];
            if (!std::isfinite(v)) continue;
            lo[c] = std::min(lo[c], v);
            hi[c] = std::max(hi[c], v);
        }
    for (int c = 0; c < 3; ++c)
        if (lo[c] > hi[c]) lo[c] = hi[c] = 0.0f;
    low = glm::vec3(lo[0], lo[1], lo[2]);
    high = glm::vec3(hi[0], hi[1], hi[2]);
}
