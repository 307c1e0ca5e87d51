#include "render/Texture.h"
#include "terrain/Generators.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainGrid.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <vector>

using testsupport::LogCapture;

namespace
{
class TerrainGLTest : public testsupport::GLTest
{
};

template <typename T> std::vector<T> ReadBuffer(GLuint buffer, size_t count)
{
    std::vector<T> values(count);
    glBindBuffer(GL_COPY_READ_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(T)), values.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return values;
}

std::vector<uint8_t> ReadTexture(const Texture& texture, GLenum format, size_t bytesPerTexel)
{
    std::vector<uint8_t> pixels(size_t{texture.width} * texture.height * bytesPerTexel);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

std::vector<float> Heights(const std::vector<float>& positions)
{
    std::vector<float> y;
    for (size_t n = 1; n < positions.size(); n += 3)
        y.push_back(positions[n]);
    return y;
}

std::vector<std::string> CriticalLines(const LogCapture& log)
{
    std::vector<std::string> lines;
    for (const auto& record : log.Records())
        if (record.level == spdlog::level::critical) lines.push_back(record.text);
    return lines;
}

TEST_F(TerrainGLTest, FlatThreeByThreeTerrainOnTheGpu)
{
    Terrain terrain(3, 3, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    ASSERT_FALSE(terrain.IsEmpty());
    EXPECT_EQ(terrain.vertexCount, 9u);
    EXPECT_EQ(terrain.indexCount, 24u);
    EXPECT_EQ(terrain.minHeight, 0.0f);
    EXPECT_EQ(terrain.maxHeight, 0.0f);

    const std::vector<float> positions = ReadBuffer<float>(terrain.mesh->vertexBuffer, 27);
    const std::vector<float> normals = ReadBuffer<float>(terrain.mesh->normalBuffer, 27);
    const std::vector<float> texCoords = ReadBuffer<float>(terrain.mesh->texCoordBuffer, 18);
    const std::vector<uint32_t> indices = ReadBuffer<uint32_t>(terrain.mesh->indexBuffer, 24);
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 3, 1, 1, 3, 4, 1, 4, 2, 2, 4, 5,
                                              3, 6, 4, 4, 6, 7, 4, 7, 5, 5, 7, 8}));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            const int k = i * 3 + j;
            EXPECT_EQ(positions[3 * k], static_cast<float>(i - 1));
            EXPECT_EQ(positions[3 * k + 1], 0.0f);
            EXPECT_EQ(positions[3 * k + 2], static_cast<float>(j - 1));
            EXPECT_EQ(normals[3 * k], 0.0f);
            EXPECT_EQ(normals[3 * k + 1], 1.0f);
            EXPECT_EQ(normals[3 * k + 2], 0.0f);
            EXPECT_EQ(texCoords[2 * k], 0.5f * static_cast<float>(j));
            EXPECT_EQ(texCoords[2 * k + 1], 0.5f * static_cast<float>(i));
        }
    EXPECT_EQ(positions, terrain.positions);
    EXPECT_EQ(terrain.basePositions, terrain.positions);

    ASSERT_TRUE(terrain.normalTexture);
    const std::vector<uint8_t> normalTexels = ReadTexture(*terrain.normalTexture, GL_RGB, 3);
    for (size_t k = 0; k < 9; ++k)
    {
        EXPECT_EQ(normalTexels[3 * k], 127);
        EXPECT_EQ(normalTexels[3 * k + 1], 127);
        EXPECT_EQ(normalTexels[3 * k + 2], 255);
    }
    ASSERT_TRUE(terrain.heightmapTexture);
    EXPECT_EQ(ReadTexture(*terrain.heightmapTexture, GL_RED, 1), std::vector<uint8_t>(9, 0));
    ASSERT_TRUE(terrain.watermapTexture);
    EXPECT_EQ(terrain.watermapTexture->channels, 4u);

    ASSERT_EQ(terrain.mesh->entries.size(), 1u);
    const MeshEntry& entry = terrain.mesh->entries[0];
    EXPECT_EQ(entry.texture, terrain.heightmapTexture->id);
    EXPECT_EQ(entry.indexCount, 24u);
    EXPECT_EQ(entry.specular, glm::vec3(0.1f));
    EXPECT_EQ(entry.shininess, 1.0f);
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(TerrainGLTest, NormalsOfARoughGridMatchTheDirectRuleOnTheGpu)
{
    Terrain terrain(6, 5, 0.5f, Terrain::Generator::Flat, 0, 0, 0);
    std::mt19937 engine(3);
    std::uniform_real_distribution<float> heights(-2.0f, 2.0f);
    for (size_t k = 0; k < 30; ++k)
        terrain.positions[3 * k + 1] = heights(engine);
    terrain.RecalculateNormals();

    const std::vector<float> normals = ReadBuffer<float>(terrain.mesh->normalBuffer, 90);
    const std::vector<uint8_t> texels = ReadTexture(*terrain.normalTexture, GL_RGB, 3);
    for (uint32_t i = 0; i < 6; ++i)
        for (uint32_t j = 0; j < 5; ++j)
        {
            const size_t k = i * 5 + j;
            float direct[3];
            TerrainGrid::VertexNormalDirect(terrain.positions.data(), 6, 5, i, j, direct);
            EXPECT_EQ(std::memcmp(direct, &normals[3 * k], sizeof direct), 0) << i << ", " << j;
            EXPECT_EQ(texels[3 * k], TerrainGrid::NormalByte(direct[0]));
            EXPECT_EQ(texels[3 * k + 1], TerrainGrid::NormalByte(direct[2]));
            EXPECT_EQ(texels[3 * k + 2], TerrainGrid::NormalByte(direct[1]));
        }

    // TriangleNormal of the first listed triangle.
    float n[3];
    terrain.TriangleNormal(n, terrain.indices[0], terrain.indices[1], terrain.indices[2]);
    float expected[3];
    TerrainGrid::TriangleNormal(&terrain.positions[0], &terrain.positions[15], &terrain.positions[3],
                                expected);
    EXPECT_EQ(std::memcmp(n, expected, sizeof n), 0);
}

struct DiamondCase
{
    uint32_t side;
    std::vector<std::string> lines;
};

class TerrainDiamondGLTest : public TerrainGLTest, public ::testing::WithParamInterface<DiamondCase>
{
};

TEST_P(TerrainDiamondGLTest, GeneratesFromZeroAndDrawsTheShiftedHeights)
{
    const DiamondCase& c = GetParam();
    LogCapture log;
    Terrain terrain(c.side, c.side, 1.0f, Terrain::Generator::DiamondSquare, 10.0f, 0.5f, 0);
    EXPECT_EQ(CriticalLines(log), c.lines);

    const std::vector<float> y = Heights(terrain.positions);
    EXPECT_EQ(*std::min_element(y.begin(), y.end()), 0.0f);
    EXPECT_EQ(terrain.minHeight, 0.0f);
    EXPECT_EQ(terrain.maxHeight, *std::max_element(y.begin(), y.end()));
    EXPECT_GT(terrain.maxHeight, 0.0f);
    EXPECT_EQ(terrain.basePositions, terrain.positions);
    // The mesh was uploaded again after the shift.
    EXPECT_EQ(ReadBuffer<float>(terrain.mesh->vertexBuffer, terrain.positions.size()), terrain.positions);
    // The heightmap texture spans 0 .. 255.
    const std::vector<uint8_t> texels = ReadTexture(*terrain.heightmapTexture, GL_RED, 1);
    EXPECT_EQ(*std::min_element(texels.begin(), texels.end()), 0);
    EXPECT_GE(*std::max_element(texels.begin(), texels.end()), 254);
}

INSTANTIATE_TEST_SUITE_P(Sides, TerrainDiamondGLTest,
                         ::testing::Values(DiamondCase{3, {"Step: 1", "Diamond size: 1", "Square sizes: 4"}},
                                           DiamondCase{5,
                                                       {"Step: 2", "Diamond size: 1", "Square sizes: 4",
                                                        "Step: 1", "Diamond size: 4", "Square sizes: 12"}}));

TEST_F(TerrainGLTest, DiamondSquareWithAWrongSideIsRefusedAndLeavesAUsableFlatTerrain)
{
    for (uint32_t side : {2u, 10u})
    {
        LogCapture log;
        Terrain terrain(side, side, 1.0f, Terrain::Generator::DiamondSquare, 10.0f, 0.5f, 0);
        EXPECT_TRUE(
            log.Has(spdlog::level::err, "Tried to generate diamond square with wrong diameters. Diameter = " +
                                            std::to_string(side) + " (Has to be 2^n + 1)"))
            << log.Dump();
        EXPECT_TRUE(CriticalLines(log).empty());
        ASSERT_FALSE(terrain.IsEmpty());
        const std::vector<float> y = Heights(terrain.positions);
        EXPECT_EQ(y, std::vector<float>(size_t{side} * side, 0.0f));
        EXPECT_TRUE(terrain.heightmapTexture && terrain.normalTexture && terrain.watermapTexture);
    }
}

TEST_F(TerrainGLTest, DiamondSquareWithDifferentSidesGivesAnEmptyTerrain)
{
    LogCapture log;
    Terrain terrain(17, 9, 1.0f, Terrain::Generator::DiamondSquare, 10.0f, 0.5f, 0);
    EXPECT_TRUE(log.Has(
        spdlog::level::warn,
        "Terrain created with the diamond square algorithm cannot be of different width and height."));
    EXPECT_TRUE(terrain.IsEmpty());
    EXPECT_EQ(terrain.width, 17u);
    EXPECT_EQ(terrain.height, 9u);
    EXPECT_FALSE(terrain.heightmapTexture);
    EXPECT_FALSE(terrain.normalTexture);
}

TEST_F(TerrainGLTest, RandomFaultWithoutIterationsIsFlatAndWithOneHasTwoLevels)
{
    Terrain none(9, 7, 1.0f, Terrain::Generator::RandomFault, 10.0f, 0.5f, 0);
    EXPECT_EQ(Heights(none.positions), std::vector<float>(63, 0.0f));

    for (uint32_t seed = 0; seed < 10; ++seed)
    {
        Terrain terrain(9, 7, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
        GeneratorRandom random(seed);
        terrain.GenerateRandomFault(10.0f, 0.5f, 1, random);
        const std::vector<float> y = Heights(terrain.positions);
        const std::set<float> levels(y.begin(), y.end());
        EXPECT_LE(levels.size(), 2u);
        EXPECT_EQ(*levels.begin(), 0.0f);
        EXPECT_EQ(terrain.minHeight, 0.0f);
        EXPECT_EQ(terrain.maxHeight, *levels.rbegin());
        EXPECT_EQ(ReadBuffer<float>(terrain.mesh->vertexBuffer, terrain.positions.size()), terrain.positions);
    }
}

TEST_F(TerrainGLTest, ShiftHeightsToZeroKeepsTheRange)
{
    Terrain terrain(3, 2, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    const float add[6] = {-1.5f, 2.0f, 0.25f, -3.0f, 1.0f, 0.0f};
    terrain.AddHeights(add, 2.0f);
    EXPECT_EQ(terrain.minHeight, -6.0f);
    EXPECT_EQ(terrain.maxHeight, 4.0f);
    terrain.ShiftHeightsToZero();
    EXPECT_EQ(terrain.minHeight, 0.0f);
    EXPECT_EQ(terrain.maxHeight, 10.0f);
    EXPECT_EQ(terrain.positions[3 * 3 + 1], 0.0f);
}

TEST_F(TerrainGLTest, TerrainTooLargeForThirtyTwoBitCountsIsRefused)
{
    LogCapture log;
    Terrain terrain(70000, 70000, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    EXPECT_TRUE(
        log.Has(spdlog::level::err,
                "Terrain 70000 x 70000 is too large: its vertex or index count does not fit 32 bits."));
    EXPECT_TRUE(terrain.IsEmpty());
    EXPECT_EQ(terrain.vertexCount, 0u);
    EXPECT_FALSE(terrain.heightmapTexture);
}

TEST_F(TerrainGLTest, EmptyTerrainHasNoArraysAndNoTextures)
{
    Terrain terrain(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    EXPECT_TRUE(terrain.IsEmpty());
    EXPECT_FALSE(terrain.heightmapTexture);
    EXPECT_FALSE(terrain.BuildMesh(0, 4, 1.0f));
    terrain.ApplyHeightmaps(); // nothing to do, nothing read
}
} // namespace
