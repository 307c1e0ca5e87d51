#include "engine/Parallel.h"
#include "terrain/TerrainGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{
struct Grid
{
    uint32_t width;
    uint32_t height;
    std::vector<float> positions;
    std::vector<uint32_t> indices;
    std::vector<float> normals;
    std::vector<float> texCoords;
};

// A grid with pseudo-random heights, so every face normal differs.
Grid RoughGrid(uint32_t width, uint32_t height, uint32_t seed)
{
    Grid g{width, height, {}, {}, {}, {}};
    TerrainGrid::BuildGrid(width, height, 0.75f, g.positions, g.indices, g.normals, g.texCoords);
    std::mt19937 engine(seed);
    std::uniform_real_distribution<float> heights(-3.0f, 5.0f);
    for (size_t k = 0; k < size_t{width} * height; ++k)
        g.positions[3 * k + 1] = heights(engine);
    return g;
}

struct ThreadCountGuard
{
    ~ThreadCountGuard() { Parallel::SetThreadCount(0); }
};

TEST(TerrainGridTest, FlatThreeByThreeGrid)
{
    Grid g{3, 3, {}, {}, {}, {}};
    TerrainGrid::BuildGrid(3, 3, 1.0f, g.positions, g.indices, g.normals, g.texCoords);
    const std::vector<uint32_t> expectedIndices = {0, 3, 1, 1, 3, 4, 1, 4, 2, 2, 4, 5,
                                                   3, 6, 4, 4, 6, 7, 4, 7, 5, 5, 7, 8};
    EXPECT_EQ(g.indices, expectedIndices);
    for (uint32_t i = 0; i < 3; ++i)
        for (uint32_t j = 0; j < 3; ++j)
        {
            const size_t k = i * 3 + j;
            EXPECT_EQ(g.positions[3 * k], static_cast<float>(i) - 1.0f);
            EXPECT_EQ(g.positions[3 * k + 1], 0.0f);
            EXPECT_EQ(g.positions[3 * k + 2], static_cast<float>(j) - 1.0f);
            EXPECT_EQ(g.texCoords[2 * k], static_cast<float>(j) * 0.5f);
            EXPECT_EQ(g.texCoords[2 * k + 1], static_cast<float>(i) * 0.5f);
            EXPECT_EQ(g.normals[3 * k + 1], 1.0f);
        }

    // The winding gives +y normals on the flat grid, and the texture colour (127, 127, 255).
    std::vector<float> normals(27);
    std::vector<uint8_t> bytes(27);
    TerrainGrid::VertexNormals(g.positions.data(), 3, 3, normals.data(), bytes.data());
    for (size_t k = 0; k < 9; ++k)
    {
        EXPECT_EQ(normals[3 * k], 0.0f);
        EXPECT_EQ(normals[3 * k + 1], 1.0f);
        EXPECT_EQ(normals[3 * k + 2], 0.0f);
        EXPECT_EQ(bytes[3 * k], 127);
        EXPECT_EQ(bytes[3 * k + 1], 127);
        EXPECT_EQ(bytes[3 * k + 2], 255);
    }
}

TEST(TerrainGridTest, RectangularGridKeepsTheVertexOrder)
{
    Grid g{4, 2, {}, {}, {}, {}};
    TerrainGrid::BuildGrid(4, 2, 2.0f, g.positions, g.indices, g.normals, g.texCoords);
    ASSERT_EQ(g.indices.size(), 3u * 1u * 6u);
    // Vertex (i = 3, j = 1) is k = 7: x = (3 - 1.5) * 2, z = (1 - 0.5) * 2, (u, v) = (1, 1).
    EXPECT_EQ(g.positions[21], 3.0f);
    EXPECT_EQ(g.positions[23], 1.0f);
    EXPECT_EQ(g.texCoords[14], 1.0f);
    EXPECT_EQ(g.texCoords[15], 1.0f);
}

// Sum of the face normals of every listed triangle that uses vertex k: the incidence rule checked
// against the index list itself (order-free, so compared with a tolerance).
std::vector<float> NormalFromIndexList(const Grid& g, uint32_t k, int& triangles)
{
    float sum[3] = {0, 0, 0};
    triangles = 0;
    for (size_t t = 0; t < g.indices.size(); t += 3)
    {
        const uint32_t* tri = &g.indices[t];
        if (tri[0] != k && tri[1] != k && tri[2] != k) continue;
        float n[3];
        TerrainGrid::TriangleNormal(&g.positions[3 * tri[0]], &g.positions[3 * tri[1]],
                                    &g.positions[3 * tri[2]], n);
        for (int c = 0; c < 3; ++c)
            sum[c] += n[c];
        ++triangles;
    }
    const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    return {sum[0] / length, sum[1] / length, sum[2] / length};
}

TEST(TerrainGridTest, CornerEdgeAndInnerNormalsFollowTheIncidentTriangles)
{
    const Grid g = RoughGrid(5, 4, 7);
    std::vector<float> normals(3 * 20);
    TerrainGrid::VertexNormals(g.positions.data(), 5, 4, normals.data(), nullptr);

    struct Case
    {
        uint32_t i, j;
        int triangles;
    };
    // Corners (0,0) and (4,3) touch one triangle, corners (0,3) and (4,0) two; edges three; inner six.
    const Case cases[] = {{0, 0, 1}, {4, 3, 1}, {0, 3, 2}, {4, 0, 2}, {0, 1, 3},
                          {4, 2, 3}, {2, 0, 3}, {3, 3, 3}, {1, 1, 6}, {3, 2, 6}};
    for (const Case& c : cases)
    {
        const uint32_t k = c.i * 4 + c.j;
        int triangles = 0;
        const std::vector<float> expected = NormalFromIndexList(g, k, triangles);
        EXPECT_EQ(triangles, c.triangles) << c.i << ", " << c.j;
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(normals[3 * k + axis], expected[axis], 1e-6) << c.i << ", " << c.j;
    }

    // Every vertex gives the same bits as the per-vertex rule that sums six triangles directly.
    for (uint32_t i = 0; i < 5; ++i)
        for (uint32_t j = 0; j < 4; ++j)
        {
            float direct[3];
            TerrainGrid::VertexNormalDirect(g.positions.data(), 5, 4, i, j, direct);
            EXPECT_EQ(std::memcmp(direct, &normals[3 * (i * 4 + j)], sizeof direct), 0) << i << ", " << j;
        }
}

TEST(TerrainGridTest, NormalPassMatchesTheDirectRuleForAnyThreadCount)
{
    ThreadCountGuard guard;
    const Grid g = RoughGrid(301, 203, 11);
    const size_t count = size_t{301} * 203;
    std::vector<float> reference(3 * count);
    std::vector<uint8_t> referenceBytes(3 * count);
    std::vector<uint8_t> referenceHeights(count);
    Parallel::SetThreadCount(1);
    TerrainGrid::VertexNormals(g.positions.data(), 301, 203, reference.data(), referenceBytes.data());
    // The pass (however the machine runs it) against the direct per-vertex rule, bit for bit.
    for (uint32_t i = 0; i < 301; ++i)
        for (uint32_t j = 0; j < 203; ++j)
        {
            const size_t k = size_t{i} * 203 + j;
            float direct[3];
            TerrainGrid::VertexNormalDirect(g.positions.data(), 301, 203, i, j, direct);
            ASSERT_EQ(std::memcmp(direct, &reference[3 * k], sizeof direct), 0) << i << ", " << j;
            ASSERT_EQ(referenceBytes[3 * k], TerrainGrid::NormalByte(direct[0]));
            ASSERT_EQ(referenceBytes[3 * k + 1], TerrainGrid::NormalByte(direct[2]));
            ASSERT_EQ(referenceBytes[3 * k + 2], TerrainGrid::NormalByte(direct[1]));
        }
    const TerrainGrid::HeightRange range = TerrainGrid::Range(g.positions.data(), count);
    TerrainGrid::HeightmapBytes(g.positions.data(), count, range.min, range.max, referenceHeights.data());

    for (unsigned threads : {2u, 3u, 8u})
    {
        Parallel::SetThreadCount(threads);
        std::vector<float> normals(3 * count);
        std::vector<uint8_t> bytes(3 * count);
        std::vector<uint8_t> heights(count);
        TerrainGrid::VertexNormals(g.positions.data(), 301, 203, normals.data(), bytes.data());
        TerrainGrid::HeightmapBytes(g.positions.data(), count, range.min, range.max, heights.data());
        EXPECT_EQ(std::memcmp(normals.data(), reference.data(), normals.size() * sizeof(float)), 0)
            << threads;
        EXPECT_EQ(bytes, referenceBytes) << threads;
        EXPECT_EQ(heights, referenceHeights) << threads;
    }
}

TEST(TerrainGridTest, HeightBytesSpanTheRangeAndAFlatTerrainGivesZero)
{
    const float positions[] = {0, 2, 0, 0, 4, 0, 0, 3, 0, 0, 2.5f, 0};
    uint8_t bytes[4];
    TerrainGrid::HeightmapBytes(positions, 4, 2.0f, 4.0f, bytes);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 255);
    EXPECT_EQ(bytes[2], 127);
    EXPECT_EQ(bytes[3], 63);

    const float flat[] = {0, 1.5f, 0, 0, 1.5f, 0};
    TerrainGrid::HeightmapBytes(flat, 2, 1.5f, 1.5f, bytes);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0);
}

TEST(TerrainGridTest, DegenerateNormalGivesDefinedBytes)
{
    EXPECT_EQ(TerrainGrid::NormalByte(std::nanf("")), 0);
    EXPECT_EQ(TerrainGrid::NormalByte(1.0f), 255);
    EXPECT_EQ(TerrainGrid::NormalByte(-1.0f), 0);
}
} // namespace
