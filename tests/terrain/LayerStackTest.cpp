#include "terrain/LayerStack.h"
#include "terrain/TerrainGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
// A non-square grid at a vertex distance other than 1, so that swapped axes or a lost distance show.
constexpr uint32_t kW = 40, kH = 28;
constexpr float kDistance = 0.5f;
constexpr size_t kCount = size_t{kW} * kH;

struct Grid
{
    std::vector<float> base;    // positions: a ridge to erode
    std::vector<uint8_t> ramp;  // one channel
    std::vector<uint8_t> bumps; // three channels: green counts, red and blue must not
    Grid()
    {
        std::vector<uint32_t> indices;
        std::vector<float> normals, texCoords;
        TerrainGrid::BuildGrid(kW, kH, kDistance, base, indices, normals, texCoords);
        for (uint32_t i = 0; i < kW; ++i)
            for (uint32_t j = 0; j < kH; ++j)
                base[3 * (size_t{i} * kH + j) + 1] = 6.0f - 0.4f * std::fabs(static_cast<float>(i) - 17.0f);
        ramp.resize(kCount);
        bumps.resize(3 * kCount);
        for (size_t k = 0; k < kCount; ++k)
        {
            ramp[k] = static_cast<uint8_t>(k % kH * 9);
            bumps[3 * k] = 255;
            bumps[3 * k + 1] = static_cast<uint8_t>((k * 37) % 251);
            bumps[3 * k + 2] = 255;
        }
    }
};

std::vector<float> HeightsOf(const std::vector<float>& positions)
{
    std::vector<float> y(kCount);
    for (size_t k = 0; k < kCount; ++k)
        y[k] = positions[3 * k + 1];
    return y;
}

void Add(std::vector<float>& heights, const std::vector<uint8_t>& image, uint32_t channels, float power)
{
    const uint32_t offset = channels >= 3 ? 1 : 0;
    for (size_t k = 0; k < kCount; ++k)
        heights[k] += static_cast<float>(image[channels * k + offset]) * 0.003921569f * power;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

Erosion::Settings Hydraulic(int32_t seed)
{
    Erosion::Settings s;
    s.hydraulic.droplets = 3000;
    s.hydraulic.seed = seed;
    s.hydraulic.maxSteps = 16;
    return s;
}

Erosion::Settings Thermal()
{
    Erosion::Settings s;
    s.method = Erosion::Method::Thermal;
    s.thermal.talusAngle = 20.0f;
    s.thermal.iterations = 15;
    return s;
}

// Each erosion entry erodes exactly the heights summed before it, in list order: the answer is
// Erosion run directly on those sums, layer by layer.
TEST(LayerStackTest, ErosionEntriesErodeTheHeightsSummedBeforeThem)
{
    const Grid g;
    LayerStack::ErosionCache first, second;
    const LayerStack::Entry entries[] = {
        LayerStack::Entry::Add({g.ramp.data(), 1, 2.0f}), LayerStack::Entry::Erode(Hydraulic(5), &first),
        LayerStack::Entry::Add({g.bumps.data(), 3, -1.5f}), LayerStack::Entry::Erode(Thermal(), &second)};
    std::vector<float> positions(3 * kCount);
    TerrainGrid::HeightRange range;
    ASSERT_TRUE(LayerStack::Apply(g.base.data(), positions.data(), kW, kH, kDistance, entries, 4, range));

    std::vector<float> expected = HeightsOf(g.base);
    Add(expected, g.ramp, 1, 2.0f);
    Erosion::Masks masks;
    Erosion::Erode(expected.data(), kW, kH, kDistance, Hydraulic(5), &masks);
    std::vector<uint8_t> mask(3 * kCount);
    Erosion::MaskImage(masks, kCount, mask.data());
    Add(expected, g.bumps, 3, -1.5f);
    const std::vector<float> beforeThermal = expected;
    Erosion::Erode(expected.data(), kW, kH, kDistance, Thermal());

    EXPECT_TRUE(SameBits(HeightsOf(positions), expected));
    EXPECT_FALSE(SameBits(beforeThermal, expected)) << "the thermal entry must have changed something";
    EXPECT_TRUE(first.result.mask == mask);
    const TerrainGrid::HeightRange expectedRange = TerrainGrid::RangeOf(expected.data(), kCount);
    EXPECT_EQ(range.min, expectedRange.min);
    EXPECT_EQ(range.max, expectedRange.max);
    for (size_t k = 0; k < kCount; ++k) // x and z stay the grid's
        ASSERT_TRUE(positions[3 * k] == g.base[3 * k] && positions[3 * k + 2] == g.base[3 * k + 2]) << k;

    // In place (base and positions the same array) gives the same bits.
    std::vector<float> inPlace = g.base;
    ASSERT_TRUE(LayerStack::Apply(inPlace.data(), inPlace.data(), kW, kH, kDistance, entries, 4, range));
    EXPECT_TRUE(SameBits(inPlace, positions));
}

// The cache erodes again only when the heights summed before the entry or its settings change.
TEST(LayerStackTest, TheCacheErodesAgainOnlyWhenSomethingBeforeTheEntryChanged)
{
    const Grid g;
    LayerStack::ErosionCache cache;
    LayerStack::Entry entries[] = {LayerStack::Entry::Add({g.ramp.data(), 1, 2.0f}),
                                   LayerStack::Entry::Erode(Hydraulic(5), &cache),
                                   LayerStack::Entry::Add({g.bumps.data(), 3, 1.0f})};
    std::vector<float> positions(3 * kCount), again(3 * kCount);
    TerrainGrid::HeightRange range;
    const auto apply = [&](std::vector<float>& out, LayerStack::CacheUse use = LayerStack::CacheUse::Run)
    { return LayerStack::Apply(g.base.data(), out.data(), kW, kH, kDistance, entries, 3, range, use); };

    ASSERT_TRUE(apply(positions));
    EXPECT_EQ(cache.generation, 1u);
    ASSERT_TRUE(apply(again)); // nothing changed
    EXPECT_EQ(cache.generation, 1u);
    EXPECT_TRUE(SameBits(positions, again));
    EXPECT_TRUE(apply(again, LayerStack::CacheUse::CachedOnly));

    entries[2].image.power = 3.0f; // after the entry: no new run, but other heights
    ASSERT_TRUE(apply(again));
    EXPECT_EQ(cache.generation, 1u);
    EXPECT_FALSE(SameBits(positions, again));

    entries[0].image.power = 2.5f; // before the entry
    EXPECT_FALSE(apply(again, LayerStack::CacheUse::CachedOnly));
    EXPECT_EQ(cache.generation, 1u);
    ASSERT_TRUE(apply(again));
    EXPECT_EQ(cache.generation, 2u);

    entries[1].erosion.hydraulic.seed = 6; // its own settings
    ASSERT_TRUE(apply(again));
    EXPECT_EQ(cache.generation, 3u);
    entries[1].erosion.thermal.iterations = 3; // a setting of the method not used counts too
    ASSERT_TRUE(apply(again));
    EXPECT_EQ(cache.generation, 4u);
    entries[1].erosion.hydraulic.droplets = -5; // clamped to 0 before the key is made: no erosion
    ASSERT_TRUE(apply(again));
    std::vector<float> expected = HeightsOf(g.base);
    Add(expected, g.ramp, 1, 2.5f);
    Add(expected, g.bumps, 3, 3.0f);
    EXPECT_TRUE(SameBits(HeightsOf(again), expected));
    EXPECT_EQ(cache.key.settings.hydraulic.droplets, 0);
}

TEST(LayerStackTest, FingerprintSeesEveryBit)
{
    std::vector<float> a(1001, 1.0f); // not a multiple of the eight floats a round takes
    const uint64_t base = LayerStack::Fingerprint(a.data(), a.size());
    for (const size_t k : {size_t{0}, size_t{7}, size_t{500}, size_t{1000}})
    {
        std::vector<float> b = a;
        b[k] = std::nextafter(1.0f, 2.0f);
        EXPECT_NE(LayerStack::Fingerprint(b.data(), b.size()), base) << k;
    }
    EXPECT_NE(LayerStack::Fingerprint(a.data(), 1000), base);
}
} // namespace
