#include "terrain/Terrain.h"
#include "terrain/Water.h"
#include "terrain/WaterPlane.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"

using terraintest::ReadBuffer;

namespace
{
using WaterGLTest = testsupport::GLTest;

std::vector<uint8_t> Map(std::initializer_list<int> kinds) // 0 dry, 1 edge, 2 full per pixel
{
    const std::array<uint8_t, 4> pixels[] = {{}, Water::kEdgeWater, Water::kFullWater};
    std::vector<uint8_t> bytes;
    for (int kind : kinds)
        bytes.insert(bytes.end(), pixels[kind].begin(), pixels[kind].end());
    return bytes;
}

// A dry map's plane is empty and uploads without a warning. Pouring and outlining reach the GPU's map.
// One full pixel at (3, 3) of a 7 x 6 terrain, outlined: a 5 x 5 plane lifted to the pixel's height in
// one mesh entry, its arrays kept and uploaded; its first vertex is pixel (1, 1). (Clearing the water:
// the editor's command tests.)
TEST_F(WaterGLTest, PouredWaterReachesTheMapAndAnOutlinedPixelsPlaneTheGpu)
{
    Terrain flat(3, 3, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    testsupport::LogCapture log;
    const Terrain::WaterPlane dry(&flat);
    EXPECT_EQ(std::make_pair(dry.vertexCount, dry.mesh->entries.size()), std::make_pair(0u, size_t{1}));
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    flat.PourWater(4);
    EXPECT_EQ(terraintest::ReadTexture(*flat.watermapTexture), Map({2, 2, 2, 0, 0, 2, 2, 2, 2}));
    flat.OutlineWater();
    EXPECT_EQ(terraintest::ReadTexture(*flat.watermapTexture), Map({2, 2, 2, 1, 1, 2, 2, 2, 2}));

    Terrain terrain(7, 6, 2.0f, Terrain::Generator::Flat, 0, 0, 0);
    std::vector<float> heights(42, 1.0f);
    heights[21] = 3.25f;
    terrain.AddHeights(heights.data(), 1.0f);
    std::memcpy(&terrain.watermapTexture->data[4 * 21], Water::kFullWater.data(), 4);
    terrain.OutlineWater();
    const Terrain::WaterPlane plane(&terrain);
    EXPECT_EQ(log.Count(spdlog::level::trace, "Setting waterplane height to 3.25"), 1) << log.Dump();
    ASSERT_EQ(
        std::make_tuple(plane.vertexCount, plane.mesh->entries.size(), plane.mesh->entries.at(0).indexCount),
        std::make_tuple(25u, size_t{1}, 96u));
    const std::vector<float>&p = plane.positions, &uv = plane.texCoords;
    EXPECT_EQ(std::tie(p[0], p[1], p[2], uv[0], uv[1]),
              std::make_tuple(-4.0f, 3.25f, -3.0f, 0.2f, 1.0f / 6.0f));
    EXPECT_EQ(ReadBuffer<float>(plane.mesh->vertexBuffer, 75), plane.positions);
    EXPECT_EQ(ReadBuffer<uint32_t>(plane.mesh->indexBuffer, 96), plane.indices);
    EXPECT_EQ(ReadBuffer<float>(plane.mesh->texCoordBuffer, 50), plane.texCoords);
    EXPECT_EQ(ReadBuffer<float>(plane.mesh->normalBuffer, 75), plane.normals);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}
} // namespace
