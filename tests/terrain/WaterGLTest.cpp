#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "terrain/Water.h"
#include "terrain/WaterPlane.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using testsupport::LogCapture;

namespace
{
class WaterGLTest : public testsupport::GLTest
{
};

std::vector<uint8_t> ReadWatermap(const Terrain& terrain)
{
    const Texture& texture = *terrain.watermapTexture;
    std::vector<uint8_t> pixels(texture.ByteSize());
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

template <typename T> std::vector<T> ReadBuffer(GLuint buffer, size_t count)
{
    std::vector<T> values(count);
    glBindBuffer(GL_COPY_READ_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(T)), values.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return values;
}

std::vector<uint8_t> Map(std::initializer_list<int> kinds) // 0 dry, 1 edge, 2 full per pixel
{
    std::vector<uint8_t> bytes;
    for (int kind : kinds)
    {
        const auto& pixel = kind == 2 ? Water::kFullWater : Water::kEdgeWater;
        if (kind == 0)
            bytes.insert(bytes.end(), {0, 0, 0, 0});
        else
            bytes.insert(bytes.end(), pixel.begin(), pixel.end());
    }
    return bytes;
}

TEST_F(WaterGLTest, PourOnAFlatGridThenOutline)
{
    Terrain terrain(3, 3, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.PourWater(4);
    EXPECT_EQ(ReadWatermap(terrain), Map({2, 2, 2, 0, 0, 2, 2, 2, 2}));
    terrain.OutlineWater();
    EXPECT_EQ(ReadWatermap(terrain), Map({2, 2, 2, 1, 1, 2, 2, 2, 2}));
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(WaterGLTest, FloodWaterReadsTheHeightmapTexture)
{
    Terrain terrain(5, 5, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    std::memset(terrain.heightmapTexture->data.get(), 50, 25);
    terrain.heightmapTexture->data[12] = 10;
    std::vector<uint8_t> visited(25, 0);
    std::deque<uint32_t> result;
    uint32_t level = 0;
    terrain.FloodWater(12, {0, 0, 255, 255}, result, visited.data(), level);
    EXPECT_EQ(result, std::deque<uint32_t>{12});
    EXPECT_NE(visited[12], 0);
    EXPECT_EQ(visited[0], 0);
}

// One full pixel in the middle of a 7 x 7 terrain, outlined: a 5 x 5 plane lifted to the pixel's height,
// with the water map as its texture once the editor sets it.
TEST_F(WaterGLTest, PlaneOfAnOutlinedPixel)
{
    Terrain terrain(7, 7, 2.0f, Terrain::Generator::Flat, 0, 0, 0);
    std::vector<float> heights(49, 0.0f);
    for (size_t k = 0; k < 49; ++k)
        heights[k] = static_cast<float>(k % 5);
    heights[24] = 3.25f;
    terrain.AddHeights(heights.data(), 1.0f);
    std::memcpy(&terrain.watermapTexture->data[4 * 24], Water::kFullWater.data(), 4);
    terrain.OutlineWater();

    LogCapture log;
    auto plane = std::make_shared<Terrain::WaterPlane>(&terrain);
    EXPECT_EQ(log.Count(spdlog::level::trace, "Setting waterplane height to 3.25"), 1) << log.Dump();
    EXPECT_EQ(plane->terrain, &terrain);
    EXPECT_EQ(plane->width, 7u);
    EXPECT_EQ(plane->vertexDistance, 2.0f);
    ASSERT_EQ(plane->vertexCount, 25u);
    EXPECT_EQ(plane->indexCount, 4u * 4u * 6u);
    EXPECT_EQ(plane->mesh->vertexCount, 25u);
    EXPECT_EQ(plane->mesh->indexCount, 96u);
    ASSERT_EQ(plane->mesh->entries.size(), 1u);
    EXPECT_EQ(plane->mesh->entries[0].indexCount, 96u);
    EXPECT_EQ(plane->mesh->entries[0].specular, glm::vec3(0.1f));
    EXPECT_EQ(plane->mesh->entries[0].shininess, 1.0f);
    EXPECT_TRUE(plane->mesh->hasNormals);
    EXPECT_TRUE(plane->mesh->hasTexCoords);

    const std::vector<float> positions = ReadBuffer<float>(plane->mesh->vertexBuffer, 75);
    EXPECT_EQ(positions, plane->positions);
    for (size_t v = 0; v < 25; ++v)
        EXPECT_EQ(positions[3 * v + 1], 3.25f);
    EXPECT_EQ(positions[0], -4.0f); // the first vertex is pixel (1, 1): x = (1 - 3) * 2
    EXPECT_EQ(positions[2], -4.0f);
    EXPECT_EQ(ReadBuffer<uint32_t>(plane->mesh->indexBuffer, 96), plane->indices);
    EXPECT_EQ(ReadBuffer<float>(plane->mesh->texCoordBuffer, 50), plane->texCoords);
    EXPECT_EQ(ReadBuffer<float>(plane->mesh->normalBuffer, 75), plane->normals);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

// No water (or no grid at all) gives a plane without vertices that uploads and logs nothing wrong.
TEST_F(WaterGLTest, PlanesWithoutWaterAreEmptyAndQuiet)
{
    Terrain terrain(4, 4, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    Terrain empty(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    empty.PourWater(0);
    empty.OutlineWater();
    empty.ClearWater();
    LogCapture log;
    for (Terrain* t : {&terrain, &empty})
    {
        Terrain::WaterPlane plane(t);
        EXPECT_EQ(plane.vertexCount, 0u);
        EXPECT_EQ(plane.indexCount, 0u);
        EXPECT_TRUE(plane.positions.empty());
        EXPECT_EQ(plane.mesh->entries.size(), 1u);
    }
    EXPECT_EQ(log.CountAtLeast(spdlog::level::warn), 0) << log.Dump();
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(WaterGLTest, ClearWaterEmptiesTheMapAndDropsThePlane)
{
    Terrain terrain(5, 4, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.PourWater(7);
    terrain.OutlineWater();
    terrain.waterPlane = std::make_shared<Terrain::WaterPlane>(&terrain);
    ASSERT_GT(terrain.waterPlane->vertexCount, 0u);
    terrain.ClearWater();
    EXPECT_FALSE(terrain.waterPlane);
    EXPECT_EQ(ReadWatermap(terrain), std::vector<uint8_t>(80, 0));
    EXPECT_EQ(std::vector<uint8_t>(terrain.watermapTexture->data.get(), terrain.watermapTexture->data.get() + 80),
              std::vector<uint8_t>(80, 0));
}

} // namespace
