#include "terrain/TextureGen.h"

#include "engine/Parallel.h"

#include "tests/support/TestCommon.h"

using TextureGen::GradientList;

namespace
{
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// One band per entry: height span, decay, slope span and a distinct colour (red, 0.2, 0.4), specular red.
GradientList MakeGradients(std::initializer_list<std::tuple<int32_t, int32_t, float, float>> bands)
{
    GradientList list;
    for (const auto& [span, decay, slope, red] : bands)
        list.push_back(
            std::make_unique<Gradient>(Gradient{span, decay, slope, {red, 0.2f, 0.4f, 0.5f}, red}));
    return list;
}

// The painted pixels and the engine that drew for them.
struct Output
{
    explicit Output(size_t pixels, uint32_t seed = 7)
        : diffuse(3 * pixels, 0), specular(pixels, 0), engine(seed)
    {
    }
    std::vector<uint8_t> diffuse, specular;
    TextureGen::Mt19937 engine;
    uint8_t Red(size_t k) const { return diffuse[3 * k]; }
};

Output PaintHeights(const GradientList& gradients, const std::vector<uint8_t>& heights, uint32_t seed = 7)
{
    Output out(heights.size(), seed);
    TextureGen::PaintByHeight(gradients, heights.data(), heights.size(), out.engine, out.diffuse.data(),
                              out.specular.data());
    return out;
}

// Float to byte conversions never convert an out-of-range float (undefined): clamped, or wrapped.
TEST(TextureGenTest, ByteConversionsClampOrWrapModulo256)
{
    const std::pair<float, int> unit[] = {{0.0f, 0},   {1.0f, 255}, {0.5f, 127},  {0.2f, 51}, {-0.1f, 0},
                                          {1.5f, 255}, {-1e30f, 0}, {1e30f, 255}, {kNaN, 0}};
    for (const auto& [value, expected] : unit)
        EXPECT_EQ(TextureGen::UnitToByte(value), expected) << value;
    const std::pair<float, int> wrapped[] = {
        {255.0f, 255}, {256.0f, 0},    {127.9f, 127}, {300.0f, 44}, {-1.0f, 255}, {-1.5f, 255},  {-0.5f, 0},
        {-256.0f, 0},  {-257.0f, 255}, {-1e30f, 0},   {1e30f, 0},   {3e9f, 0},    {INFINITY, 0}, {kNaN, 0}};
    for (const auto& [value, expected] : wrapped)
        EXPECT_EQ(TextureGen::WrapToByte(value), expected) << value;
}

// Each band ends where its span does (127 + 128 split at 127). A negative span puts the band's upper
// limit below zero; it wraps to a byte (-50 -> 206) instead of converting the negative float straight
// to uint8. Spans that end below 255 (the editor's three default bands end at 253) leave the peaks to
// the last band; the draws, and with them the decayed borders, stay as they were. The mask mode paints
// one channel of an RGB mask (the others hold the opposite band) as the same bands, with the same draws.
TEST(TextureGenTest, BandsEndWhereTheirSpansDoAndTheLastTakesThePeaks)
{
    const struct
    {
        GradientList gradients;
        std::vector<std::pair<int, int>> redByHeight; // height, expected red byte
    } cases[] = {
        {MakeGradients({{127, 0, 0.0f, 0.2f}, {128, 0, 0.0f, 0.6f}}),
         {{0, 51}, {126, 51}, {127, 153}, {255, 153}}},
        {MakeGradients({{100, 0, 0.0f, 0.2f}, {-150, 0, 0.0f, 0.6f}}),
         {{0, 51}, {99, 51}, {100, 153}, {205, 153}, {206, 153}, {255, 153}}},
        {MakeGradients({{127, 0, 0.0f, 0.2f}, {63, 0, 0.0f, 0.4f}, {63, 0, 0.0f, 0.6f}}),
         {{0, 51}, {126, 51}, {127, 102}, {190, 153}, {253, 153}, {254, 153}, {255, 153}}},
        {MakeGradients({{200, 0, 0.0f, 0.2f}}), {{0, 51}, {200, 51}, {201, 51}, {255, 51}}},
        {MakeGradients({{100, 0, 0.0f, 0.2f}, {50, 0, 0.0f, 0.6f}}),
         {{99, 51}, {100, 153}, {150, 153}, {151, 153}}},
    };
    std::vector<uint8_t> allHeights(256);
    std::iota(allHeights.begin(), allHeights.end(), 0);
    for (const auto& c : cases)
    {
        const Output out = PaintHeights(c.gradients, allHeights);
        for (const auto& [height, red] : c.redByHeight) // the diffuse red and the specular byte
            EXPECT_EQ(std::make_pair(int{out.Red(height)}, int{out.specular[height]}), std::pair(red, red))
                << "height " << height;
        for (uint32_t channel = 0; channel < 3; ++channel)
        {
            std::vector<uint8_t> rgb(3 * 256);
            for (size_t k = 0; k < rgb.size(); ++k)
                rgb[k] = static_cast<uint8_t>(k % 3 == channel ? k / 3 : 255 - k / 3);
            Output mask(256);
            TextureGen::PaintByMask(c.gradients, rgb.data(), channel, 256, mask.engine, mask.diffuse.data(),
                                    mask.specular.data());
            EXPECT_EQ(mask.diffuse, out.diffuse) << "mask channel " << channel;
        }
    }

    // With a decay on the last band, the fill changes no draw: the same seed gives the same border as a
    // last band that covers 250 itself.
    std::vector<uint8_t> border(20000, 120);
    border.resize(30000, 250);
    EXPECT_EQ(PaintHeights(MakeGradients({{127, 0, 0.0f, 0.2f}, {100, 20, 0.0f, 0.6f}}), border, 99).diffuse,
              PaintHeights(MakeGradients({{127, 0, 0.0f, 0.2f}, {128, 20, 0.0f, 0.6f}}), border, 99).diffuse);
}

// A decay of 10 reaches d below the border with P(|10 r| >= d) for a standard normal r: 31.7 % at d = 10,
// 4.6 % at d = 20 (the engine is seeded, so the counts are fixed; the tolerance is still many standard
// deviations wide). No decay reaches below the start of the band before, however large. Each pixel takes
// one normal draw per gradient whatever its band: the engine ends where a plain sequence of 3 * N leaves it.
TEST(TextureGenTest, DecayReachesBelowTheBorderWithNormalProbabilityUpToThePreviousBand)
{
    const auto gradients = MakeGradients({{127, 0, 0.0f, 0.2f}, {128, 10, 0.0f, 0.6f}});
    const size_t perHeight = 100000;
    const std::pair<int, double> cases[] = {{1, 0.9203}, {10, 0.3173}, {20, 0.0455}, {40, 0.0001}};
    for (const auto& [depth, probability] : cases)
    {
        const std::vector<uint8_t> heights(perHeight, static_cast<uint8_t>(127 - depth));
        const Output out = PaintHeights(gradients, heights, 1234u + static_cast<uint32_t>(depth));
        size_t second = 0;
        for (size_t k = 0; k < perHeight; ++k)
        {
            ASSERT_TRUE(out.Red(k) == 51 || out.Red(k) == 153);
            second += out.Red(k) == 153;
        }
        EXPECT_NEAR(static_cast<double>(second) / perHeight, probability, 0.01) << "depth " << depth;
    }

    // The third band starts at 150 and decays by 1000; the second starts at 100.
    const auto far = MakeGradients({{100, 0, 0.0f, 0.2f}, {50, 0, 0.0f, 0.4f}, {105, 1000, 0.0f, 0.6f}});
    std::vector<uint8_t> heights;
    for (int p : {99, 100, 120, 149})
        heights.insert(heights.end(), 1000, static_cast<uint8_t>(p));
    TextureGen::Mt19937 reference(7);
    const Output out = PaintHeights(far, heights);
    const TextureGen::NormalSampler normal;
    for (size_t d = 0; d < 3 * heights.size(); ++d)
        normal(reference);
    EXPECT_EQ(out.engine, reference);
    size_t third = 0;
    for (size_t k = 0; k < 1000; ++k)
        ASSERT_EQ(out.Red(k), 51) << "height 99 belongs to the first band only";
    for (size_t k = 1000; k < 4000; ++k)
        third += out.Red(k) == 153;
    EXPECT_GT(third, 2850u); // |1000 r| >= 50 in about 96 % of the draws
}

// The own engine against the standard library's, across several refills. The sampler: moments and
// two-sided tail probabilities of 2 million draws, including the far tail beyond 3.44 that the ziggurat
// draws separately.
TEST(TextureGenTest, TwisterGivesTheStandardSequenceAndTheSamplerAStandardNormal)
{
    for (uint32_t seed : {5489u, 0u, 1u, 0xFFFFFFFFu, 20240611u})
    {
        TextureGen::Mt19937 engine(seed);
        std::mt19937 reference(seed);
        for (int n = 0; n < 2000; ++n)
            ASSERT_EQ(engine(), reference()) << "seed " << seed << ", output " << n;
    }

    TextureGen::Mt19937 engine(11);
    const TextureGen::NormalSampler normal;
    std::vector<double> draws(2000000);
    std::generate(draws.begin(), draws.end(), [&] { return normal(engine); });
    const double n = static_cast<double>(draws.size());
    EXPECT_NEAR(std::accumulate(draws.begin(), draws.end(), 0.0) / n, 0.0, 0.005);
    EXPECT_NEAR(std::inner_product(draws.begin(), draws.end(), draws.begin(), 0.0) / n, 1.0, 0.005);
    const std::pair<double, double> tails[] = {{0.5, 0.617075},   {1.0, 0.317311},    {2.0, 0.0455003},
                                               {3.0, 0.00269980}, {3.5, 0.000465258}, {4.0, 0.0000633425}};
    for (const auto& [limit, expected] : tails)
    {
        const auto beyond =
            std::count_if(draws.begin(), draws.end(), [l = limit](double r) { return std::fabs(r) >= l; });
        EXPECT_NEAR(static_cast<double>(beyond) / n, expected,
                    6.0 * std::sqrt(expected * (1.0 - expected) / n) + 1e-6)
            << limit;
    }
}

// The single pass (last band whose start the angle reaches) against painting band after band, on three
// threads. A normal a rounding error longer than 1 is flat (clamped, not a NaN angle); a NaN normal
// belongs to no band.
TEST(TextureGenTest, SlopePassMatchesBandAfterBand)
{
    const auto gradients =
        MakeGradients({{0, 0, 20.0f, 0.1f}, {0, 0, 25.0f, 0.3f}, {0, 0, 15.0f, 0.5f}, {0, 0, 30.0f, 0.7f}});
    std::vector<float> normals;
    for (size_t k = 0; k < 200001; ++k)
    {
        const double rad = static_cast<double>((k * 7919) % 9001) * 0.01 * 3.14159265358979 / 180.0;
        normals.insert(normals.end(),
                       {static_cast<float>(std::sin(rad)), static_cast<float>(std::cos(rad)), 0.0f});
    }
    normals.insert(normals.end(), {0.0f, 1.0000001f, 0.0f, kNaN, kNaN, kNaN});
    const size_t pixels = normals.size() / 3;
    Output out(pixels);
    Parallel::SetThreadCount(3);
    TextureGen::PaintBySlope(gradients, normals.data(), pixels, out.diffuse.data(), out.specular.data());
    Parallel::SetThreadCount(0);
    for (size_t k = 0; k < pixels; ++k)
    {
        const float angle = std::acos(std::clamp(normals[3 * k + 1], -1.0f, 1.0f)) * 57.29578f;
        uint8_t red = 0;
        float start = 0.0f;
        for (const auto& g : gradients)
        {
            if (angle >= start) red = static_cast<uint8_t>(g->color.r * 255.0f);
            start += g->slopeSpan;
        }
        ASSERT_EQ(std::make_pair(out.Red(k), out.specular[k]), std::make_pair(red, red)) << k;
    }
}
} // namespace
