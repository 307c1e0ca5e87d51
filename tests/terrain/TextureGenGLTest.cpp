#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using terraintest::ReadTexture;

namespace
{
class TextureGenGLTest : public testsupport::GLTest
{
};

void AddGradient(Terrain& terrain, int32_t heightSpan, float slopeSpan, glm::vec4 color, float specular)
{
    terrain.gradients.push_back(
        std::make_unique<Gradient>(Gradient{heightSpan, 0, slopeSpan, color, specular}));
}

// A 32 x 8 terrain whose heightmap bytes run 0 .. 255 in pixel order: the textures are created and
// hold both bands in every channel.
TEST_F(TextureGenGLTest, HeightBandsReachTheTextures)
{
    Terrain terrain(32, 8, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    for (size_t k = 0; k < 256; ++k)
        terrain.heightmapTexture->data[k] = static_cast<uint8_t>(k);
    AddGradient(terrain, 127, 45.0f, {1.0f, 0.0f, 0.2f, 1.0f}, 0.2f);
    AddGradient(terrain, 128, 45.0f, {0.0f, 1.0f, 0.6f, 0.0f}, 1.0f);
    ASSERT_FALSE(terrain.diffuseTexture);
    terrain.GenerateDiffuseByHeight();
    ASSERT_TRUE(terrain.diffuseTexture && terrain.specularTexture);
    const std::vector<uint8_t> diffuse = ReadTexture(*terrain.diffuseTexture);
    const std::vector<uint8_t> specular = ReadTexture(*terrain.specularTexture);
    for (size_t k = 0; k < 256; ++k)
    {
        const bool second = k >= 127;
        ASSERT_EQ(std::vector<uint8_t>(diffuse.begin() + 3 * k, diffuse.begin() + 3 * k + 3),
                  (second ? std::vector<uint8_t>{0, 255, 153} : std::vector<uint8_t>{255, 0, 51}))
            << k;
        ASSERT_EQ(specular[k], second ? 255 : 51) << k;
    }
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

// Regenerating reuses the textures and clears every pixel no band covers, though it was painted before.
TEST_F(TextureGenGLTest, RegeneratingClearsPixelsNoBandCovers)
{
    Terrain terrain(4, 4, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    AddGradient(terrain, 255, 90.0f, {0.2f, 0.4f, 0.6f, 1.0f}, 0.6f);
    terrain.GenerateDiffuseBySlope();
    const Texture* diffuse = terrain.diffuseTexture.get();
    EXPECT_EQ(ReadTexture(*terrain.diffuseTexture)[47], 153);
    EXPECT_EQ(ReadTexture(*terrain.specularTexture)[15], 153);
    terrain.gradients.clear();
    terrain.GenerateDiffuseByHeight();
    EXPECT_EQ(terrain.diffuseTexture.get(), diffuse);
    EXPECT_EQ(ReadTexture(*terrain.diffuseTexture), std::vector<uint8_t>(48, 0));
    EXPECT_EQ(ReadTexture(*terrain.specularTexture), std::vector<uint8_t>(16, 0));
}

// 7 x 5 ramps rising along x (every vertex normal tilted by the same angle) under two bands of 45
// degrees each.
TEST_F(TextureGenGLTest, SlopeBandsOfFortyFiveDegrees)
{
    for (const float degrees : {0.0f, 30.0f, 44.0f, 46.0f, 60.0f, 85.0f})
    {
        Terrain terrain(7, 5, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
        std::vector<float> rise(35);
        for (size_t k = 0; k < 35; ++k)
            rise[k] = static_cast<float>(k / 5) * std::tan(degrees * 3.14159265f / 180.0f);
        terrain.AddHeights(rise.data(), 1.0f);
        terrain.RecalculateNormals();
        AddGradient(terrain, 0, 45.0f, {1.0f, 0.0f, 0.0f, 1.0f}, 0.0f);
        AddGradient(terrain, 0, 45.0f, {0.0f, 0.0f, 1.0f, 1.0f}, 1.0f);
        terrain.GenerateDiffuseBySlope();
        const std::vector<uint8_t> diffuse = ReadTexture(*terrain.diffuseTexture);
        const std::vector<uint8_t> specular = ReadTexture(*terrain.specularTexture);
        const uint8_t blue = degrees < 45.0f ? 0 : 255;
        for (size_t k = 0; k < 35; ++k)
        {
            ASSERT_EQ(diffuse[3 * k], 255 - blue) << degrees << " degrees, pixel " << k;
            ASSERT_EQ(diffuse[3 * k + 2], blue) << degrees << " degrees, pixel " << k;
            ASSERT_EQ(specular[k], blue) << degrees << " degrees, pixel " << k;
        }
    }
}
} // namespace
