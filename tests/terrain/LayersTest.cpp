#include "bench/PlainLoops.h"
#include "engine/Parallel.h"
#include "terrain/Layers.h"
#include "tests/terrain/TerrainTestSupport.h"

namespace
{
NoiseGenerator FbmNoise(int32_t type)
{
    return terraintest::MakeNoise(type, NoiseGenerator::FBm, 5, 0.05f);
}

std::vector<uint8_t> Image(const NoiseGenerator& noise, uint32_t w, uint32_t h, float offsetX = 0.0f,
                           float offsetY = 0.0f)
{
    std::vector<float> samples;
    std::vector<uint8_t> bytes(size_t{w} * h);
    Layers::NoiseImage(noise, offsetX, offsetY, w, h, samples, bytes.data());
    return bytes;
}

// Vertex (i, j) samples the noise at (j + offsetX, i + offsetY), stretched to 0..255 as the plain loop
// does whatever the noise's amplitude; on three threads, with a row count that does not divide by three.
// Equal samples would stretch by 1 / 0: the image is all 0 instead, and a NaN pixel becomes 0 too. The
// spelled-out rounding is roundf's over the whole range.
TEST(LayersTest, NoiseImageIsTheStretchedSamplesInVertexOrder)
{
    Parallel::SetThreadCount(3);
    const uint32_t w = 101, h = 190;
    for (int32_t type : {0, 2, 3, 4, 5})
    {
        NoiseGenerator noise = FbmNoise(type);
        const std::vector<uint8_t> image = Image(noise, w, h, 2.5f, -1.0f);
        EXPECT_EQ(image, plain::NoiseLayer(noise, 2.5f, -1.0f, w, h)) << type;
        noise.fractalBounding *= 4.0f; // every sample four times larger
        EXPECT_EQ(Image(noise, w, h, 2.5f, -1.0f), image) << type;
    }
    Parallel::SetThreadCount(0);

    NoiseGenerator noise = FbmNoise(NoiseGenerator::Perlin);
    noise.frequency = 0.0f;
    EXPECT_EQ(Image(noise, 9, 7), std::vector<uint8_t>(63, 0));
    EXPECT_EQ(Layers::LayerByte(0.0f, 0.0f, INFINITY), 0); // 0 * inf
    for (float v = -2.0f; v < 258.0f; v += 0.125f)
        ASSERT_EQ(Layers::LayerByte(v, 0.0f, 1.0f), std::roundf(std::clamp(v, 0.0f, 255.0f))) << v;
}

// Smooth heights: the same image, plus each pixel's level before rounding; a layer with levels adds the
// level where its pixel is that level rounded, and a painted pixel's own value elsewhere.
TEST(LayersTest, LevelsRoundToTheImageAndAddUnlessThePixelWasPainted)
{
    const uint32_t w = 31, h = 17;
    const NoiseGenerator noise = FbmNoise(NoiseGenerator::Perlin);
    std::vector<float> samples, levels(size_t{w} * h);
    std::vector<uint8_t> bytes(levels.size());
    Layers::NoiseImage(noise, 0.5f, 0.0f, w, h, samples, bytes.data(), levels.data());
    EXPECT_EQ(bytes, Image(noise, w, h, 0.5f));
    size_t fractional = 0;
    for (size_t k = 0; k < levels.size(); ++k)
    {
        ASSERT_EQ(Layers::RoundLevel(levels[k]), bytes[k]) << k;
        fractional += levels[k] != std::floor(levels[k]) ? 1 : 0;
    }
    EXPECT_GT(fractional, levels.size() / 2);

    bytes[40] = static_cast<uint8_t>(bytes[40] + 9); // painted
    std::vector<float> base(3 * levels.size(), 1.0f), positions(base.size());
    const Layers::LayerView layer{bytes.data(), 1, 150.0f, levels.data()};
    Layers::ApplyLayers(base.data(), positions.data(), w, h, &layer, 1);
    for (size_t k = 0; k < levels.size(); ++k) // the level added, or the painted byte
        ASSERT_EQ(positions[3 * k + 1], 1.0f + (k == 40 ? bytes[k] : levels[k]) * 0.003921569f * 150.0f) << k;
}

// As the plain loop: green in three- and four-channel images, the first channel otherwise; x and z pass
// through. On three threads, with a row count that does not divide by three. (The range: LayerStackTest.)
TEST(LayersTest, LayersAddTheirChannelTimesPowerInListOrder)
{
    Parallel::SetThreadCount(3);
    const uint32_t w = 301, h = 190;
    const size_t n = size_t{w} * h;
    std::vector<float> base(3 * n);
    for (size_t v = 0; v < base.size(); ++v)
        base[v] = 0.25f * static_cast<float>(v % 97) - 3.0f;
    const float powers[4] = {3.0f, -1.5f, 0.75f, 2.0f};
    std::vector<std::vector<uint8_t>> images(4);
    std::vector<Layers::LayerView> layers;
    std::vector<plain::Layer> plainLayers;
    for (uint32_t l = 0; l < 4; ++l)
    {
        images[l].resize(n * (l + 1)); // 1 to 4 channels
        for (size_t b = 0; b < images[l].size(); ++b)
            images[l][b] = static_cast<uint8_t>((b * (7 + 2 * l) + 13 * l) % 256);
        layers.push_back({images[l].data(), l + 1, powers[l]});
        plainLayers.push_back({images[l].data(), l + 1, powers[l]});
    }
    std::vector<float> positions(base.size());
    Layers::ApplyLayers(base.data(), positions.data(), w, h, layers.data(), 4);
    EXPECT_EQ(positions, plain::ApplyHeightmaps(base, w, h, plainLayers).positions);
    // Onto the current heights in place: the same sums.
    std::vector<float> inPlace = base;
    Layers::ApplyLayers(inPlace.data(), inPlace.data(), w, h, layers.data(), 4);
    EXPECT_EQ(inPlace, positions);
    Parallel::SetThreadCount(0);
}
} // namespace
