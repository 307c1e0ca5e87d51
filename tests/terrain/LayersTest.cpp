#include "engine/Parallel.h"
#include "terrain/Layers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{
NoiseGenerator FbmNoise(int32_t type)
{
    NoiseGenerator noise;
    noise.noiseType = type;
    noise.fractalType = NoiseGenerator::FBm;
    noise.seed = 5;
    noise.frequency = 0.05f;
    noise.CalculateFractalBounding();
    return noise;
}

std::vector<uint8_t> Image(const NoiseGenerator& noise, uint32_t w, uint32_t h, float offsetX = 0.0f,
                           float offsetY = 0.0f, std::vector<float>* samplesOut = nullptr)
{
    std::vector<float> samples;
    std::vector<uint8_t> bytes(size_t{w} * h);
    Layers::NoiseImage(noise, offsetX, offsetY, w, h, samples, bytes.data());
    if (samplesOut) *samplesOut = samples;
    return bytes;
}

TEST(LayersTest, NoiseImageSpansTheFullRangeWhateverTheNoiseAmplitude)
{
    for (int32_t type : {0, 2, 3, 4, 5})
    {
        NoiseGenerator noise = FbmNoise(type);
        const std::vector<uint8_t> image = Image(noise, 40, 30);
        EXPECT_EQ(*std::min_element(image.begin(), image.end()), 0) << type;
        EXPECT_EQ(*std::max_element(image.begin(), image.end()), 255) << type;
        noise.fractalBounding *= 4.0f; // every sample four times larger
        EXPECT_EQ(Image(noise, 40, 30), image) << type;
    }
}

TEST(LayersTest, NoiseImageSamplesColumnsAlongXAndRowsAlongY)
{
    const NoiseGenerator noise = FbmNoise(NoiseGenerator::Value);
    std::vector<float> samples;
    Image(noise, 6, 8, 2.5f, -1.0f, &samples);
    for (uint32_t i = 0; i < 6; ++i)
        for (uint32_t j = 0; j < 8; ++j)
            EXPECT_EQ(samples[i * 8 + j],
                      noise.GetNoise(static_cast<float>(j) + 2.5f, static_cast<float>(i) - 1.0f));
}

// Equal samples would stretch by 1 / 0: the image is all 0 instead, and a NaN pixel becomes 0 too. The
// spelled-out rounding is roundf's over the whole range.
TEST(LayersTest, EqualSamplesGiveAnAllZeroImageAndPixelsRoundLikeRoundf)
{
    NoiseGenerator noise = FbmNoise(NoiseGenerator::Perlin);
    noise.frequency = 0.0f;
    EXPECT_EQ(Image(noise, 9, 7), std::vector<uint8_t>(63, 0));
    EXPECT_EQ(Layers::LayerByte(0.0f, 0.0f, INFINITY), 0); // 0 * inf
    for (float v = -2.0f; v < 258.0f; v += 0.125f)
        ASSERT_EQ(Layers::LayerByte(v, 0.0f, 1.0f), std::roundf(std::clamp(v, 0.0f, 255.0f))) << v;
}

class LayerChannelTest : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> // channels, offset
{
};

TEST_P(LayerChannelTest, ReadsGreenOfColourImagesAndTheFirstChannelOtherwise)
{
    const auto [channels, offset] = GetParam();
    const uint32_t w = 2, h = 3;
    std::vector<uint8_t> image(size_t{w} * h * channels, 7);
    for (size_t k = 0; k < size_t{w} * h; ++k)
        image[k * channels + offset] = static_cast<uint8_t>(40 * k);
    std::vector<float> base(3 * w * h, 1.0f), positions(3 * w * h);
    const Layers::LayerView layer{image.data(), channels, 2.0f};
    const TerrainGrid::HeightRange range =
        Layers::ApplyLayers(base.data(), positions.data(), w, h, &layer, 1);
    for (size_t k = 0; k < size_t{w} * h; ++k)
        EXPECT_EQ(positions[3 * k + 1], 1.0f + static_cast<float>(40 * k) * 0.003921569f * 2.0f) << k;
    EXPECT_EQ(range.min, 1.0f);
    EXPECT_EQ(range.max, positions[3 * 5 + 1]);
}

INSTANTIATE_TEST_SUITE_P(Channels, LayerChannelTest,
                         ::testing::Values(std::pair{1u, 0u}, std::pair{2u, 0u}, std::pair{3u, 1u},
                                           std::pair{4u, 1u}));

// The summed pass against adding the layers one by one onto the current heights (in place).
TEST(LayersTest, SummedPassEqualsAddingTheLayersOneByOne)
{
    const uint32_t w = 3, h = 4;
    std::vector<float> base(3 * w * h);
    for (size_t n = 0; n < base.size(); ++n)
        base[n] = 0.25f * static_cast<float>(n);
    std::vector<uint8_t> a(w * h), b(w * h * 3);
    for (size_t n = 0; n < b.size(); ++n)
        b[n] = static_cast<uint8_t>(255 - 9 * n);
    for (size_t k = 0; k < a.size(); ++k)
        a[k] = static_cast<uint8_t>(17 * k);
    const Layers::LayerView layers[2] = {{a.data(), 1, 3.0f}, {b.data(), 3, -1.5f}};
    std::vector<float> once(base.size());
    Layers::ApplyLayers(base.data(), once.data(), w, h, layers, 2);
    std::vector<float> stepwise = base;
    for (const Layers::LayerView& layer : layers)
        Layers::ApplyLayers(stepwise.data(), stepwise.data(), w, h, &layer, 1);
    EXPECT_EQ(stepwise, once);
}

// Image, heights and range the same bits for every thread count.
TEST(LayersTest, LayerPassesAreTheSameBitsForAnyThreadCount)
{
    const uint32_t w = 257, h = 190;
    const NoiseGenerator noise = FbmNoise(NoiseGenerator::OpenSimplex2);
    std::vector<float> base(3 * size_t{w} * h, 0.5f);
    Parallel::SetThreadCount(1);
    const std::vector<uint8_t> reference = Image(noise, w, h, 0.5f, 2.0f);
    const Layers::LayerView layer{reference.data(), 1, 1.75f};
    std::vector<float> referenceHeights(base.size());
    const TerrainGrid::HeightRange referenceRange =
        Layers::ApplyLayers(base.data(), referenceHeights.data(), w, h, &layer, 1);
    for (unsigned threads : {2u, 3u, 7u})
    {
        Parallel::SetThreadCount(threads);
        EXPECT_EQ(Image(noise, w, h, 0.5f, 2.0f), reference) << threads;
        std::vector<float> heights(base.size());
        const TerrainGrid::HeightRange range =
            Layers::ApplyLayers(base.data(), heights.data(), w, h, &layer, 1);
        EXPECT_EQ(std::memcmp(heights.data(), referenceHeights.data(), heights.size() * sizeof(float)), 0);
        EXPECT_EQ(range.min, referenceRange.min);
        EXPECT_EQ(range.max, referenceRange.max);
    }
    Parallel::SetThreadCount(0);
}
} // namespace
