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
using TextureGenGLTest = testsupport::GLTest;

void AddGradient(Terrain& terrain, int32_t heightSpan, float slopeSpan, glm::vec4 color, float specular)
{
    terrain.gradients.push_back(
        std::make_unique<Gradient>(Gradient{heightSpan, 0, slopeSpan, color, specular}));
}

// A 32 x 8 terrain whose heightmap bytes run 0 .. 255 in pixel order: the textures are created and
// hold both bands in every channel. Painting again reuses them and clears every pixel no band covers.
TEST_F(TextureGenGLTest, HeightBandsReachTheTexturesAndRegeneratingClearsUncoveredPixels)
{
    Terrain terrain(32, 8, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    for (size_t k = 0; k < 256; ++k)
        terrain.heightmapTexture->data[k] = static_cast<uint8_t>(k);
    AddGradient(terrain, 127, 45.0f, {1.0f, 0.0f, 0.2f, 1.0f}, 0.2f);
    AddGradient(terrain, 128, 45.0f, {0.0f, 1.0f, 0.6f, 0.0f}, 1.0f);
    ASSERT_FALSE(terrain.diffuseTexture);
    terrain.GenerateDiffuseByHeight();
    ASSERT_TRUE(terrain.diffuseTexture && terrain.specularTexture);
    std::vector<uint8_t> diffuse, specular;
    for (size_t k = 0; k < 256; ++k)
    {
        const bool second = k >= 127;
        diffuse.insert(diffuse.end(),
                       {uint8_t(second ? 0 : 255), uint8_t(second ? 255 : 0), uint8_t(second ? 153 : 51)});
        specular.push_back(second ? 255 : 51);
    }
    EXPECT_EQ(ReadTexture(*terrain.diffuseTexture), diffuse);
    EXPECT_EQ(ReadTexture(*terrain.specularTexture), specular);

    const Texture* kept = terrain.diffuseTexture.get();
    terrain.gradients.clear();
    terrain.GenerateDiffuseByHeight();
    EXPECT_EQ(terrain.diffuseTexture.get(), kept);
    EXPECT_EQ(ReadTexture(*terrain.diffuseTexture), std::vector<uint8_t>(768, 0));
    EXPECT_EQ(ReadTexture(*terrain.specularTexture), std::vector<uint8_t>(256, 0));
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
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
