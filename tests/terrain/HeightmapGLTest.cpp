#include "render/Texture.h"
#include "terrain/Heightmap.h"
#include "terrain/Terrain.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"
#include "tests/terrain/GLReadBack.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <memory>
#include <vector>

using terraintest::ReadBuffer;
using terraintest::ReadTexture;
using testsupport::LogCapture;
using testsupport::TempDir;
using Heightmap = Terrain::Heightmap;

namespace
{
class HeightmapGLTest : public testsupport::GLTest
{
};

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
    const std::vector<uint8_t> heightTexels = ReadTexture(*terrain.heightmapTexture);
    EXPECT_NE(once, base);
    terrain.ApplyHeightmaps();
    EXPECT_EQ(terrain.positions, once);
    EXPECT_EQ(ReadBuffer<float>(terrain.mesh->vertexBuffer, terrain.positions.size()), once);
    EXPECT_EQ(ReadTexture(*terrain.heightmapTexture), heightTexels);
    EXPECT_EQ(ReadBuffer<float>(terrain.mesh->normalBuffer, terrain.normals.size()), terrain.normals);
    std::vector<float> y;
    for (size_t k = 0; k < 17 * 17; ++k)
        y.push_back(once[3 * k + 1]);
    EXPECT_EQ(terrain.minHeight, *std::min_element(y.begin(), y.end()));
    EXPECT_EQ(terrain.maxHeight, *std::max_element(y.begin(), y.end()));

    terrain.heightmaps.clear();
    terrain.ApplyHeightmaps();
    EXPECT_EQ(terrain.positions, base);
    EXPECT_EQ(ReadBuffer<float>(terrain.mesh->vertexBuffer, terrain.positions.size()), base);
    EXPECT_EQ(terrain.minHeight, 0.0f);
}

// A texture layer must be exactly the terrain's size: a loaded one adds its green channel (three
// channels); another size or an unreadable file is refused with the reason.
TEST_F(HeightmapGLTest, TextureLayersAreCheckedOnLoadAndContributeGreen)
{
    TempDir dir;
    const uint32_t w = 4, h = 3;
    std::vector<uint8_t> pixels(w * h * 3);
    for (size_t k = 0; k < w * h; ++k)
        pixels[3 * k] = 200, pixels[3 * k + 1] = static_cast<uint8_t>(20 * k), pixels[3 * k + 2] = 100;
    WriteImage(dir / "layer.png", w, h, 3, pixels);

    std::string error;
    std::shared_ptr<Heightmap> layer = Heightmap::LoadTextureLayer(dir / "layer.png", w, h, &error);
    ASSERT_TRUE(layer) << error;
    layer->settings.power = 3.0f;
    layer->Update(); // a texture layer keeps its image
    EXPECT_EQ(Bytes(*layer), pixels);
    Terrain terrain(w, h, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.heightmaps = {layer};
    terrain.ApplyHeightmaps();
    for (size_t k = 0; k < w * h; ++k)
        EXPECT_EQ(terrain.positions[3 * k + 1], static_cast<float>(20 * k) * 0.003921569f * 3.0f) << k;

    const std::pair<std::string, std::string> refused[] = {
        {dir / "layer.png", "Layer image " + (dir / "layer.png") + " is 4 x 3, the terrain is 3 x 4."},
        {dir / "missing.png", "Layer image " + (dir / "missing.png") + " could not be read."}};
    for (const auto& [path, message] : refused)
    {
        LogCapture log;
        EXPECT_FALSE(Heightmap::LoadTextureLayer(path, h, w, &error));
        EXPECT_EQ(error, message);
        EXPECT_TRUE(log.Has(spdlog::level::err, message)) << log.Dump();
    }
}

// Layers that bypass the load check (another size, no pixels at all) are skipped, never read.
TEST_F(HeightmapGLTest, ApplyingSkipsALayerThatDoesNotFitTheTerrain)
{
    TempDir dir;
    WriteImage(dir / "small.png", 2, 2, 1, std::vector<uint8_t>(4, 255));
    Terrain terrain(5, 5, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.heightmaps = {std::make_shared<Heightmap>(dir / "small.png"),
                          std::make_shared<Heightmap>(dir / "missing.png")};
    LogCapture log;
    terrain.ApplyHeightmaps();
    const std::pair<const char*, const char*> skipped[] = {{"small.png", "2 x 2 with 1"},
                                                           {"missing.png", "4 x 4 with 0"}};
    for (const auto& [file, image] : skipped)
        EXPECT_EQ(log.Count(spdlog::level::warn, "Layer " + (dir / file) + " skipped: its image is " + image +
                                                     " channels, the terrain is 5 x 5."),
                  1)
            << log.Dump();
    EXPECT_EQ(terrain.positions, terrain.basePositions);
}

// The newest 11 entries stay; appending after undoing drops the entries that redo would reach.
TEST_F(HeightmapGLTest, HistoryKeepsElevenEntriesAndAppendingAfterUndoDropsTheRedoEntries)
{
    Heightmap layer(4, 4);
    const auto append = [&](int seed)
    {
        Heightmap::Settings s;
        s.seed = seed;
        layer.AppendState(s);
    };
    for (int n = 1; n <= 12; ++n)
        append(n);
    EXPECT_EQ(layer.states.size(), 11u);
    EXPECT_EQ(layer.currentState, 10u);
    EXPECT_EQ(layer.states.front()->seed, 2);
    const std::pair<uint32_t, int> undoTo[] = {{5, 7}, {0, 2}}; // entry kept last, its seed
    for (const auto& [current, seed] : undoTo)
    {
        while (layer.currentState > current)
            layer.Undo();
        append(99);
        EXPECT_EQ(layer.states.size(), current + 2u);
        EXPECT_EQ(layer.currentState, current + 1u);
        EXPECT_EQ(layer.states[current]->seed, seed);
        EXPECT_EQ(layer.states.back()->seed, 99);
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
    EXPECT_EQ(layer.noise.seed, 2);
    EXPECT_EQ(layer.settings.noiseTypeName, "Perlin");
    EXPECT_NE(Bytes(layer), imageAt3);
    layer.Redo();
    layer.Redo(); // at the newest entry: ignored silently
    EXPECT_EQ(layer.currentState, 3u);
    EXPECT_EQ(layer.settings.noiseTypeName, "Value");
    EXPECT_EQ(ReadTexture(layer), imageAt3);
    ASSERT_EQ(log.Records().size(), 2u) << log.Dump();
    EXPECT_TRUE(log.Has(spdlog::level::debug, "Terrain generator undo: 3 -> 2"));
    EXPECT_TRUE(log.Has(spdlog::level::debug, "Terrain generator redo: 2 -> 3"));
}
} // namespace
