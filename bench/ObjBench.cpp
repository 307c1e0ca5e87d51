// Times the OBJ writer and reader on a 1025 x 1025 noise terrain (every normal distinct, about
// 150 MB of text) and, on the same file in the same run, tinyobjloader as a reference reader.
// Plain timer program: each step runs a few times and the best time is printed with its MB/s.
#include "engine/Parallel.h"
#include "io/ObjReader.h"
#include "io/ObjWriter.h"

#include <tiny_obj_loader.h>

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
constexpr uint32_t kSide = 1025;
constexpr int kRepeats = 3;

// Smooth value noise with a few octaves; plain code, so the benchmark needs no GL and no terrain.
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

struct Mesh
{
    std::vector<float> positions, texCoords, normals;
    std::vector<uint32_t> indices;
};

Mesh MakeNoiseTerrain(uint32_t w, uint32_t h)
{
    Mesh m;
    m.positions.resize(size_t(w) * h * 3);
    m.texCoords.resize(size_t(w) * h * 2);
    m.normals.resize(size_t(w) * h * 3);
    const float du = 1.0f / static_cast<float>(h - 1), dv = 1.0f / static_cast<float>(w - 1);
    auto heightAt = [](uint32_t i, uint32_t j)
    {
        float v = 0, amplitude = 40, frequency = 1.0f / 64;
        for (int octave = 0; octave < 6; ++octave, amplitude *= 0.5f, frequency *= 2)
            v += amplitude * ValueNoise(static_cast<float>(i) * frequency, static_cast<float>(j) * frequency);
        return v + Lattice(static_cast<int32_t>(i) * 7919, static_cast<int32_t>(j)) *
                       1e-3f; // no two normals alike
    };
    for (uint32_t i = 0; i < w; ++i)
        for (uint32_t j = 0; j < h; ++j)
        {
            const size_t k = size_t(i) * h + j;
            m.positions[k * 3 + 0] = (static_cast<float>(i) - static_cast<float>(w - 1) * 0.5f);
            m.positions[k * 3 + 1] = heightAt(i, j);
            m.positions[k * 3 + 2] = (static_cast<float>(j) - static_cast<float>(h - 1) * 0.5f);
            m.texCoords[k * 2 + 0] = static_cast<float>(j) * du;
            m.texCoords[k * 2 + 1] = static_cast<float>(i) * dv;
        }
    for (uint32_t i = 0; i < w; ++i)
        for (uint32_t j = 0; j < h; ++j)
        {
            const size_t k = size_t(i) * h + j;
            auto y = [&](uint32_t a, uint32_t b) { return m.positions[(size_t(a) * h + b) * 3 + 1]; };
            const float dx = y(std::min(i + 1, w - 1), j) - y(i > 0 ? i - 1 : 0, j);
            const float dz = y(i, std::min(j + 1, h - 1)) - y(i, j > 0 ? j - 1 : 0);
            const float nx = -dx, ny = 2.0f, nz = -dz;
            const float s = 1.0f / std::sqrt(nx * nx + ny * ny + nz * nz);
            m.normals[k * 3 + 0] = nx * s;
            m.normals[k * 3 + 1] = ny * s;
            m.normals[k * 3 + 2] = nz * s;
        }
    for (uint32_t i = 0; i + 1 < w; ++i)
        for (uint32_t j = 0; j + 1 < h; ++j)
        {
            const uint32_t a = i * h + j, b = a + 1, c = a + h, e = c + 1;
            m.indices.insert(m.indices.end(), {a, c, b, b, c, e});
        }
    return m;
}

double BestSeconds(const std::function<bool()>& run)
{
    double best = 1e30;
    for (int r = 0; r < kRepeats; ++r)
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

void Report(const char* what, double bytes, double seconds)
{
    std::printf("%-30s %8.3f s  %8.1f MB/s\n", what, seconds, bytes / 1e6 / seconds);
}
} // namespace

int main()
{
    const Mesh mesh = MakeNoiseTerrain(kSide, kSide);
    ObjMeshView view;
    view.name = "noise";
    view.width = kSide;
    view.height = kSide;
    view.vertexCount = kSide * kSide;
    view.positions = mesh.positions.data();
    view.texCoords = mesh.texCoords.data();
    view.normals = mesh.normals.data();
    view.indexCount = static_cast<uint32_t>(mesh.indices.size());
    view.indices = mesh.indices.data();

    const std::string path = (std::filesystem::temp_directory_path() / "velmoran_obj_bench.obj").string();
    ObjWriteStats stats;
    const double writeSeconds = BestSeconds([&] { return ObjWriter::WriteFile(path, view, &stats); });
    const double bytes = static_cast<double>(stats.bytes);
    std::printf("%u x %u terrain, %u vertices, %u distinct normals, %.1f MB of text\n", kSide, kSide,
                view.vertexCount, stats.normalLines, bytes / 1e6);
    Report("export (ObjWriter)", bytes, writeSeconds);
    Parallel::SetThreadCount(1);
    const double singleThreadSeconds = BestSeconds([&] { return ObjWriter::WriteFile(path, view); });
    Parallel::SetThreadCount(0);
    Report("export (ObjWriter, 1 thread)", bytes, singleThreadSeconds);

    size_t ourVertices = 0;
    const double readSeconds = BestSeconds(
        [&]
        {
            ObjData data;
            const ObjResult result = ObjReader::ReadTerrain(path, data);
            ourVertices = data.VertexCount();
            if (!result.Ok()) std::printf("  refused: %s\n", result.reason.c_str());
            return result.Ok();
        });
    Report("import (ObjReader)", bytes, readSeconds);

    size_t tinyVertices = 0;
    const double tinySeconds = BestSeconds(
        [&]
        {
            tinyobj::attrib_t attrib;
            std::vector<tinyobj::shape_t> shapes;
            std::vector<tinyobj::material_t> materials;
            std::string warn, err;
            const bool ok =
                tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, true);
            tinyVertices = attrib.vertices.size() / 3;
            return ok;
        });
    Report("import (tinyobjloader 2.0)", bytes, tinySeconds);
    std::printf("vertices read: ours %zu, tinyobjloader %zu\n", ourVertices, tinyVertices);
    std::printf("import speed-up over tinyobjloader: %.2fx\n", tinySeconds / readSeconds);

    std::filesystem::remove(path);
    const bool targetsMet = writeSeconds > 0 && readSeconds > 0 && writeSeconds < 1.0 && readSeconds < 1.0 &&
                            readSeconds < tinySeconds;
    std::printf("targets (export < 1 s, import < 1 s, import faster than tinyobjloader): %s\n",
                targetsMet ? "met" : "NOT met");
    return 0;
}
