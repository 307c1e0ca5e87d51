// Times the project file (io/ProjectFile.cpp) on a 1025 x 1025 project with four noise layers, a
// painted diffuse texture and water, next to a plain reference in the same run: the same raw arrays
// written unpacked through the same atomic writer and read back with fread. Prints the file size
// against the raw arrays for a few deflate levels, then saves and opens a 4097 x 4097 project once.
// Plain timer program: each step runs a few times and the best time is printed.
#include "engine/AtomicFile.h"
#include "io/ProjectFile.h"
#include "terrain/Project.h"
#include "terrain/Water.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace
{
constexpr int kRepeats = 5;

double BestSeconds(int repeats, const std::function<void()>& step)
{
    double best = 1e300;
    for (int r = 0; r < repeats; ++r)
    {
        const auto start = std::chrono::steady_clock::now();
        step();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// A diamond-square terrain with four noise layers (two fractal), height bands painted over by hand in
// one corner, and two lakes poured and outlined.
Project MakeProject(uint32_t side)
{
    Project project;
    TerrainRecord t;
    t.name = "bench";
    t.width = side;
    t.height = side;
    t.generator = {TerrainGenerator::DiamondSquare, 40.0f, 0.6f, 0, 7};
    TerrainGrid::HeightRange range;
    TerrainRecord::GenerateBase(side, side, 1.0f, t.generator, t.basePositions, range);

    const float frequencies[4] = {0.004f, 0.01f, 0.03f, 0.08f};
    for (int l = 0; l < 4; ++l)
    {
        LayerRecord layer;
        layer.name = "Heightmap_" + std::to_string(l);
        layer.settings.seed = 11 * l;
        layer.settings.frequency = frequencies[l];
        layer.settings.power = 8.0f / static_cast<float>(l + 1);
        if (l % 2 == 1)
        {
            layer.settings.fractalType = 1;
            layer.settings.fractalTypeName = "Fractial Brown Motion";
        }
        t.layers.push_back(std::move(layer));
    }
    t.gradients = {Gradient{85, 0, 30.0f, {0.2f, 0.5f, 0.1f, 1.0f}, 0.1f},
                   Gradient{85, 10, 30.0f, {0.5f, 0.4f, 0.3f, 1.0f}, 0.3f},
                   Gradient{85, 10, 30.0f, {0.9f, 0.9f, 0.95f, 1.0f}, 0.8f}};
    t.bands = {BandMode::Height, 99};
    t.Complete();
    // What a project keeps: the positions follow the layers, the normals and triangles are made again.
    t.positions = std::vector<float>();
    t.normals = std::vector<float>();
    t.indices = std::vector<uint32_t>();
    t.texCoords = std::vector<float>();
    for (LayerRecord& layer : t.layers)
        layer.smoothLevels = std::vector<float>();

    // Paint: a disc of another colour in one corner of the diffuse texture.
    for (uint32_t i = 0; i < side / 4; ++i)
        for (uint32_t j = 0; j < side / 4; ++j)
            if (i * i + j * j < (side / 5) * (side / 5))
            {
                uint8_t* p = &t.diffuse.pixels[3 * (size_t{i} * side + j)];
                p[0] = 200, p[1] = 30, p[2] = 30;
            }
    Water::Pour(t.heightmap.pixels.get(), t.watermap.pixels.get(), side, side, side / 3 * side + side / 3);
    Water::Pour(t.heightmap.pixels.get(), t.watermap.pixels.get(), side, side,
                2 * side / 3 * side + side / 2);
    Water::Outline(t.watermap.pixels.get(), side, side);
    t.waterPlaneBuilt = true;

    project.terrains.push_back(std::move(t));
    project.cameras.push_back(ProjectCamera{});
    ProjectScene scene;
    scene.name = "Scene 0";
    scene.camera = 0;
    scene.terrain = 0;
    project.scenes.push_back(scene);
    project.sceneCounter = 1;
    return project;
}

// The bytes of the arrays the project holds (what its parts unpack to).
std::vector<std::pair<const void*, size_t>> RawArrays(const Project& project)
{
    std::vector<std::pair<const void*, size_t>> arrays;
    for (const TerrainRecord& t : project.terrains)
    {
        // As many bytes as the stored base heights (y of every position).
        arrays.emplace_back(t.basePositions.data(), t.basePositions.size() / 3 * sizeof(float));
        for (const LayerRecord& layer : t.layers)
            arrays.emplace_back(layer.image.pixels.get(), layer.image.ByteSize());
        for (const ImageRecord* image : {&t.heightmap, &t.normal, &t.diffuse, &t.specular, &t.watermap})
            arrays.emplace_back(image->pixels.get(), image->ByteSize());
    }
    return arrays;
}

size_t Total(const std::vector<std::pair<const void*, size_t>>& arrays)
{
    size_t total = 0;
    for (const auto& array : arrays)
        total += array.second;
    return total;
}

void Check(bool ok, const std::string& what, const std::string& error)
{
    if (ok) return;
    std::fprintf(stderr, "%s failed: %s\n", what.c_str(), error.c_str());
    std::exit(1);
}
} // namespace

int main()
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velmoran-project-bench";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "bench.velmoran").string();
    const std::string rawPath = (folder / "bench.raw").string();
    std::string error;

    const Project project = MakeProject(1025);
    const auto arrays = RawArrays(project);
    const size_t raw = Total(arrays);
    std::printf("1025 x 1025 project, four layers, painted diffuse, water: raw arrays %.1f MB\n", raw / 1e6);

    // Reference: the raw arrays unpacked, through the same atomic writer, and read back.
    const double rawWrite = BestSeconds(kRepeats,
                                        [&]
                                        {
                                            Check(WriteFileAtomically(
                                                      rawPath,
                                                      [&](std::FILE* file)
                                                      {
                                                          for (const auto& [data, bytes] : arrays)
                                                              if (std::fwrite(data, 1, bytes, file) != bytes)
                                                                  return false;
                                                          return true;
                                                      },
                                                      &error),
                                                  "raw write", error);
                                        });
    std::vector<uint8_t> back(raw);
    const double rawRead = BestSeconds(kRepeats,
                                       [&]
                                       {
                                           std::FILE* file = std::fopen(rawPath.c_str(), "rb");
                                           const size_t got = std::fread(back.data(), 1, raw, file);
                                           std::fclose(file);
                                           Check(got == raw, "raw read", "short read");
                                       });
    std::printf("  reference, raw arrays unpacked: write %.3f s, read %.3f s\n", rawWrite, rawRead);

    for (const int level : {1, 3, 6})
    {
        const double save = BestSeconds(
            kRepeats, [&] { Check(ProjectFile::Save(project, path, &error, {}, level), "save", error); });
        const size_t bytes = std::filesystem::file_size(path);
        Project opened;
        const double open =
            BestSeconds(kRepeats, [&] { Check(ProjectFile::Open(path, opened, &error), "open", error); });
        std::printf("  deflate level %d%s: save %.3f s, open %.3f s, file %.1f MB = %.2f x the raw arrays\n",
                    level, level == ProjectFile::kCompressionLevel ? " (used)" : "", save, open, bytes / 1e6,
                    static_cast<double>(bytes) / static_cast<double>(raw));
    }
    Project opened;
    Check(ProjectFile::Open(path, opened, &error), "open", error);
    std::vector<TerrainRecord> copies(kRepeats, opened.terrains[0]); // made ahead: the build alone is timed
    int next = 0;
    const double build =
        BestSeconds(kRepeats, [&] { Check(copies[next++].Complete(&error), "build", error); });
    std::printf("  building the opened terrain's arrays (grid, layers, normals, water plane): %.3f s\n",
                build);

    {
        const Project large = MakeProject(4097);
        const size_t largeRaw = Total(RawArrays(large));
        const double save =
            BestSeconds(1, [&] { Check(ProjectFile::Save(large, path, &error), "save", error); });
        const size_t bytes = std::filesystem::file_size(path);
        Project largeOpened;
        const double open =
            BestSeconds(1, [&] { Check(ProjectFile::Open(path, largeOpened, &error), "open", error); });
        std::printf(
            "4097 x 4097 project: raw arrays %.1f MB, save %.2f s, open %.2f s, file %.1f MB = %.2f x\n",
            largeRaw / 1e6, save, open, bytes / 1e6,
            static_cast<double>(bytes) / static_cast<double>(largeRaw));
        const double build =
            BestSeconds(1, [&] { Check(largeOpened.terrains[0].Complete(&error), "build", error); });
        std::printf("4097 x 4097 build after open %.2f s\n", build);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
