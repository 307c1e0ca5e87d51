#include "engine/Parallel.h"
#include "terrain/Generators.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cmath>
#include <string>
#include <vector>

using testsupport::LogCapture;

namespace
{
std::vector<std::string> CriticalLines(const LogCapture& log)
{
    std::vector<std::string> lines;
    for (const auto& record : log.Records())
        if (record.level == spdlog::level::critical) lines.push_back(record.text);
    return lines;
}

class DiamondSquareThreeTest : public ::testing::TestWithParam<float>
{
};

TEST_P(DiamondSquareThreeTest, CentreAndEdgesAverageTheirNeighbours)
{
    const float roughness = GetParam(), range = 10.0f;
    LogCapture log;
    GeneratorRandom random(42);
    std::vector<float> h;
    ASSERT_TRUE(Generators::DiamondSquare(3, 3, range, roughness, random, h));
    EXPECT_EQ(CriticalLines(log),
              (std::vector<std::string>{"Step: 1", "Diamond size: 1", "Square sizes: 4"}));

    // Replay the draws: four corners, the centre, then the four edge midpoints in queue order.
    GeneratorRandom replay(42);
    float expected[9] = {};
    for (int corner : {0, 2, 6, 8})
        expected[corner] = static_cast<float>(double{range} * replay.Normal());
    const float factor = static_cast<float>(std::pow(2.0, -double{roughness}));
    // Diagonals of (1, 1) in the order (x-1, y+1), (x-1, y-1), (x+1, y-1), (x+1, y+1).
    const float corners = expected[2] + expected[0] + expected[6] + expected[8];
    expected[4] = corners * 0.25f + static_cast<float>(double{factor} * replay.Normal() * range);
    // Square queue from the centre: (0, 1), (2, 1), (1, 0), (1, 2), i.e. k = 1, 7, 3, 5; each averages
    // its neighbours (x-1, y), (x+1, y), (x, y-1), (x, y+1) that lie inside the grid, in that order.
    const int order[4] = {1, 7, 3, 5};
    const int neighbours[4][3] = {{4, 0, 2}, {4, 6, 8}, {0, 6, 4}, {2, 8, 4}};
    for (int n = 0; n < 4; ++n)
    {
        const double g = replay.Normal();
        const int* nb = neighbours[n];
        const float sum = expected[nb[0]] + expected[nb[1]] + expected[nb[2]];
        expected[order[n]] = sum / 3.0f + static_cast<float>(double{range} * g * factor);
    }
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(h[k], expected[k]) << k;
}

INSTANTIATE_TEST_SUITE_P(Roughness, DiamondSquareThreeTest, ::testing::Values(0.0f, 1.0f, 0.3f));

TEST(GeneratorsTest, DiamondSquareFiveRunsTwoStepsAndWritesEveryPoint)
{
    LogCapture log;
    GeneratorRandom random(3);
    std::vector<float> h;
    ASSERT_TRUE(Generators::DiamondSquare(5, 5, 4.0f, 0.5f, random, h));
    EXPECT_EQ(CriticalLines(log),
              (std::vector<std::string>{"Step: 2", "Diamond size: 1", "Square sizes: 4", "Step: 1",
                                        "Diamond size: 4", "Square sizes: 12"}));
    for (size_t k = 0; k < h.size(); ++k)
        EXPECT_NE(h[k], 0.0f) << k; // every point got a draw
}

// The diamond phase would read diagonal corners outside such grids: refused with all heights 0.
TEST(GeneratorsTest, DiamondSquareRefusesSidesOtherThanPowerOfTwoPlusOne)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{2, 2}, {1, 1}, {4, 4}, {10, 10}, {17, 9}, {0, 0}};
    for (const auto& [w, h] : sizes)
    {
        LogCapture log;
        GeneratorRandom random(1);
        std::vector<float> heights(3, 5.0f);
        EXPECT_FALSE(Generators::DiamondSquare(w, h, 4.0f, 0.5f, random, heights)) << w << " x " << h;
        EXPECT_EQ(heights, std::vector<float>(size_t{w} * h, 0.0f));
        EXPECT_TRUE(CriticalLines(log).empty());
    }
}

// A point outside the grid, or one without neighbours at the distance, writes nothing.
TEST(GeneratorsTest, CalculateSquareOutsideOrWithoutNeighboursWritesNothing)
{
    float h[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(Generators::CalculateSquare(h, 3, 3, -1, 1, 1, 0.0f), -3.4028235e38f);
    EXPECT_EQ(Generators::CalculateSquare(h, 3, 3, 1, 3, 1, 0.0f), -3.4028235e38f);
    LogCapture log;
    EXPECT_EQ(Generators::CalculateSquare(h, 3, 3, 1, 1, 5, 0.0f), -3.4028235e38f);
    EXPECT_EQ(std::vector<float>(h, h + 9), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(
        log.Has(spdlog::level::err, "Terrain generation CalculateSquare failure, cannot divide by 0."));
}

TEST(GeneratorsTest, RandomFaultOneIterationSplitsTheGridAlongTheLine)
{
    for (uint32_t seed = 0; seed < 20; ++seed)
    {
        GeneratorRandom random(seed);
        int signCalls = 0;
        random.sign = [&] { return ++signCalls; }; // 1: odd, so the sign is -1
        std::vector<float> a;
        Generators::RandomFault(9, 6, 10.0f, 1.0f, 1, random, a);
        EXPECT_EQ(signCalls, 1);

        GeneratorRandom replay(seed);
        const uint32_t r1 = replay.Uniform(5), c1 = replay.Uniform(8), r2 = replay.Uniform(5),
                       c2 = replay.Uniform(8);
        const float slope = (float(r2) - float(r1)) / (float(c2) - float(c1));
        const float intercept = float(r1) - float(c1) * slope;
        const float offset = static_cast<float>(replay.Normal() * -1 * 10.0f * 0.5f);
        for (uint32_t r = 0; r < 6; ++r)
            for (uint32_t c = 0; c < 9; ++c)
            {
                const int32_t line = Generators::FaultLineRow(slope, intercept, c);
                EXPECT_EQ(a[r * 9 + c], static_cast<int32_t>(r) < line ? offset : -offset) << seed;
            }
    }
}

// One column: c1 = c2 on every draw, so the line is vertical (a non-finite row) and every point is
// lowered by each iteration's offset; roughness 1 halves the factor each time.
TEST(GeneratorsTest, VerticalFaultLinesLowerEveryRowWithADecayingOffset)
{
    GeneratorRandom random(21);
    random.sign = [] { return 2; };
    std::vector<float> a;
    Generators::RandomFault(1, 3, 8.0f, 1.0f, 3, random, a);
    GeneratorRandom replay(21);
    float expected = 0.0f, factor = 0.5f;
    for (int it = 0; it < 3; ++it)
    {
        for (int draw = 0; draw < 4; ++draw)
            replay.Uniform(draw % 2 == 0 ? 2 : 0);
        expected -= static_cast<float>(replay.Normal() * 1 * 8.0f * factor);
        factor = static_cast<float>(0.5 * factor);
    }
    EXPECT_EQ(a, std::vector<float>(3, expected));
}

TEST(GeneratorsTest, FaultLineRowRoundsHalvesAwayAndNeverConvertsOutOfRange)
{
    EXPECT_EQ(Generators::FaultLineRow(0.5f, 1.0f, 3), 3);   // 2.5
    EXPECT_EQ(Generators::FaultLineRow(-0.5f, 0.0f, 5), -3); // -2.5
    for (float slope : {std::nanf(""), INFINITY, -INFINITY, -1e30f})
        EXPECT_EQ(Generators::FaultLineRow(slope, 0.0f, 2), INT32_MIN) << slope;
    EXPECT_EQ(Generators::FaultLineRow(1e30f, 0.0f, 2), INT32_MAX);
}

TEST(GeneratorsTest, RandomFaultIsTheSameBitsForAnyThreadCount)
{
    const auto run = [](unsigned threads)
    {
        Parallel::SetThreadCount(threads);
        GeneratorRandom random(77);
        random.sign = [n = 0]() mutable { return n++; };
        std::vector<float> a;
        Generators::RandomFault(257, 300, 10.0f, 0.5f, 12, random, a);
        return a;
    };
    EXPECT_EQ(run(1), run(3));
    Parallel::SetThreadCount(0);
}
} // namespace

namespace
{
// The fault signs follow the C library's rand() sequence for the generation's seed, drawn from a
// private state: glibc itself is the reference (srand then rand), and the global state is not used.
TEST(LibcRandomTest, GivesGlibcsRandSequenceForTheSeed)
{
    for (const uint32_t seed : {0u, 1u, 2u, 12345u, 2147483647u, 2147483648u, 4294967295u})
    {
        std::srand(seed);
        std::vector<int> expected(400);
        for (int& value : expected)
            value = std::rand();
        LibcRandom random(seed);
        std::srand(99); // the private state does not read the global one
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(random.Next(), expected[i]) << "seed " << seed << ", draw " << i;
    }
}

TEST(LibcRandomTest, ASeedRebuildsTheSameRandomFaultAndRecordsItself)
{
    GeneratorRandom first(314);
    std::vector<float> a, b, c;
    Generators::RandomFault(9, 6, 3.0f, 0.5f, 40, first, a);
    std::srand(7); // a run of the global generator in between changes nothing
    GeneratorRandom again(314);
    Generators::RandomFault(9, 6, 3.0f, 0.5f, 40, again, b);
    GeneratorRandom other(315);
    Generators::RandomFault(9, 6, 3.0f, 0.5f, 40, other, c);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(first.seed, 314u);
    EXPECT_NE(GeneratorRandom().seed, GeneratorRandom().seed) << "two unseeded generations share a seed";
}
} // namespace
