#include "engine/Parallel.h"
#include "terrain/Generators.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>
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

// Diamond-square written plainly from its description: two queues, a visited array and every draw
// taken in queue order on the calling thread.
std::vector<float> PlainDiamondSquare(uint32_t side, float range, float roughness, GeneratorRandom& random)
{
    const int64_t n = side;
    std::vector<float> h(size_t(n * n), 0.0f);
    std::vector<uint8_t> visited(h.size(), 0);
    std::deque<std::pair<int64_t, int64_t>> diamonds, squares;
    for (int64_t corner : {int64_t{0}, n - 1, (n - 1) * n, n * n - 1})
    {
        h[size_t(corner)] = static_cast<float>(double{range} * random.Normal());
        visited[size_t(corner)] = 1;
    }
    diamonds.emplace_back(n / 2, n / 2);
    visited[size_t(n / 2 * n + n / 2)] = 1;
    const auto push = [&](auto& q, int64_t x, int64_t y)
    {
        if (x >= 0 && y >= 0 && x < n && y < n && !visited[size_t(x * n + y)])
        {
            visited[size_t(x * n + y)] = 1;
            q.emplace_back(x, y);
        }
    };
    const auto at = [&](int64_t x, int64_t y) { return h[size_t(x * n + y)]; };
    int64_t half = n / 2;
    const double decay = std::pow(2.0, -double{roughness});
    float factor = static_cast<float>(decay);
    while (half > 0)
    {
        for (; !diamonds.empty(); diamonds.pop_front())
        {
            const auto [x, y] = diamonds.front();
            const double g = random.Normal();
            const float sum = at(x - half, y + half) + at(x - half, y - half) + at(x + half, y - half) +
                              at(x + half, y + half);
            h[size_t(x * n + y)] = sum * 0.25f + static_cast<float>(double{factor} * g * range);
            push(squares, x - half, y);
            push(squares, x + half, y);
            push(squares, x, y - half);
            push(squares, x, y + half);
        }
        const int64_t next = half / 2;
        for (; !squares.empty(); squares.pop_front())
        {
            const auto [x, y] = squares.front();
            const double g = random.Normal();
            float sum = 0.0f;
            int count = 0;
            for (const auto& [nx, ny] : {std::pair{x - half, y}, {x + half, y}, {x, y - half}, {x, y + half}})
                if (nx >= 0 && ny >= 0 && nx < n && ny < n)
                {
                    sum += at(nx, ny);
                    ++count;
                }
            h[size_t(x * n + y)] =
                sum / static_cast<float>(count) + static_cast<float>(double{range} * g * factor);
            if (next > 0)
            {
                push(diamonds, x - next, y - next);
                push(diamonds, x + next, y - next);
                push(diamonds, x - next, y + next);
                push(diamonds, x + next, y + next);
            }
        }
        half = next;
        factor = static_cast<float>(double{factor} * decay);
    }
    return h;
}

// Both forms, on one thread and with the draws taken ahead on a second (from 513 x 513 on),
// against the plain run; the random source must also end in the same state (the same draw count).
TEST(GeneratorsTest, DiamondSquareMatchesThePlainQueuesOnAnyThreadCount)
{
    for (uint32_t side : {9u, 129u, 513u})
        for (unsigned threads : {1u, 2u})
        {
            if (side == 513 && threads == 1) continue; // the size matters only for the second thread
            Parallel::SetThreadCount(threads);
            GeneratorRandom plainRandom(side);
            const std::vector<float> expected = PlainDiamondSquare(side, 30.0f, 0.8f, plainRandom);

            GeneratorRandom random(side);
            std::vector<float> heights;
            ASSERT_TRUE(Generators::DiamondSquare(side, side, 30.0f, 0.8f, random, heights));
            EXPECT_EQ(heights, expected) << side << " on " << threads;
            EXPECT_EQ(random.Normal(), plainRandom.Normal()) << side << " on " << threads;

            // Strided: the y of interleaved positions; x and z stay untouched.
            GeneratorRandom stridedRandom(side);
            std::vector<float> positions(3 * expected.size(), -1.0f);
            ASSERT_TRUE(
                Generators::DiamondSquare(side, side, 30.0f, 0.8f, stridedRandom, positions.data() + 1, 3));
            for (size_t k = 0; k < expected.size(); ++k)
            {
                ASSERT_EQ(positions[3 * k + 1], expected[k]) << side << " vertex " << k;
                ASSERT_EQ(positions[3 * k], -1.0f);
                ASSERT_EQ(positions[3 * k + 2], -1.0f);
            }
        }
    Parallel::SetThreadCount(0);
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
