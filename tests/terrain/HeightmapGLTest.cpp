#include "terrain/Erosion.h"
#include "terrain/Heightmap.h"
#include "terrain/Layers.h"
#include "terrain/Terrain.h"
#include "terrain/TerrainGrid.h"
#include "tests/support/GLTestEnvironment.h"
#include "tests/terrain/GLReadBack.h"
#include "tests/terrain/TerrainTestSupport.h"

#include <stb_image_write.h>

using terraintest::ReadTexture;
using Heightmap = Terrain::Heightmap;

namespace
{
using HeightmapGLTest = testsupport::GLTest;

// The image a noise layer with these settings must hold, made as the layer tests pin it down.
std::vector<uint8_t> ExpectedImage(const Heightmap::Settings& s, uint32_t width, uint32_t height)
{
    const NoiseGenerator noise = terraintest::MakeNoise(s.noiseType, s.fractalType, s.seed, s.frequency,
                                                        s.octaves, s.gain, s.lacunarity);
    std::vector<float> samples;
    std::vector<uint8_t> image(size_t{width} * height);
    Layers::NoiseImage(noise, s.offsetX, s.offsetY, width, height, samples, image.data());
    return image;
}

// A texture layer must be the size of the terrain's images (H pixels wide and W high for W x H): a loaded
// one adds its green channel; another size (sides swapped among them) or an unreadable file is refused
// with the reason. Layers that bypass the load check (another size, no pixels) are skipped, never read.
TEST_F(HeightmapGLTest, TextureLayersAreCheckedOnLoadAndWhenApplied)
{
    testsupport::TempDir dir;
    const uint32_t w = 4, h = 3;
    std::vector<uint8_t> pixels(w * h * 3);
    for (size_t k = 0; k < w * h; ++k)
        pixels[3 * k] = 200, pixels[3 * k + 1] = static_cast<uint8_t>(20 * k), pixels[3 * k + 2] = 100;
    stbi_flip_vertically_on_write(1); // the pixel buffer as the program reads it, bottom row first
    ASSERT_TRUE(stbi_write_png((dir / "layer.png").c_str(), h, w, 3, pixels.data(), 3 * h));
    ASSERT_TRUE(stbi_write_png((dir / "small.png").c_str(), 2, 2, 1, std::string(4, '\xff').data(), 2));

    std::string error;
    std::shared_ptr<Heightmap> layer = Heightmap::LoadTextureLayer(dir / "layer.png", w, h, &error);
    ASSERT_TRUE(layer) << error;
    layer->settings.power = 3.0f;
    layer->Update(); // a texture layer keeps its image
    EXPECT_EQ(std::vector<uint8_t>(layer->data.get(), layer->data.get() + layer->ByteSize()), pixels);
    Terrain terrain(w, h, 1.0f, Terrain::Generator::Flat, 0, 0, 0);
    terrain.heightmaps = {layer, std::make_shared<Heightmap>(dir / "small.png"),
                          std::make_shared<Heightmap>(dir / "missing.png")};
    testsupport::LogCapture log;
    terrain.ApplyHeightmaps();
    for (size_t k = 0; k < w * h; ++k)
        EXPECT_EQ(terrain.positions[3 * k + 1], static_cast<float>(20 * k) * 0.003921569f * 3.0f) << k;
    for (const auto& [file, image] :
         {std::pair{"small.png", "2 x 2 with 1"}, {"missing.png", "4 x 4 with 0"}})
        EXPECT_EQ(log.Count(spdlog::level::warn, "Layer " + (dir / file) + " skipped: its image is " + image +
                                                     " channels, the terrain's images are 3 x 4."),
                  1)
            << log.Dump();

    const std::pair<std::string, std::string> refused[] = {
        {dir / "layer.png", "Layer image " + (dir / "layer.png") +
                                " is 3 x 4; a 3 x 4 terrain takes 4 x 3 (a row per vertex along x)."},
        {dir / "missing.png", "Layer image " + (dir / "missing.png") + " could not be read."}};
    for (const auto& [path, message] : refused)
    {
        log.Clear();
        EXPECT_FALSE(Heightmap::LoadTextureLayer(path, h, w, &error));
        EXPECT_EQ(error, message);
        EXPECT_TRUE(log.Has(spdlog::level::err, message)) << log.Dump();
    }
}

TEST_F(HeightmapGLTest, HistoryKeepsElevenEntriesAndAppendingAfterUndoDropsTheRedoEntries)
{
    Heightmap layer(4, 4);
    const auto append = [&](int seed) { layer.AppendState({1.0f, seed}); }; // power 1 and the seed
    for (int n = 1; n <= 12; ++n)
        append(n);
    EXPECT_EQ(std::make_tuple(layer.states.size(), layer.currentState, layer.states.front()->seed),
              std::make_tuple(size_t{11}, 10u, 2));
    const std::pair<uint32_t, int> undoTo[] = {{5, 7}, {0, 2}}; // entry kept last, its seed
    for (const auto& [current, seed] : undoTo)
    {
        while (layer.currentState > current)
            layer.Undo();
        append(99);
        EXPECT_EQ(std::make_tuple(layer.states.size(), layer.currentState, layer.states[current]->seed,
                                  layer.states.back()->seed),
                  std::make_tuple(current + size_t{2}, current + 1, seed, 99));
    }
}

// Update copies every noise setting (fractal ones included) into the noise; undo and redo restore an
// entry's settings and its image; at either end of the history they do nothing and say nothing.
TEST_F(HeightmapGLTest, UpdateUndoAndRedoGiveTheImageOfTheSettings)
{
    const uint32_t w = 12, h = 9;
    Heightmap layer(w, h);
    layer.AppendState(layer.settings);
    std::vector<Heightmap::Settings> entries{layer.settings};
    for (int n = 1; n < 4; ++n)
    {
        Heightmap::Settings& s = layer.settings; // power, seed, frequency, offsets, octaves, gain, lacunarity
        const float f = static_cast<float>(n);
        s = {1.0f, 10 * n, 0.03f + 0.02f * f, 1.5f * f, -2.0f * f, 2 + n, 0.3f + 0.1f * f, 1.5f + 0.75f * f};
        s.noiseType = n % 2 == 0 ? NoiseGenerator::Perlin : NoiseGenerator::Value;
        s.noiseTypeName = n % 2 == 0 ? "Perlin" : "Value";
        s.fractalType = n == 3 ? NoiseGenerator::Ridged : NoiseGenerator::FBm;
        s.fractalTypeName = n == 3 ? "Ridged" : "FBm";
        layer.Update();
        ASSERT_EQ(ReadTexture(layer), ExpectedImage(s, w, h)) << "entry " << n;
        layer.AppendState(s);
        entries.push_back(s);
    }

    const auto expectEntry = [&](uint32_t n) // the layer shows entry n: its settings and their image
    {
        const Heightmap::Settings &s = layer.settings, &e = entries[n];
        EXPECT_EQ(layer.currentState, n);
        EXPECT_EQ(std::tie(s.seed, s.noiseTypeName, s.fractalTypeName, s.lacunarity),
                  std::tie(e.seed, e.noiseTypeName, e.fractalTypeName, e.lacunarity));
        EXPECT_EQ(ReadTexture(layer), ExpectedImage(e, w, h));
    };
    testsupport::LogCapture log;
    layer.Undo();
    expectEntry(2);
    layer.Redo();
    layer.Redo(); // at the newest entry
    expectEntry(3);
    EXPECT_EQ(log.Records().size(), 2u) << log.Dump();
    EXPECT_TRUE(log.Has(spdlog::level::debug, "Terrain generator undo: 3 -> 2"));
    EXPECT_TRUE(log.Has(spdlog::level::debug, "Terrain generator redo: 2 -> 3"));

    while (layer.currentState > 0)
        layer.Undo();
    log.Clear();
    layer.Undo(); // at the oldest entry
    expectEntry(0);
    EXPECT_TRUE(log.Records().empty()) << log.Dump();
}
// An erosion entry erodes the heights summed before it; undo and redo give the heights of each entry's
// settings (Erosion run directly on those sums) and its image on the GPU is the run's mask; the range and
// heightmap texture follow (the drawn mesh: TerrainSculptGLTest). Applying again does not erode again.
TEST_F(HeightmapGLTest, ErosionUndoAndRedoGiveTheHeightsOfTheirSettings)
{
    const uint32_t w = 26, h = 19;
    Terrain terrain(w, h, 0.5f, Terrain::Generator::Flat, 0, 0, 0);
    auto noise = std::make_shared<Heightmap>(w, h);
    noise->settings.frequency = 0.08f;
    noise->Update();
    auto entry = Heightmap::NewErosion(w, h);
    terrain.heightmaps = {noise, entry};
    const Erosion::Settings thermal{Erosion::Method::Thermal, {}, {15.0f}}; // a talus angle of 15 degrees
    const Erosion::Settings hydraulic{Erosion::Method::Hydraulic, {2000}};  // 2000 droplets
    // The answer and the mask, from the noise layer's bytes and Erosion itself; the terrain's heights.
    std::vector<uint8_t> mask(3 * w * h);
    const auto expected = [&](const Erosion::Settings& s)
    {
        std::vector<float> y(size_t{w} * h);
        for (size_t k = 0; k < y.size(); ++k)
            y[k] = terrain.basePositions[3 * k + 1] + static_cast<float>(noise->data[k]) * 0.003921569f;
        Erosion::Masks masks;
        Erosion::Erode(y.data(), w, h, 0.5f, s, &masks);
        Erosion::MaskImage(masks, y.size(), mask.data());
        return y;
    };

    for (const Erosion::Settings& s : {thermal, hydraulic})
    {
        entry->settings.erosion = s;
        entry->AppendState(entry->settings);
    }
    const std::pair<void (Heightmap::*)(), const Erosion::Settings*> steps[] = {
        {nullptr, &hydraulic}, {&Heightmap::Undo, &thermal}, {&Heightmap::Redo, &hydraulic}};
    for (const auto& [step, settings] : steps)
    {
        if (step != nullptr) (entry.get()->*step)();
        terrain.ApplyHeightmaps();
        const std::vector<float> y = expected(*settings);
        EXPECT_EQ(terraintest::Heights(terrain.positions), y);
        EXPECT_EQ(ReadTexture(*entry), mask);
        const TerrainGrid::HeightRange range = TerrainGrid::Range(terrain.positions.data(), y.size());
        EXPECT_EQ(terrain.minHeight, range.min);
        std::vector<uint8_t> bytes(y.size());
        TerrainGrid::HeightmapBytes(terrain.positions.data(), y.size(), range.min, range.max, bytes.data());
        EXPECT_EQ(ReadTexture(*terrain.heightmapTexture), bytes);
    }
    EXPECT_NE(mask, std::vector<uint8_t>(mask.size(), 0));
    const uint32_t runs = entry->erosionCache.generation;
    terrain.ApplyHeightmaps();
    EXPECT_EQ(entry->erosionCache.generation, runs);
}
} // namespace
