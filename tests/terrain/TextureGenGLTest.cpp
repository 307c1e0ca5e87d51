#include "terrain/Terrain.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"

using terraintest::ReadTexture;

namespace
{
using TextureGenGLTest = testsupport::GLTest;

// Painting creates the textures; painting again reuses them and clears every pixel no band covers. (The
// bands' colours: TextureGenTest; the painted bytes: the session's headless build.)
TEST_F(TextureGenGLTest, RegeneratingReusesTheTexturesAndClearsUncoveredPixels)
{
    Terrain terrain(32, 8, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    // Height span, decay, slope span, colour, specular.
    terrain.gradients.push_back(
        std::make_unique<Gradient>(Gradient{255, 0, 45.0f, {1.0f, 0.0f, 0.2f, 1.0f}, 0.2f}));
    ASSERT_FALSE(terrain.diffuseTexture);
    terrain.GenerateDiffuseByHeight();
    ASSERT_TRUE(terrain.diffuseTexture && terrain.specularTexture);
    EXPECT_NE(ReadTexture(*terrain.specularTexture), std::vector<uint8_t>(256, 0));

    const Texture* kept = terrain.diffuseTexture.get();
    terrain.gradients.clear();
    terrain.GenerateDiffuseByHeight();
    EXPECT_EQ(terrain.diffuseTexture.get(), kept);
    EXPECT_EQ(ReadTexture(*terrain.diffuseTexture), std::vector<uint8_t>(768, 0));
    EXPECT_EQ(ReadTexture(*terrain.specularTexture), std::vector<uint8_t>(256, 0));
    EXPECT_EQ(testsupport::DrainGLErrors(), 0);
}

// Ramps rising along x (every vertex normal tilted by the same angle) under two bands of 45 degrees.
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
        for (const float blue : {0.0f, 1.0f}) // a red band, then a blue one with full specular
            terrain.gradients.push_back(
                std::make_unique<Gradient>(Gradient{0, 0, 45.0f, {1.0f - blue, 0.0f, blue, 1.0f}, blue}));
        terrain.GenerateDiffuseBySlope();
        const uint8_t blue = degrees < 45.0f ? 0 : 255;
        std::vector<uint8_t> diffuse;
        for (size_t k = 0; k < 35; ++k)
            diffuse.insert(diffuse.end(), {static_cast<uint8_t>(255 - blue), 0, blue});
        EXPECT_EQ(ReadTexture(*terrain.diffuseTexture), diffuse) << degrees << " degrees";
        EXPECT_EQ(ReadTexture(*terrain.specularTexture), std::vector<uint8_t>(35, blue))
            << degrees << " degrees";
    }
}
} // namespace
