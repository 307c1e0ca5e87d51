#include "io/ObjExport.h"

#include "engine/AtomicFile.h"
#include "engine/Parallel.h"
#include "io/ExportMesh.h"
#include "io/FileBytes.h"
#include "io/ObjWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace
{
constexpr size_t kMaxLine = 128;

char* TaggedFloats(char* p, const char* tag, const float* values, int count)
{
    while (*tag != '\0')
        *p++ = *tag++;
    for (int c = 0; c < count; ++c)
    {
        *p++ = ' ';
        p = ObjWriter::FormatFloatExact(p, values[c]); // other tools get every bit of the heights
    }
    *p++ = '\n';
    return p;
}

// Formats count lines in batches, each batch split over the cores, and writes them in order.
bool WriteFileLines(std::FILE* file, size_t count, const std::function<char*(char*, size_t)>& line)
{
    constexpr size_t kBatch = size_t(1) << 17;
    const unsigned threads = std::max(1u, Parallel::ThreadCount());
    // Room for one thread's share of a batch, no more than the lines need (fresh memory is not free).
    const size_t partLines = (std::min(kBatch, count) + threads - 1) / threads;
    std::vector<std::vector<char>> parts(threads);
    for (std::vector<char>& part : parts)
        part.resize(partLines * kMaxLine);
    std::vector<size_t> used(threads);
    for (size_t first = 0; first < count; first += kBatch)
    {
        const size_t lines = std::min(kBatch, count - first);
        const size_t chunk = (lines + threads - 1) / threads;
        std::fill(used.begin(), used.end(), 0);
        Parallel::For(
            threads,
            [&](size_t begin, size_t end)
            {
                for (size_t t = begin; t < end; ++t)
                {
                    char* start = parts[t].data();
                    char* p = start;
                    for (size_t k = t * chunk; k < std::min(lines, (t + 1) * chunk); ++k)
                        p = line(p, first + k);
                    used[t] = static_cast<size_t>(p - start);
                }
            },
            1);
        for (size_t t = 0; t < threads; ++t)
            if (used[t] > 0 && std::fwrite(parts[t].data(), 1, used[t], file) != used[t]) return false;
    }
    return true;
}

// " k/k/k", or " k//k" without a texture coordinate.
char* Corner(char* p, uint32_t number, bool texture)
{
    *p++ = ' ';
    char* digits = p;
    p = ObjWriter::FormatUnsigned(p, number);
    const size_t length = static_cast<size_t>(p - digits);
    *p++ = '/';
    if (texture) p = std::copy(digits, digits + length, p);
    *p++ = '/';
    return std::copy(digits, digits + length, p);
}
} // namespace

bool ObjExport::WriteObj(const std::string& path, const Mesh& mesh, std::string* error)
{
    const size_t n = static_cast<size_t>(mesh.width) * mesh.height;
    const size_t cellRows = mesh.width > 1 ? mesh.width - 1 : 0;
    const size_t trianglesPerRow = mesh.height > 1 ? size_t(mesh.height - 1) * 2 : 0;
    if (cellRows == 0 || trianglesPerRow == 0 || mesh.positions == nullptr || mesh.normals == nullptr)
    {
        if (error != nullptr) *error = FileBytes::WriteFailure(path, "the terrain has no mesh");
        return false;
    }
    const size_t waterVertices = mesh.waterPositions != nullptr ? mesh.waterVertexCount : 0;
    const size_t waterTriangles =
        waterVertices > 0 && mesh.waterIndices != nullptr ? mesh.waterIndexCount / 3 : 0;

    std::string reason;
    const bool written = WriteFileAtomically(
        path,
        [&](std::FILE* file)
        {
            std::string header = "# " + mesh.name + ": " + std::to_string(mesh.width) + " x " +
                                 std::to_string(mesh.height) +
                                 " vertices, y up, faces counter-clockwise seen from above\n";
            if (!mesh.materialFile.empty()) header += "mtllib " + mesh.materialFile + "\n";
            header += "o " + mesh.name + "\n";
            if (std::fputs(header.c_str(), file) < 0) return false;
            const uint32_t W = mesh.width, H = mesh.height;
            const bool ok =
                WriteFileLines(file, n,
                               [&](char* p, size_t k)
                               { return TaggedFloats(p, "v", mesh.positions + 3 * k, 3); }) &&
                WriteFileLines(file, n,
                               [&](char* p, size_t k)
                               {
                                   const float uv[2] = {ExportMesh::U(static_cast<uint32_t>(k / H), W),
                                                        1.0f -
                                                            ExportMesh::V(static_cast<uint32_t>(k % H), H)};
                                   return TaggedFloats(p, "vt", uv, 2);
                               }) &&
                WriteFileLines(file, n,
                               [&](char* p, size_t k)
                               { return TaggedFloats(p, "vn", mesh.normals + 3 * k, 3); }) &&
                std::fputs("usemtl ground\n", file) >= 0 &&
                WriteFileLines(file, cellRows * trianglesPerRow,
                               [&](char* p, size_t t)
                               {
                                   // Cell (i, j): a = (i, j), b = (i, j+1), c = (i+1, j), e = (i+1, j+1);
                                   // triangles (a, b, c) and (b, e, c) as ExportMesh::GridTriangles.
                                   const size_t q = t % trianglesPerRow;
                                   const uint32_t a =
                                       static_cast<uint32_t>((t / trianglesPerRow) * H + q / 2) + 1;
                                   const uint32_t b = a + 1, c = a + H, e = c + 1;
                                   const uint32_t corners[2][3] = {{a, b, c}, {b, e, c}};
                                   *p++ = 'f';
                                   for (const uint32_t k : corners[q % 2])
                                       p = Corner(p, k, true);
                                   *p++ = '\n';
                                   return p;
                               });
            if (!ok) return false;
            if (waterTriangles == 0) return true;
            const std::string water = "o " + mesh.name + "_water\n";
            return std::fputs(water.c_str(), file) >= 0 &&
                   WriteFileLines(file, waterVertices,
                                  [&](char* p, size_t k)
                                  { return TaggedFloats(p, "v", mesh.waterPositions + 3 * k, 3); }) &&
                   WriteFileLines(file, waterVertices,
                                  [&](char* p, size_t)
                                  {
                                      static const float up[3] = {0.0f, 1.0f, 0.0f};
                                      return TaggedFloats(p, "vn", up, 3);
                                  }) &&
                   std::fputs("usemtl water\n", file) >= 0 &&
                   WriteFileLines(file, waterTriangles,
                                  [&](char* p, size_t t)
                                  {
                                      const uint32_t* tri = mesh.waterIndices + 3 * t;
                                      const uint32_t order[3] = {tri[0], tri[2], tri[1]}; // counter-clockwise
                                      *p++ = 'f';
                                      for (const uint32_t k : order)
                                          p = Corner(p, static_cast<uint32_t>(n + k + 1), false);
                                      *p++ = '\n';
                                      return p;
                                  });
        },
        &reason, "w");
    if (!written && error != nullptr) *error = FileBytes::WriteFailure(path, reason);
    return written;
}

bool ObjExport::WriteMtl(const std::string& path, const std::string& textureFile, bool water,
                         std::string* error)
{
    std::string text = "# Materials of the terrain exported beside this file\n"
                       "newmtl ground\n"
                       "Ka 1 1 1\n"
                       "Kd 1 1 1\n"
                       "Ks 0 0 0\n"
                       "Ns 1\n"
                       "d 1\n"
                       "illum 1\n";
    if (!textureFile.empty()) text += "map_Kd " + textureFile + "\n";
    if (water)
        text += "\nnewmtl water\n"
                "Ka 0 0 0\n"
                "Kd 0.08 0.3 0.55\n"
                "Ks 0.5 0.5 0.5\n"
                "Ns 200\n"
                "d 0.6\n"
                "Tr 0.4\n"
                "illum 2\n";
    return FileBytes::Write(path, text, error);
}
