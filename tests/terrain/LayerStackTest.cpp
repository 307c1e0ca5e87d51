#include "terrain/LayerStack.h"
#include "tests/terrain/TerrainTestSupport.h"

namespace
{
// A non-square grid at a vertex distance other than 1, so that swapped axes or a lost distance show;
// a ridge to erode, a one-channel ramp and a three-channel image whose red and blue must not count.
constexpr uint32_t kStackW = 40, kStackH = 28;
constexpr float kStackDistance = 0.5f;
constexpr size_t kCount = size_t{kStackW} * kStackH;

struct Stack
{
    std::vector<float> base = std::vector<float>(3 * kCount);
    std::vector<uint8_t> ramp = std::vector<uint8_t>(kCount);
    std::vector<uint8_t> rgb = std::vector<uint8_t>(3 * kCount, 255);
    Stack()
    {
        for (size_t k = 0; k < kCount; ++k)
        {
            base[3 * k + 1] = 6.0f - 0.4f * std::fabs(static_cast<float>(k / kStackH) - 17.0f);
            ramp[k] = static_cast<uint8_t>(k % kStackH * 9);
            rgb[3 * k + 1] = static_cast<uint8_t>((k * 37) % 251);
        }
    }
    // y = base + each layer's byte * (1/255) * power, the layers' own formula.
    std::vector<float> Sum(float rampPower, float rgbPower, const Erosion::Settings* between) const
    {
        std::vector<float> y(kCount);
        for (size_t k = 0; k < kCount; ++k)
            y[k] = base[3 * k + 1] + static_cast<float>(ramp[k]) * 0.003921569f * rampPower;
        if (between != nullptr) Erosion::Erode(y.data(), kStackW, kStackH, kStackDistance, *between);
        for (size_t k = 0; k < kCount; ++k)
            y[k] += static_cast<float>(rgb[3 * k + 1]) * 0.003921569f * rgbPower;
        return y;
    }
};

Erosion::Settings Hydraulic(int32_t seed)
{
    Erosion::Settings s{Erosion::Method::Hydraulic, {3000, seed}};
    s.hydraulic.maxSteps = 16;
    return s;
}

TEST(LayerStackTest, TheCacheErodesAgainOnlyWhenSomethingBeforeTheEntryChanged)
{
    const Stack g;
    LayerStack::ErosionCache cache;
    LayerStack::Entry entries[] = {LayerStack::Entry::Add({g.ramp.data(), 1, 2.0f}),
                                   LayerStack::Entry::Erode(Hydraulic(5), &cache),
                                   LayerStack::Entry::Add({g.rgb.data(), 3, 1.0f})};
    std::vector<float> positions(3 * kCount);
    TerrainGrid::HeightRange range;
    float distance = kStackDistance;
    Erosion::Anchor anchor;
    const auto apply = [&](LayerStack::CacheUse use = LayerStack::CacheUse::Run,
                           const LayerStack::ApplyProgress& progress = {})
    {
        return LayerStack::Apply(g.base.data(), positions.data(), kStackW, kStackH, distance, entries, 3,
                                 range, use, progress, anchor);
    };

    // runs: the cache's generation after the apply.
    using Step = std::tuple<const char*, std::function<void()>, uint32_t, Erosion::Settings, float, float>;
    const Step steps[] = {
        {"first apply", [] {}, 1, Hydraulic(5), 2.0f, 1.0f},
        {"nothing", [] {}, 1, Hydraulic(5), 2.0f, 1.0f},
        {"a layer after the entry", [&] { entries[2].image.power = 3.0f; }, 1, Hydraulic(5), 2.0f, 3.0f},
        {"a layer before the entry", [&] { entries[0].image.power = 2.5f; }, 2, Hydraulic(5), 2.5f, 3.0f},
        {"its own settings", [&] { entries[1].erosion.hydraulic.seed = 6; }, 3, Hydraulic(6), 2.5f, 3.0f}};
    for (const auto& [change, make, runs, settings, rampPower, rgbPower] : steps)
    {
        SCOPED_TRACE(change);
        make();
        // Only comparing (saving) never runs: it says whether the cache holds the answer.
        EXPECT_EQ(apply(LayerStack::CacheUse::CachedOnly), runs == cache.generation);
        ASSERT_TRUE(apply());
        EXPECT_EQ(cache.generation, runs);
        EXPECT_EQ(terraintest::Heights(positions), g.Sum(rampPower, rgbPower, &settings));
    }

    // Every setting of the method in use, the method, the vertex distance and the place in a world are part
    // of what the cache compares: a change to any one erodes again.
    Erosion::Settings& s = entries[1].erosion;
    Erosion::HydraulicSettings& h = s.hydraulic;
    Erosion::ThermalSettings& t = s.thermal;
    const std::function<void()> changes[] = {
        [&] { ++h.droplets; },           [&] { ++h.seed; },
        [&] { h.inertia += 0.01f; },     [&] { h.capacity += 0.5f; },
        [&] { h.deposition -= 0.1f; },   [&] { h.erosion -= 0.1f; },
        [&] { h.evaporation += 0.01f; }, [&] { ++h.radius; },
        [&] { ++h.maxSteps; },           [&] { h.gravity += 1.0f; },
        [&] { h.minSlope += 0.01f; },    [&] { s.method = Erosion::Method::Thermal; },
        [&] { t.talusAngle += 1.0f; },   [&] { ++t.iterations; },
        [&] { t.strength -= 0.1f; },     [&] { distance = 0.75f; },
        [&] { anchor = {true, 3, -2}; }, [&] { anchor.j = -1; }};
    for (const auto& change : changes)
    {
        const uint32_t runs = cache.generation;
        change();
        ASSERT_TRUE(apply());
        EXPECT_EQ(cache.generation, runs + 1) << "change " << &change - changes;
    }
    // A stopped run stores nothing: the cache still does not hold the answer.
    const uint32_t runs = cache.generation;
    ++t.iterations;
    EXPECT_FALSE(apply(LayerStack::CacheUse::Run, [](size_t, float) { return false; }));
    EXPECT_EQ(cache.generation, runs);
    EXPECT_FALSE(apply(LayerStack::CacheUse::CachedOnly));
}
// An erosion entry erodes exactly the sums before it (Erosion run directly on them), later layers add to
// the eroded heights, a sculpt entry adds its heights as they are. A region applied again after a sculpt
// edit gives the whole stack's bits (the erosion cached), and nothing outside the region moves.
TEST(LayerStackTest, EntriesWorkOnTheSumsBeforeThemAndARegionGetsTheWholeStacksBits)
{
    const Stack g;
    std::vector<float> sculpt(kCount);
    for (size_t k = 0; k < kCount; ++k)
        sculpt[k] = 0.01f * static_cast<float>((k * 13) % 29) - 0.1f;
    const Erosion::Settings hydraulic = Hydraulic(5);
    LayerStack::ErosionCache cache;
    const LayerStack::Entry entries[] = {
        LayerStack::Entry::Add({g.ramp.data(), 1, 2.0f}), LayerStack::Entry::Erode(hydraulic, &cache),
        LayerStack::Entry::Add({g.rgb.data(), 3, -1.5f}), LayerStack::Entry::Sculpt(sculpt.data())};
    std::vector<float> positions(3 * kCount);
    TerrainGrid::HeightRange range;
    ASSERT_TRUE(LayerStack::Apply(g.base.data(), positions.data(), kStackW, kStackH, kStackDistance, entries,
                                  4, range));
    std::vector<float> expected = g.Sum(2.0f, -1.5f, &hydraulic);
    EXPECT_NE(expected, g.Sum(2.0f, -1.5f, nullptr)) << "the erosion must have changed something";
    std::transform(expected.begin(), expected.end(), sculpt.begin(), expected.begin(), std::plus<float>());
    EXPECT_EQ(terraintest::Heights(positions), expected);
    EXPECT_EQ(range.max, *std::max_element(expected.begin(), expected.end()));

    // An edit of the sculpt entry in a region at the grid's far corner, rows and columns of different counts.
    const TerrainGrid::Region region{31, kStackW, 20, kStackH};
    for (size_t i = region.rowBegin; i < region.rowEnd; ++i)
        for (size_t j = region.columnBegin; j < region.columnEnd; ++j)
            sculpt[i * kStackH + j] += 0.37f * static_cast<float>(i + j);
    const std::vector<float> before = positions;
    const TerrainGrid::HeightRange inRegion =
        LayerStack::ApplyIn(g.base.data(), positions.data(), kStackW, kStackH, entries, 4, region);
    std::vector<float> whole(3 * kCount);
    ASSERT_TRUE(
        LayerStack::Apply(g.base.data(), whole.data(), kStackW, kStackH, kStackDistance, entries, 4, range));
    EXPECT_EQ(cache.generation, 1u); // the erosion did not run again
    float highest = -1e30f;
    for (size_t k = 0; k < kCount; ++k)
    {
        const size_t i = k / kStackH, j = k % kStackH;
        const bool inside = i >= region.rowBegin && j >= region.columnBegin;
        ASSERT_EQ(positions[3 * k + 1], inside ? whole[3 * k + 1] : before[3 * k + 1]) << i << ", " << j;
        ASSERT_EQ(positions[3 * k], before[3 * k]);
        if (inside) highest = std::max(highest, whole[3 * k + 1]);
    }
    EXPECT_EQ(inRegion.max, highest);
}
} // namespace
