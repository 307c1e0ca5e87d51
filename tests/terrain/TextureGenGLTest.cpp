#include "render/Texture.h"
#include "terrain/Terrain.h"
#include "tests/support/GLTestEnvironment.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
class TextureGenGLTest : public testsupport::GLTest
{
};

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

void AddGradient(Terrain& terrain, int32_t heightSpan, float slopeSpan, glm::vec4 color, float specular)
{
    auto g = std::make_unique<Gradient>();
    g->heightSpan = heightSpan;
    g->slopeSpan = slopeSpan;
    g->color = color;
    g->specular = specular;
    terrain.gradients.push_back(std::move(g));
}

// A 16 x 16 terrain whose heightmap bytes run 0 .. 255 in pixel order.
TEST_F(TextureGenGLTest, HeightBandsReachTheTextures)
{
    Terrain terrain(16, 16, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    for (size_t k = 0; k < 256; ++k)
        terrain.heightmapTexture->data[k] = static_cast<uint8_t>(k);
    AddGradient(terrain, 127, 45.0f, {1.0f, 0.0f, 0.2f, 1.0f}, 0.2f);
    AddGradient(terrain, 128, 45.0f, {0.0f, 1.0f, 0.6f, 0.0f}, 1.0f);
    ASSERT_FALSE(terrain.diffuseTexture);
    terrain.GenerateDiffuseByHeight();

    ASSERT_TRUE(terrain.diffuseTexture);
    ASSERT_TRUE(terrain.specularTexture);
    EXPECT_EQ(terrain.diffuseTexture->channels, 3u);
    EXPECT_FALSE(terrain.diffuseTexture->mipmaps);
    EXPECT_EQ(terrain.specularTexture->channels, 1u);
    EXPECT_FALSE(terrain.specularTexture->mipmaps);
    const std::vector<uint8_t> diffuse = ReadTexture(*terrain.diffuseTexture, GL_RGB, 3);
    const std::vector<uint8_t> specular = ReadTexture(*terrain.specularTexture, GL_RED, 1);
    for (size_t k = 0; k < 256; ++k)
    {
        const bool second = k >= 127;
        ASSERT_EQ(diffuse[3 * k], second ? 0 : 255) << k;
        ASSERT_EQ(diffuse[3 * k + 1], second ? 255 : 0) << k;
        ASSERT_EQ(diffuse[3 * k + 2], second ? 153 : 51) << k;
        ASSERT_EQ(specular[k], second ? 255 : 51) << k;
    }
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

TEST_F(TextureGenGLTest, NoGradientsGiveBlackTextures)
{
    Terrain terrain(4, 4, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.GenerateDiffuseBySlope();
    ASSERT_TRUE(terrain.diffuseTexture);
    EXPECT_TRUE(terrain.diffuseTexture->mipmaps); // made by the slope mode
    EXPECT_EQ(ReadTexture(*terrain.diffuseTexture, GL_RGB, 3), std::vector<uint8_t>(48, 0));
    EXPECT_EQ(ReadTexture(*terrain.specularTexture, GL_RED, 1), std::vector<uint8_t>(16, 0));

    // Regenerating keeps the textures and replaces their pixels.
    const Texture* diffuse = terrain.diffuseTexture.get();
    AddGradient(terrain, 255, 90.0f, {0.2f, 0.4f, 0.6f, 1.0f}, 0.0f);
    terrain.GenerateDiffuseByHeight();
    EXPECT_EQ(terrain.diffuseTexture.get(), diffuse);
    const std::vector<uint8_t> texels = ReadTexture(*terrain.diffuseTexture, GL_RGB, 3);
    EXPECT_EQ(texels[0], 51);
    EXPECT_EQ(texels[47], 153);
}

// A plane tilted about the z axis: every vertex normal is tilted by the same angle.
std::unique_ptr<Terrain> Ramp(float degrees)
{
    auto terrain = std::make_unique<Terrain>(6, 6, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    std::vector<float> rise(36);
    for (uint32_t i = 0; i < 6; ++i)
        for (uint32_t j = 0; j < 6; ++j)
            rise[i * 6 + j] = static_cast<float>(i) * std::tan(degrees * 3.14159265f / 180.0f);
    terrain->AddHeights(rise.data(), 1.0f);
    terrain->RecalculateNormals();
    AddGradient(*terrain, 0, 45.0f, {1.0f, 0.0f, 0.0f, 1.0f}, 0.0f);
    AddGradient(*terrain, 0, 45.0f, {0.0f, 0.0f, 1.0f, 1.0f}, 1.0f);
    terrain->GenerateDiffuseBySlope();
    return terrain;
}

TEST_F(TextureGenGLTest, SlopeBandsOfFortyFiveDegrees)
{
    const struct
    {
        float degrees;
        uint8_t red, blue;
    } cases[] = {{0.0f, 255, 0}, {30.0f, 255, 0}, {44.0f, 255, 0}, {46.0f, 0, 255}, {60.0f, 0, 255}, {85.0f, 0, 255}};
    for (const auto& c : cases)
    {
        const auto terrain = Ramp(c.degrees);
        const std::vector<uint8_t> diffuse = ReadTexture(*terrain->diffuseTexture, GL_RGB, 3);
        const std::vector<uint8_t> specular = ReadTexture(*terrain->specularTexture, GL_RED, 1);
        for (size_t k = 0; k < 36; ++k)
        {
            ASSERT_EQ(diffuse[3 * k], c.red) << c.degrees << " degrees, pixel " << k;
            ASSERT_EQ(diffuse[3 * k + 2], c.blue) << c.degrees << " degrees, pixel " << k;
            ASSERT_EQ(specular[k], c.blue) << c.degrees << " degrees, pixel " << k;
        }
    }
}

TEST_F(TextureGenGLTest, EmptyTerrainGeneratesNothing)
{
    Terrain terrain(0, 0, 1.0f, Terrain::Generator::Flat, 10.0f, 0.5f, 0);
    AddGradient(terrain, 255, 90.0f, {1.0f, 1.0f, 1.0f, 1.0f}, 1.0f);
    terrain.GenerateDiffuseByHeight();
    terrain.GenerateDiffuseBySlope();
    EXPECT_FALSE(terrain.diffuseTexture);
    EXPECT_FALSE(terrain.specularTexture);
}
} // namespace
