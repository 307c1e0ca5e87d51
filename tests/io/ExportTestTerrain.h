#pragma once
// A small non-square terrain for the export tests: 7 vertices along x, 5 along z, uneven heights with
// the editor's own normals, a diffuse image whose pixel names its vertex, and a water patch in the
// editor's (clockwise) winding.
#include "io/Export.h"
#include "terrain/TerrainGrid.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace testsupport
{
struct ExportTestTerrain
{
    static constexpr uint32_t W = 7;
    static constexpr uint32_t H = 5;
    std::vector<float> positions, normals, waterPositions;
    std::vector<uint8_t> diffuse;
    std::vector<uint32_t> waterIndices;

    ExportTestTerrain()
    {
        for (uint32_t i = 0; i < W; ++i)
            for (uint32_t j = 0; j < H; ++j)
            {
                const float y = std::sin(static_cast<float>(i) * 0.9f) * 2.0f +
                                std::cos(static_cast<float>(j) * 1.3f) * 1.5f +
                                0.3f * static_cast<float>(i * j);
                positions.insert(positions.end(), {(static_cast<float>(i) - 3.0f) * 1.5f, y,
                                                   (static_cast<float>(j) - 2.0f) * 1.5f});
                diffuse.insert(diffuse.end(),
                               {static_cast<uint8_t>(30 * i), static_cast<uint8_t>(50 * j), 7});
            }
        normals.resize(positions.size());
        TerrainGrid::VertexNormals(positions.data(), W, H, normals.data(), nullptr);
        // A 3 x 3 water patch at y = 1, triangles (a, c, b), (b, c, e) as the water plane winds them.
        for (uint32_t i = 0; i < 3; ++i)
            for (uint32_t j = 0; j < 3; ++j)
                waterPositions.insert(waterPositions.end(),
                                      {static_cast<float>(i), 1.0f, static_cast<float>(j)});
        for (uint32_t i = 0; i < 2; ++i)
            for (uint32_t j = 0; j < 2; ++j)
            {
                const uint32_t a = i * 3 + j, b = a + 1, c = a + 3, e = c + 1;
                waterIndices.insert(waterIndices.end(), {a, c, b, b, c, e});
            }
    }

    ExportInput Input() const
    {
        ExportInput input;
        input.name = "hills";
        input.width = W;
        input.height = H;
        input.vertexDistance = 1.5f;
        input.positions = positions.data();
        input.normals = normals.data();
        input.diffuse = diffuse.data();
        input.waterVertexCount = 9;
        input.waterPositions = waterPositions.data();
        input.waterIndexCount = static_cast<uint32_t>(waterIndices.size());
        input.waterIndices = waterIndices.data();
        return input;
    }
};

// (p1 - p0) x (p2 - p0): points to the side from which the corners run counter-clockwise.
inline void CounterClockwiseNormal(const float* p0, const float* p1, const float* p2, float* out)
{
    const float a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const float b[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

inline float Dot(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
} // namespace testsupport
