#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <memory>
#include <vector>

using testsupport::LogCapture;
using testsupport::TempDir;
using Heightmap = Terrain::Heightmap;

namespace
{
class HeightmapGLTest : public testsupport::GLTest
{
};

std::vector<float> ReadVertices(const Terrain& terrain)
{
    std::vector<float> values(terrain.positions.size());
    glBindBuffer(GL_COPY_READ_BUFFER, terrain.mesh->vertexBuffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(values.size() * sizeof(float)),
                       values.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return values;
}

std::vector<uint8_t> ReadRed(const Texture& texture)
{
    std::vector<uint8_t> pixels(size_t{texture.width} * texture.height);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

std::vector<uint8_t> Bytes(const Texture& texture)
{
    return std::vector<uint8_t>(texture.data.get(), texture.data.get() + texture.ByteSize());
}

// Writes an image whose pixel buffer, as the program reads it (bottom row first), is pixels.
void WriteImage(const std::string& path, int width, int height, int channels,
                const std::vector<uint8_t>& pixels)
{
    stbi_flip_vertically_on_write(1);
    ASSERT_TRUE(stbi_write_png(path.c_str(), width, height, channels, pixels.data(), width * channels));
}

TEST_F(HeightmapGLTest, NewNoiseLayerHoldsNoiseAtOnce)
{
    Heightmap layer(33, 17);
    EXPECT_FALSE(layer.isTexture);
    EXPECT_EQ(layer.channels, 1u);
    EXPECT_EQ(layer.noise.noiseType, NoiseGenerator::Perlin);
    const std::vector<uint8_t> image = Bytes(layer);
    EXPECT_EQ(*std::min_element(image.begin(), image.end()), 0);
    EXPECT_EQ(*std::max_element(image.begin(), image.end()), 255);
    EXPECT_EQ(ReadRed(layer), image);
    EXPECT_TRUE(layer.states.empty());
}

TEST_F(HeightmapGLTest, UpdateCopiesFractalSettingsOnlyWithAFractalMode)
{
    Heightmap layer(8, 8);
    layer.settings.octaves = 5;
    layer.settings.gain = 0.25f;
    layer.settings.lacunarity = 3.0f;
    layer.Update();
    EXPECT_EQ(layer.noise.octaves, 3); // fractal type 0: untouched
    layer.settings.fractalType = NoiseGenerator::FBm;
    layer.Update();
    EXPECT_EQ(layer.noise.octaves, 5);
    EXPECT_EQ(layer.noise.lacunarity, 3.0f);
    EXPECT_FLOAT_EQ(layer.noise.fractalBounding, 1.0f / (1.0f + 0.25f + 0.0625f + 0.015625f + 0.00390625f));
}

TEST_F(HeightmapGLTest, ApplyHeightmapsTwiceEqualsOnceAndAnEmptyListRestoresTheBase)
{
    Terrain terrain(17, 17, 1.0f, Terrain::Generator::DiamondSquare, 5.0f, 0.5f, 0);
    const std::vector<float> base = terrain.positions;
    auto first = std::make_shared<Heightmap>(17, 17);
    auto second = std::make_shared<Heightmap>(17, 17);
    second->settings.noiseType = NoiseGenerator::Value;
    second->settings.power = -2.5f;
    second->Update();
    terrain.heightmaps = {first, second};

    terrain.ApplyHeightmaps();
    const std::vector<float> once = terrain.positions;
    const std::vector<uint8_t> heightTexels = ReadRed(*terrain.heightmapTexture);
    EXPECT_NE(once, base);
    terrain.ApplyHeightmaps();
    EXPECT_EQ(terrain.positions, once);
    EXPECT_EQ(ReadVertices(terrain), once);
    EXPECT_EQ(ReadRed(*terrain.heightmapTexture), heightTexels);
    for (size_t k = 0; k < 17 * 17; ++k)
    {
        const float expected = base[3 * k + 1] + static_cast<float>(first->data[k]) * 0.003921569f * 1.0f +
                               static_cast<float>(second->data[k]) * 0.003921569f * -2.5f;
        ASSERT_EQ(once[3 * k + 1], expected) << k;
    }
    std::vector<float> y;
    for (size_t k = 0; k < 17 * 17; ++k)
        y.push_back(once[3 * k + 1]);
    EXPECT_EQ(terrain.minHeight, *std::min_element(y.begin(), y.end()));
    EXPECT_EQ(terrain.maxHeight, *std::max_element(y.begin(), y.end()));

    terrain.heightmaps.clear();
    terrain.ApplyHeightmaps();
    EXPECT_EQ(terrain.positions, base);
    EXPECT_EQ(ReadVertices(terrain), base);
    EXPECT_EQ(terrain.minHeight, 0.0f);
}

TEST_F(HeightmapGLTest, ThreeChannelLayerContributesGreen)
{
    TempDir dir;
    const uint32_t w = 4, h = 3;
    std::vector<uint8_t> pixels(w * h * 3);
    for (size_t k = 0; k < w * h; ++k)
    {
        pixels[3 * k] = 200;
        pixels[3 * k + 1] = static_cast<uint8_t>(20 * k);
        pixels[3 * k + 2] = 100;
    }
    WriteImage(dir / "layer.png", w, h, 3, pixels);

    std::string error;
    std::shared_ptr<Heightmap> layer = Heightmap::LoadTextureLayer(dir / "layer.png", w, h, &error);
    ASSERT_TRUE(layer) << error;
    EXPECT_TRUE(layer->isTexture);
    EXPECT_EQ(layer->name, dir / "layer.png");
    layer->settings.power = 3.0f;
    layer->Update(); // a texture layer keeps its image
    EXPECT_EQ(Bytes(*layer), pixels);

    Terrain terrain(w, h, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.heightmaps = {layer};
    terrain.ApplyHeightmaps();
    for (size_t k = 0; k < w * h; ++k)
        EXPECT_EQ(terrain.positions[3 * k + 1], static_cast<float>(20 * k) * 0.003921569f * 3.0f) << k;
}

TEST_F(HeightmapGLTest, LayerImagesOfAnotherSizeOrUnreadableAreRefused)
{
    TempDir dir;
    WriteImage(dir / "small.png", 3, 5, 1, std::vector<uint8_t>(15, 9));
    {
        LogCapture log;
        std::string error;
        EXPECT_FALSE(Heightmap::LoadTextureLayer(dir / "small.png", 5, 3, &error));
        const std::string expected =
            "Layer image " + (dir / "small.png") + " is 3 x 5, the terrain is 5 x 3.";
        EXPECT_EQ(error, expected);
        EXPECT_TRUE(log.Has(spdlog::level::err, expected)) << log.Dump();
    }
    {
        LogCapture log;
        std::string error;
        EXPECT_FALSE(Heightmap::LoadTextureLayer(dir / "missing.png", 5, 3, &error));
        EXPECT_EQ(error, "Layer image " + (dir / "missing.png") + " could not be read.");
        EXPECT_TRUE(log.Has(spdlog::level::err, error));
    }
}

TEST_F(HeightmapGLTest, ApplyingSkipsALayerThatDoesNotFitTheTerrain)
{
    TempDir dir;
    WriteImage(dir / "small.png", 2, 2, 1, std::vector<uint8_t>(4, 255));
    auto wrong = std::make_shared<Heightmap>(dir / "small.png"); // bypasses the load check
    auto missing = std::make_shared<Heightmap>(dir / "missing.png");
    Terrain terrain(5, 5, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.heightmaps = {wrong, missing};

    LogCapture log;
    terrain.ApplyHeightmaps();
    EXPECT_EQ(log.Count(spdlog::level::warn,
                        "Layer " + (dir / "small.png") +
                            " skipped: its image is 2 x 2 with 1 channels, the terrain is 5 x 5."),
              1)
        << log.Dump();
    EXPECT_EQ(log.Count(spdlog::level::warn,
                        "Layer " + (dir / "missing.png") +
                            " skipped: its image is 4 x 4 with 0 channels, the terrain is 5 x 5."),
              1)
        << log.Dump();
    EXPECT_EQ(terrain.positions, terrain.basePositions);
}

Heightmap::Settings Numbered(int n)
{
    Heightmap::Settings s;
    s.seed = n;
    return s;
}

TEST_F(HeightmapGLTest, HistoryKeepsElevenEntries)
{
    Heightmap layer(4, 4);
    layer.AppendState(layer.settings);
    EXPECT_EQ(layer.states.size(), 1u);
    layer.Undo();
    layer.Redo();
    EXPECT_EQ(layer.currentState, 0u);

    for (int change = 1; change <= 12; ++change)
        layer.AppendState(Numbered(change));
    EXPECT_EQ(layer.states.size(), 11u);
    EXPECT_EQ(layer.currentState, 10u);
    EXPECT_EQ(layer.states.front()->seed, 2);
    EXPECT_EQ(layer.states.back()->seed, 12);
}

TEST_F(HeightmapGLTest, AppendingAfterUndoDropsTheRedoEntries)
{
    struct Case
    {
        uint32_t current;
        size_t size;
    };
    for (const Case c : {Case{5, 7}, Case{0, 2}})
    {
        Heightmap layer(4, 4);
        for (int n = 0; n < 11; ++n)
            layer.AppendState(Numbered(n));
        while (layer.currentState > c.current)
            layer.Undo();
        layer.AppendState(Numbered(99));
        EXPECT_EQ(layer.states.size(), c.size);
        EXPECT_EQ(layer.currentState, c.size - 1);
        EXPECT_EQ(layer.states.back()->seed, 99);
        EXPECT_EQ(layer.states[c.current]->seed, static_cast<int>(c.current));
    }
}

TEST_F(HeightmapGLTest, UndoAndRedoRestoreTheSettingsAndTheImage)
{
    Heightmap layer(16, 16);
    for (int n = 0; n < 4; ++n)
    {
        layer.settings.seed = n;
        layer.settings.noiseTypeName = n % 2 == 0 ? "Perlin" : "Value";
        layer.settings.noiseType = n % 2 == 0 ? NoiseGenerator::Perlin : NoiseGenerator::Value;
        layer.Update();
        layer.AppendState(layer.settings);
    }
    const std::vector<uint8_t> imageAt3 = Bytes(layer);

    LogCapture log;
    layer.Undo();
    EXPECT_EQ(layer.settings.seed, 2);
    EXPECT_EQ(layer.noise.seed, 2);
    EXPECT_EQ(layer.settings.noiseTypeName, "Perlin");
    EXPECT_NE(Bytes(layer), imageAt3);
    layer.Redo();
    EXPECT_EQ(layer.settings.seed, 3);
    EXPECT_EQ(layer.settings.noiseTypeName, "Value");
    EXPECT_EQ(Bytes(layer), imageAt3);
    EXPECT_EQ(ReadRed(layer), imageAt3);
    ASSERT_EQ(log.Records().size(), 2u) << log.Dump();
    EXPECT_TRUE(log.Has(spdlog::level::debug, "Terrain generator undo: 3 -> 2"));
    EXPECT_TRUE(log.Has(spdlog::level::debug, "Terrain generator redo: 2 -> 3"));

    log.Clear();
    layer.Redo(); // at the newest entry: ignored silently
    EXPECT_EQ(layer.currentState, 3u);
    layer.AppendState(layer.settings);
    EXPECT_TRUE(log.Has(spdlog::level::trace, "New state appended. Size: 5"));
}
} // namespace
