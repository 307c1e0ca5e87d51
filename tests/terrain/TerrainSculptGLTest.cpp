// Dabs on the live terrain: what the driver holds afterwards is what a whole rebuild from the layer
// stack would give, though only the touched rows were sent.
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"
#include "tests/terrain/TerrainTestSupport.h"

using terraintest::ReadBuffer;
using terraintest::ReadTexture;
using terraintest::SameBits;

namespace
{
using TerrainSculptGLTest = testsupport::GLTest;

// Heights from the stack, normals, both images and the range, in the terrain and the driver, as rebuilt.
void ExpectAsRebuilt(const Terrain& terrain, bool heightsFollowTheStack)
{
    const size_t count = size_t{terrain.width} * terrain.height;
    std::vector<float> layered;
    // An erosion entry whose input changed would have to run again: the heights no longer follow.
    EXPECT_EQ(terrain.LayeredPositions(layered, true) && SameBits(layered, terrain.positions),
              heightsFollowTheStack);
    EXPECT_TRUE(SameBits(ReadBuffer<float>(terrain.mesh->vertexBuffer, 3 * count), terrain.positions));
    std::vector<float> normals(3 * count);
    std::vector<uint8_t> normalBytes(3 * count), heightBytes(count);
    TerrainGrid::VertexNormals(terrain.positions.data(), terrain.width, terrain.height, normals.data(),
                               normalBytes.data());
    EXPECT_TRUE(SameBits(terrain.normals, normals));
    EXPECT_TRUE(SameBits(ReadBuffer<float>(terrain.mesh->normalBuffer, 3 * count), normals));
    EXPECT_EQ(ReadTexture(*terrain.normalTexture), normalBytes);
    const TerrainGrid::HeightRange range = TerrainGrid::Range(terrain.positions.data(), count);
    EXPECT_EQ(std::make_pair(terrain.minHeight, terrain.maxHeight), std::make_pair(range.min, range.max));
    TerrainGrid::HeightmapBytes(terrain.positions.data(), count, range.min, range.max, heightBytes.data());
    EXPECT_EQ(ReadTexture(*terrain.heightmapTexture), heightBytes);
}

TEST_F(TerrainSculptGLTest, DabsLeaveWhatAWholeRebuildGives)
{
    // A non-square terrain sloping up along x, with a noise layer and a sculpt entry after it.
    const auto terrain = std::make_shared<Terrain>(45, 29, 0.5f, Terrain::Generator::Flat, 0.0f, 0.0f, 0);
    for (size_t k = 0; k < size_t{45} * 29; ++k)
        terrain->basePositions[3 * k + 1] =
            0.05f * static_cast<float>(k / 29) + 0.01f * static_cast<float>(k % 7);
    auto noise = std::make_shared<Terrain::Heightmap>(terrain->width, terrain->height);
    noise->settings.power = 3.0f;
    noise->Update();
    terrain->heightmaps = {noise, Terrain::Heightmap::NewSculpt(terrain->width, terrain->height)};
    terrain->ApplyHeightmaps();
    Terrain::Heightmap& entry = *terrain->heightmaps[1];
    const Sculpt::GridFrame frame = terrain->Frame();
    Sculpt::Brush brush{Sculpt::Tool::RaiseLower, 3.0f, 1.0f};
    // A stroke that raises the far corner past the highest point (0.06 a dab, 80 dabs there: above the
    // slope's 2.2 and the noise's 3), and works inside with every tool.
    const float x1 = frame.x0 + 44 * 0.5f, z1 = frame.z0 + 28 * 0.5f;
    const std::tuple<Sculpt::Tool, float, float> dabs[] = {
        {Sculpt::Tool::RaiseLower, x1, z1},
        {Sculpt::Tool::RaiseLower, x1 - 1.0f, z1},
        {Sculpt::Tool::Smooth, frame.x0 + 10.0f, frame.z0 + 7.0f},
        {Sculpt::Tool::Flatten, frame.x0 + 12.0f, frame.z0 + 6.0f},
        {Sculpt::Tool::Noise, frame.x0 + 3.0f, frame.z0 + 1.0f}};
    for (int repeat = 0; repeat < 40; ++repeat)
        for (const auto& [tool, x, z] : dabs)
        {
            brush.tool = tool;
            ASSERT_FALSE(terrain->SculptDab(entry, brush, {x, z, false, terrain->maxHeight}).Empty());
        }
    EXPECT_TRUE(terrain->heightmapStale); // the range grew: the image waits for the stroke's end
    terrain->SettleHeights();
    EXPECT_FALSE(terrain->heightmapStale);
    ExpectAsRebuilt(*terrain, true);

    // With an erosion entry after the sculpt entry the heights move with the entry's until the next
    // apply; the rest (normals, images, the drawn mesh) still follows them.
    terrain->heightmaps.push_back(Terrain::Heightmap::NewErosion(terrain->width, terrain->height));
    terrain->heightmaps.back()->settings.erosion.hydraulic.droplets = 200;
    terrain->ApplyHeightmaps();
    const std::vector<float> before = terrain->positions, sculptBefore = entry.sculpt;
    brush.tool = Sculpt::Tool::RaiseLower;
    const TerrainGrid::Region changed = terrain->SculptDab(entry, brush, {frame.x0 + 11.0f, frame.z0 + 7.0f});
    terrain->SettleHeights();
    for (size_t k = 0; k < sculptBefore.size(); ++k)
        ASSERT_EQ(terrain->positions[3 * k + 1], before[3 * k + 1] + (entry.sculpt[k] - sculptBefore[k]))
            << k;
    EXPECT_EQ(changed.rowEnd - changed.rowBegin, 13u);
    ExpectAsRebuilt(*terrain, false);
}
} // namespace
