#include "bench/PlainLoops.h"
#include "engine/Parallel.h"
#include "terrain/TerrainGrid.h"
#include "tests/terrain/TerrainTestSupport.h"

namespace
{
using terraintest::SameBits;

struct GridArrays
{
    std::vector<float> positions, normals, texCoords;
    std::vector<uint32_t> indices;
};

// A grid with pseudo-random heights, so every face normal differs.
GridArrays RoughGrid(uint32_t width, uint32_t height, uint32_t seed)
{
    GridArrays g;
    TerrainGrid::BuildGrid(width, height, 0.75f, g.positions, g.indices, g.normals, g.texCoords);
    std::mt19937 engine(seed);
    std::uniform_real_distribution<float> heights(-3.0f, 5.0f);
    for (size_t k = 0; k < size_t{width} * height; ++k)
        g.positions[3 * k + 1] = heights(engine);
    return g;
}

// Corner, edge and inner normals against the sum of the face normals of every listed triangle that
// uses the vertex: the incidence rule checked against the index list itself (order-free, so near).
TEST(TerrainGridTest, CornerEdgeAndInnerNormalsFollowTheIncidentTriangles)
{
    const GridArrays g = RoughGrid(5, 4, 7);
    std::vector<float> normals(3 * 20);
    TerrainGrid::VertexNormals(g.positions.data(), 5, 4, normals.data(), nullptr);
    // Corners (0,0) and (4,3) touch one triangle, corners (0,3) and (4,0) two; edges three; inner six.
    const int cases[][3] = {{0, 0, 1}, {4, 3, 1}, {0, 3, 2}, {4, 0, 2}, {0, 1, 3},
                            {4, 2, 3}, {2, 0, 3}, {3, 3, 3}, {1, 1, 6}, {3, 2, 6}}; // i, j, triangles
    for (const auto& [i, j, triangles] : cases)
    {
        const uint32_t k = static_cast<uint32_t>(i * 4 + j);
        float sum[3] = {0, 0, 0}, n[3];
        int found = 0;
        for (size_t t = 0; t < g.indices.size(); t += 3)
        {
            const uint32_t* tri = &g.indices[t];
            if (tri[0] != k && tri[1] != k && tri[2] != k) continue;
            TerrainGrid::TriangleNormal(&g.positions[3 * tri[0]], &g.positions[3 * tri[1]],
                                        &g.positions[3 * tri[2]], n);
            for (int a = 0; a < 3; ++a)
                sum[a] += n[a];
            ++found;
        }
        EXPECT_EQ(found, triangles) << i << ", " << j;
        const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(normals[3 * k + a], sum[a] / length, 1e-6) << i << ", " << j;
    }
}

// Each face normal computed once, into an array and appended to a vector (old contents replaced) in
// batches of rows (two here, each split over the threads), and the height bytes: the plain per-vertex
// loops' bits on one and three threads, with a row count that does not divide by three.
TEST(TerrainGridTest, NormalAndHeightPassesGiveThePlainLoopsBitsOnAnyThreadCount)
{
    const uint32_t w = 100, h = 4000; // batches of 87 rows
    const size_t count = size_t{w} * h;
    const GridArrays g = RoughGrid(w, h, 11);
    std::vector<float> plainNormals;
    std::vector<uint8_t> plainBytes, heights(count);
    plain::Normals(g.positions, w, h, plainNormals, plainBytes);
    for (unsigned threads : {1u, 3u})
    {
        Parallel::SetThreadCount(threads);
        std::vector<float> normals(3 * count), appended(17, 9.0f);
        std::vector<uint8_t> bytes(3 * count), appendedBytes(3 * count);
        TerrainGrid::VertexNormals(g.positions.data(), w, h, normals.data(), bytes.data());
        TerrainGrid::VertexNormals(g.positions.data(), w, h, appended, appendedBytes.data());
        TerrainGrid::HeightmapBytes(g.positions.data(), count, -3.0f, 5.0f, heights.data());
        EXPECT_TRUE(SameBits(normals, plainNormals) && SameBits(appended, plainNormals)) << threads;
        EXPECT_TRUE(bytes == plainBytes && appendedBytes == plainBytes) << threads;
        EXPECT_EQ(heights, plain::HeightmapBytes({g.positions, -3.0f, 5.0f}, count)) << threads;
    }
    Parallel::SetThreadCount(0);
    const float flat[] = {0.0f, 2.0f, 0.0f, 1.0f, 2.0f, 1.0f}; // equal heights give 0, not 0 * inf
    TerrainGrid::HeightmapBytes(flat, 2, 2.0f, 2.0f, heights.data());
    EXPECT_EQ(heights[0] + heights[1], 0);
    EXPECT_EQ(TerrainGrid::NormalByte(std::nanf("")), 0); // a degenerate normal's byte is defined
}

// A region's normals, bytes and heightmap bytes bit for bit as the whole passes give them on a non-square
// grid: regions at each corner and edge, inside, one vertex wide, and the whole grid.
TEST(TerrainGridTest, ARegionGetsTheBitsOfTheWholePassAndNothingElse)
{
    const uint32_t w = 37, h = 23;
    const size_t count = size_t{w} * h;
    const GridArrays g = RoughGrid(w, h, 7);
    std::vector<float> whole(3 * count);
    std::vector<uint8_t> wholeBytes(3 * count), wholeHeights(count);
    TerrainGrid::VertexNormals(g.positions.data(), w, h, whole.data(), wholeBytes.data());
    TerrainGrid::HeightmapBytes(g.positions.data(), count, -3.0f, 5.0f, wholeHeights.data());
    const TerrainGrid::Region regions[] = {{0, 5, 0, 4},     {30, 37, 0, 6},  {0, 9, 17, 23},
                                           {33, 37, 20, 23}, {10, 20, 5, 18}, {12, 13, 0, 23},
                                           {0, 37, 9, 10},   {0, w, 0, h},    {36, 37, 22, 23}};
    for (const TerrainGrid::Region& r : regions)
    {
        std::vector<float> normals(3 * count, 7.0f);
        std::vector<uint8_t> bytes(3 * count, 1), heights(count, 1);
        TerrainGrid::VertexNormalsIn(g.positions.data(), w, h, r, normals.data(), bytes.data());
        TerrainGrid::HeightmapBytesIn(g.positions.data(), h, r, -3.0f, 5.0f, heights.data());
        for (uint32_t i = 0; i < w; ++i)
            for (uint32_t j = 0; j < h; ++j)
            {
                const size_t k = size_t{i} * h + j;
                const bool inside = i >= r.rowBegin && i < r.rowEnd && j >= r.columnBegin && j < r.columnEnd;
                const float untouched[3] = {7.0f, 7.0f, 7.0f};
                ASSERT_TRUE(SameBits(&normals[3 * k], inside ? &whole[3 * k] : untouched, 3))
                    << r.rowBegin << ".." << r.rowEnd << " x " << r.columnBegin << ".." << r.columnEnd
                    << " at " << i << ", " << j;
                ASSERT_EQ(bytes[3 * k + 1], inside ? wholeBytes[3 * k + 1] : 1) << i << ", " << j;
                ASSERT_EQ(heights[k], inside ? wholeHeights[k] : 1) << i << ", " << j;
            }
    }
    const TerrainGrid::HeightRange all = TerrainGrid::RangeAll(g.positions.data(), w, h);
    const TerrainGrid::HeightRange one = TerrainGrid::Range(g.positions.data(), count);
    EXPECT_TRUE(SameBits(&all.min, &one.min, 1) && SameBits(&all.max, &one.max, 1));
    // Growing keeps a region inside the grid; a union holds both.
    const TerrainGrid::Region grown = TerrainGrid::Region{0, 5, 20, 23}.Grown(2, w, h);
    EXPECT_EQ(std::tie(grown.rowBegin, grown.rowEnd, grown.columnBegin, grown.columnEnd),
              std::make_tuple(0u, 7u, 18u, h));
    const TerrainGrid::Region both = TerrainGrid::Region{3, 5, 2, 4}.Union({10, 12, 1, 3});
    EXPECT_EQ(both.rowBegin + both.rowEnd + both.columnBegin + both.columnEnd, 3u + 12u + 1u + 4u);
}

// Positions written once with their heights against the flat grid plus AddHeights and ShiftHeights,
// bit for bit: zeros of both signs, a NaN, non-square grids.
TEST(TerrainGridTest, GridPositionsWithHeightsGiveTheBitsOfAddingAndShifting)
{
    for (const auto& [w, h] : {std::pair{7u, 5u}, std::pair{2u, 9u}, std::pair{65u, 65u}})
    {
        const size_t count = size_t{w} * h;
        std::vector<float> heights = terraintest::Heights(RoughGrid(w, h, w * h).positions);
        heights[0] = -0.0f;
        heights[count / 2] = 0.0f;
        heights[count - 1] = std::nanf("");

        GridArrays g;
        TerrainGrid::BuildGrid(w, h, 1.5f, g.positions, g.indices, g.normals, g.texCoords);
        const std::vector<float> flat = g.positions;
        const TerrainGrid::HeightRange range =
            TerrainGrid::AddHeights(g.positions.data(), heights.data(), count, 1.0f);
        TerrainGrid::ShiftHeights(g.positions.data(), count, range.min);

        std::vector<float> positions(3, 1.0f);
        TerrainGrid::GridPositions(w, h, 1.5f, heights.data(), range.min, positions);
        EXPECT_TRUE(SameBits(positions, g.positions)) << w << " x " << h;
        TerrainGrid::GridPositions(w, h, 1.5f, nullptr, 0.0f, positions);
        EXPECT_TRUE(SameBits(positions, flat)) << w << " x " << h;
    }
}

// The lane-wise range against adding the values one by one: zeros of both signs (the first one's
// bits win), NaN skipped, lengths around the lane width.
TEST(TerrainGridTest, RangeOfGivesTheBitsOfTheOneByOneRange)
{
    const float nan = std::nanf("");
    const std::vector<std::vector<float>> arrays = {
        {},
        {nan},
        {-0.0f, 0.0f, 0.0f, -0.0f, 0.0f},
        {0.0f, -0.0f, -0.0f, 0.0f, -0.0f, 0.0f, 0.0f, -0.0f, 1.0f},
        {3.0f, nan, -2.0f, 7.5f, -0.0f, 7.5f, -2.0f},
        {-0.0f, 2.0f, 3.0f, 4.0f, 0.0f, -1.0f, nan, 0.0f}};
    for (const std::vector<float>& values : arrays)
    {
        TerrainGrid::HeightRange plain;
        for (float v : values)
            plain.Add(v);
        const TerrainGrid::HeightRange range = TerrainGrid::RangeOf(values.data(), values.size());
        EXPECT_TRUE(SameBits(&range.min, &plain.min, 1) && SameBits(&range.max, &plain.max, 1))
            << values.size();
    }
}

} // namespace
