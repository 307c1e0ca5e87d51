#include "io/SplatMap.h"

#include "terrain/TextureGen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace
{
std::vector<uint8_t> HeightWeights(const std::vector<Gradient>& bands, const std::vector<uint8_t>& heights)
{
    std::vector<uint8_t> rgba(4 * heights.size());
    SplatMap::Weights(bands, SplatMap::Mode::Height, heights.data(), nullptr, heights.size(), rgba.data());
    return rgba;
}

// The border of two bands of 127 and 128 (127 belongs to both; the later wins), a pixel only a fifth
// band covers (its weight has no channel), and a pixel above every band.
TEST(SplatMapTest, HeightBandsFollowTheDiffuseRules)
{
    const std::vector<Gradient> bands = {Gradient{127}, Gradient{128}};
    const std::vector<uint8_t> weights = HeightWeights(bands, {0, 126, 127, 255});
    const std::vector<uint8_t> expected = {255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0};
    EXPECT_EQ(weights, expected);

    const std::vector<Gradient> five(5, Gradient{50});
    EXPECT_EQ(HeightWeights(five, {49, 210, 251}),
              (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// Where a decay dithers the border, a band's weight is the share of pixels the editor's own painter
// gives it: compared with TextureGen::PaintByHeight over many pixels of one height.
TEST(SplatMapTest, DecayWeightsAreTheDitherShares)
{
    std::vector<std::unique_ptr<Gradient>> list;
    list.push_back(std::make_unique<Gradient>(Gradient{127, 0, 0.0f, {1.0f, 0.0f, 0.0f, 1.0f}}));
    list.push_back(std::make_unique<Gradient>(Gradient{128, 10, 0.0f, {0.0f, 1.0f, 0.0f, 1.0f}}));
    const std::vector<Gradient> bands = {*list[0], *list[1]};
    for (uint8_t height : {117, 122, 126})
    {
        const size_t pixels = 200000;
        const std::vector<uint8_t> heights(pixels, height);
        std::vector<uint8_t> diffuse(3 * pixels), specular(pixels);
        TextureGen::Mt19937 engine(42);
        TextureGen::PaintByHeight(list, heights.data(), pixels, engine, diffuse.data(), specular.data());
        size_t second = 0;
        for (size_t k = 0; k < pixels; ++k)
            second += diffuse[3 * k + 1] == 255 ? 1 : 0;
        const std::vector<uint8_t> w = HeightWeights(bands, {height});
        EXPECT_NEAR(w[1] / 255.0, static_cast<double>(second) / pixels, 0.01) << int(height);
        EXPECT_EQ(w[0] + w[1], 255) << int(height);
        EXPECT_NEAR(w[1] / 255.0, std::erfc((127.0 - height) / (10.0 * std::sqrt(2.0))), 0.5 / 255.0);
    }
    // Shares of three bands with decays over every height: each pixel's bytes add up to 255.
    std::vector<uint8_t> all(256);
    for (int p = 0; p < 256; ++p)
        all[p] = static_cast<uint8_t>(p);
    const std::vector<uint8_t> w = HeightWeights({Gradient{80}, Gradient{80, 20}, Gradient{95, 30}}, all);
    for (int p = 0; p < 256; ++p)
        EXPECT_EQ(w[4 * p] + w[4 * p + 1] + w[4 * p + 2] + w[4 * p + 3], 255) << p;
}

TEST(SplatMapTest, SlopeBandsGoToTheLastBandTheSlopeReaches)
{
    const std::vector<Gradient> bands = {Gradient{0, 0, 45.0f}, Gradient{0, 0, 45.0f}};
    const float normals[] = {0, 1, 0,    0.5f, std::sqrt(0.75f), 0, 0.9f, std::sqrt(0.19f), 0, 1, 0,
                             0, 0, 0.8f, 0.6f};
    std::vector<uint8_t> rgba(4 * 5);
    SplatMap::Weights(bands, SplatMap::Mode::Slope, nullptr, normals, 5, rgba.data());
    // 0, 30, about 64, 90 and about 37 degrees.
    EXPECT_EQ(rgba,
              (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0}));
}
} // namespace
