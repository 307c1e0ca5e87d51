// Times the exports (io/Export.cpp and the writers under it) and the heightmap import on a 1025 x 1025
// noise terrain with a diffuse image and a water plane, each next to a plain reference in the same
// run: the same bytes written raw through the same atomic file writer, stb_image_write's 8-bit PNG,
// and stb_image's 16-bit PNG decoder. Then every format but the OBJ (4 GB of text) once at 4097 x 4097.
// Plain timer program: each step runs a few times (the cores are shared) and the best time is printed.
#include "engine/AtomicFile.h"
#include "io/Export.h"
#include "io/HeightImage.h"
#include "terrain/TerrainGrid.h"

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace
{
constexpr int kRepeats = 5;

float Lattice(int32_t x, int32_t y)
{
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    return static_cast<float>(h & 0xffffff) / 16777215.0f;
}

float ValueNoise(float x, float y)
{
    const float fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    const float tx = x - fx, ty = y - fy;
    const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const float a = Lattice(ix, iy), b = Lattice(ix + 1, iy), c = Lattice(ix, iy + 1),
                d = Lattice(ix + 1, iy + 1);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// A terrain as the editor holds it: positions, normals, a banded diffuse image and a lake.
struct BenchTerrain
{
    uint32_t side = 0;
    std::vector<float> positions, normals, waterPositions, waterNormals;
    std::vector<uint8_t> diffuse;
    std::vector<uint32_t> waterIndices;
    std::vector<Gradient> gradients;

    explicit BenchTerrain(uint32_t n) : side(n)
    {
        const size_t count = size_t(n) * n;
        positions.resize(3 * count);
        normals.resize(3 * count);
        diffuse.resize(3 * count);
        const float half = static_cast<float>(n - 1) * 0.5f;
        const float scale = 1024.0f / static_cast<float>(n - 1); // the same landscape at every size
        for (uint32_t i = 0; i < n; ++i)
            for (uint32_t j = 0; j < n; ++j)
            {
                const size_t k = size_t(i) * n + j;
                float v = 0, amplitude = 40, frequency = 1.0f / 64;
                for (int octave = 0; octave < 6; ++octave, amplitude *= 0.5f, frequency *= 2)
                    v += amplitude * ValueNoise(static_cast<float>(i) * scale * frequency,
                                                static_cast<float>(j) * scale * frequency);
                positions[3 * k] = static_cast<float>(i) - half;
                positions[3 * k + 1] = v;
                positions[3 * k + 2] = static_cast<float>(j) - half;
                const uint8_t band = v < 20 ? 0 : v < 35 ? 1 : 2;
                const uint8_t colours[3][3] = {{70, 110, 40}, {120, 100, 80}, {240, 240, 245}};
                for (int c = 0; c < 3; ++c)
                    diffuse[3 * k + c] = static_cast<uint8_t>(colours[band][c] + (k * 7 + c) % 5);
            }
        TerrainGrid::VertexNormals(positions.data(), n, n, normals.data(), nullptr);
        // A square lake of a quarter of the side, in the editor's winding.
        const uint32_t lake = n / 4;
        for (uint32_t i = 0; i < lake; ++i)
            for (uint32_t j = 0; j < lake; ++j)
            {
                waterPositions.insert(waterPositions.end(),
                                      {static_cast<float>(i), 10.0f, static_cast<float>(j)});
                waterNormals.insert(waterNormals.end(), {0.0f, 1.0f, 0.0f});
            }
        for (uint32_t i = 0; i + 1 < lake; ++i)
            for (uint32_t j = 0; j + 1 < lake; ++j)
            {
                const uint32_t a = i * lake + j, b = a + 1, c = a + lake, e = c + 1;
                waterIndices.insert(waterIndices.end(), {a, c, b, b, c, e});
            }
        for (int g = 0; g < 4; ++g)
        {
            Gradient gradient;
            gradient.heightSpan = g < 3 ? 64 : 63;
            gradient.decay = 8;
            gradient.slopeSpan = 22.5f;
            gradients.push_back(gradient);
        }
    }

    ExportInput Input() const
    {
        ExportInput input;
        input.name = "bench";
        input.width = input.height = side;
        input.positions = positions.data();
        input.normals = normals.data();
        input.diffuse = diffuse.data();
        input.gradients = gradients;
        input.waterVertexCount = static_cast<uint32_t>(waterPositions.size() / 3);
        input.waterPositions = waterPositions.data();
        input.waterNormals = waterNormals.data();
        input.waterIndexCount = static_cast<uint32_t>(waterIndices.size());
        input.waterIndices = waterIndices.data();
        return input;
    }
};

double BestSeconds(const std::function<bool()>& run, int repeats = kRepeats)
{
    double best = 1e30;
    for (int r = 0; r < repeats; ++r)
    {
        const auto start = std::chrono::steady_clock::now();
        if (!run())
        {
            std::printf("  run failed\n");
            return -1;
        }
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

uint64_t FileSize(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::file_size(path, ignored);
}

void Report(const char* what, double seconds, uint64_t bytes, double target = 0.0)
{
    std::printf("%-44s %8.3f s  %8.1f MB", what, seconds, static_cast<double>(bytes) / 1e6);
    if (target > 0.0)
        std::printf("   target < %.2f s: %s", target, seconds >= 0 && seconds < target ? "met" : "NOT met");
    std::printf("\n");
}

bool ExportOne(const BenchTerrain& terrain, const std::string& folder, uint32_t formats,
               uint32_t resample = 0)
{
    ExportOptions options;
    options.folder = folder;
    options.baseName = "bench";
    options.formats = formats;
    options.resampleSide = resample;
    std::string error;
    if (!ExportTerrain(terrain.Input(), options, {}, &error))
    {
        std::printf("  %s\n", error.c_str());
        return false;
    }
    return true;
}

bool WriteRaw(const std::string& path, const void* data, size_t size)
{
    return WriteFileAtomically(path,
                               [&](std::FILE* file) { return std::fwrite(data, 1, size, file) == size; });
}

void StbSink(void* context, void* data, int size)
{
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}
} // namespace

// Times run, then prints the time with the size of the file it wrote (sizes are read afterwards).
double Measure(const char* what, const std::function<bool()>& run, const std::string& file,
               double target = 0.0, int repeats = kRepeats)
{
    const double seconds = BestSeconds(run, repeats);
    Report(what, seconds, FileSize(file), target);
    return seconds;
}

int main()
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "velmoran_export_bench";
    std::filesystem::create_directories(dir);
    const std::string folder = dir.string();
    const std::string base = folder + "/bench";
    const std::string raw = folder + "/raw.bin";

    {
        const BenchTerrain terrain(1025);
        const size_t count = size_t(1025) * 1025;
        std::printf("1025 x 1025 terrain, %zu water vertices, best of %d runs\n",
                    terrain.waterPositions.size() / 3, kRepeats);

        Measure(
            "export .glb", [&] { return ExportOne(terrain, folder, ExportFormat::Glb); }, base + ".glb", 0.3);
        const std::vector<uint8_t> same(FileSize(base + ".glb"), 7);
        Measure(
            "  reference: the same bytes written raw",
            [&] { return WriteRaw(raw, same.data(), same.size()); }, raw);

        Measure(
            "export 16-bit .png (+ .json)", [&] { return ExportOne(terrain, folder, ExportFormat::Png16); },
            base + "_height.png", 0.2);
        std::vector<uint8_t> grey(count);
        for (size_t k = 0; k < count; ++k)
            grey[k] = static_cast<uint8_t>(terrain.positions[3 * k + 1] / 80.0f * 255.0f);
        Measure(
            "  reference: stb_image_write 8-bit .png",
            [&]
            {
                std::vector<uint8_t> png;
                stbi_write_png_to_func(StbSink, &png, 1025, 1025, 1, grey.data(), 1025);
                return WriteRaw(raw, png.data(), png.size());
            },
            raw);

        Measure(
            "export .r16 (+ .json)", [&] { return ExportOne(terrain, folder, ExportFormat::R16); },
            base + "_height.r16", 0.05);
        Measure(
            "  reference: 2 bytes a vertex written raw",
            [&] { return WriteRaw(raw, same.data(), 2 * count); }, raw);

        HeightImage::ImportOptions importOptions;
        HeightGrid read;
        Measure(
            "import 16-bit .png (with its .json)",
            [&] { return HeightImage::Read(base + "_height.png", importOptions, read, nullptr); },
            base + "_height.png", 0.2);
        Measure(
            "  reference: stb_image 16-bit decode",
            [&]
            {
                int w = 0, h = 0, c = 0;
                stbi_us* pixels = stbi_load_16((base + "_height.png").c_str(), &w, &h, &c, 1);
                stbi_image_free(pixels);
                return pixels != nullptr;
            },
            base + "_height.png");

        Measure(
            "export .exr (+ .json)", [&] { return ExportOne(terrain, folder, ExportFormat::Exr); },
            base + "_height.exr", 0.0, 3);
        Measure(
            "export splat .png", [&] { return ExportOne(terrain, folder, ExportFormat::Splat); },
            base + "_splat.png", 0.0, 3);
        Measure(
            "export .obj + .mtl + base colour .png",
            [&] { return ExportOne(terrain, folder, ExportFormat::Obj); }, base + ".obj", 0.0, 3);
        Measure(
            "export .glb resampled to 2049 (bilinear)",
            [&] { return ExportOne(terrain, folder, ExportFormat::Glb, 2049); }, base + ".glb", 0.0, 3);
    }

    {
        const BenchTerrain terrain(4097);
        std::printf("4097 x 4097 terrain, once each\n");
        // The OBJ would be 4 GB of text: it is timed at 1025 only.
        const std::pair<const char*, uint32_t> formats[] = {{"export .glb", ExportFormat::Glb},
                                                            {"export 16-bit .png", ExportFormat::Png16},
                                                            {"export .r16", ExportFormat::R16},
                                                            {"export .exr", ExportFormat::Exr},
                                                            {"export splat .png", ExportFormat::Splat}};
        const std::string files[] = {".glb", "_height.png", "_height.r16", "_height.exr", "_splat.png"};
        for (size_t n = 0; n < 5; ++n)
            Measure(
                formats[n].first, [&] { return ExportOne(terrain, folder, formats[n].second); },
                base + files[n], 0.0, 1);
        HeightImage::ImportOptions importOptions;
        HeightGrid read;
        Measure(
            "import 16-bit .png",
            [&] { return HeightImage::Read(base + "_height.png", importOptions, read, nullptr); },
            base + "_height.png", 0.0, 1);
        std::printf("imported grid: %u x %u\n", read.width, read.height);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
