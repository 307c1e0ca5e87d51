#include "bench/PlainLoops.h"
#include "engine/Parallel.h"
#include "terrain/Generators.h"
#include "tests/support/TestCommon.h"

#include <deque>

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

TEST(GeneratorsTest, CalculateSquareOutsideOrWithoutNeighboursWritesNothing)
{
    float h[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    LogCapture log;
    for (const auto& [x, y, distance] : {std::tuple{-1, 1, 1u}, {1, 3, 1u}, {1, 1, 5u}})
        EXPECT_EQ(Generators::CalculateSquare(h, 3, 3, x, y, distance, 0.0f), -3.4028235e38f);
    EXPECT_EQ(std::vector<float>(h, h + 9), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(
        log.Has(spdlog::level::err, "Terrain generation CalculateSquare failure, cannot divide by 0."));
}

// Against the plain loop; the large grid on three threads with a row count that does not divide by
// three; a vertical line (c1 = c2) lies past every row.
TEST(GeneratorsTest, RandomFaultAddsAboveEachLineAndSubtractsBelow)
{
    Parallel::SetThreadCount(3);
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t> cases[] = {
        {9, 6, 1, 20}, {257, 200, 3, 2}, {1, 3, 3, 1}}; // one column: every line vertical
    for (const auto& [w, h, iterations, seeds] : cases)
        for (uint32_t seed = 0; seed < seeds; ++seed)
        {
            GeneratorRandom random(seed), replay(seed);
            replay.sign = [n = 0]() mutable { return n++; }; // both signs, alternating
            random.sign = replay.sign;
            std::vector<float> a;
            Generators::RandomFault(w, h, 10.0f, 1.0f, iterations, random, a);
            ASSERT_EQ(a, plain::RandomFault(w, h, 10.0f, 1.0f, iterations, replay))
                << w << " x " << h << ", seed " << seed;
        }
    Parallel::SetThreadCount(0);

    // The row where a line crosses a column rounds halves away from zero and never converts out of range.
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
    const auto inside = [n](int64_t x, int64_t y) { return x >= 0 && y >= 0 && x < n && y < n; };
    const auto push = [&](auto& q, int64_t x, int64_t y)
    {
        if (inside(x, y) && !std::exchange(visited[size_t(x * n + y)], uint8_t{1})) q.emplace_back(x, y);
    };
    push(diamonds, n / 2, n / 2);
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
            for (const auto& [sx, sy] : {std::pair{x - half, y}, {x + half, y}, {x, y - half}, {x, y + half}})
                push(squares, sx, sy);
        }
        const int64_t next = half / 2;
        for (; !squares.empty(); squares.pop_front())
        {
            const auto [x, y] = squares.front();
            const double g = random.Normal();
            float sum = 0.0f;
            int count = 0;
            for (const auto& [nx, ny] : {std::pair{x - half, y}, {x + half, y}, {x, y - half}, {x, y + half}})
                if (inside(nx, ny)) sum += at(nx, ny), ++count;
            h[size_t(x * n + y)] =
                sum / static_cast<float>(count) + static_cast<float>(double{range} * g * factor);
            for (const auto& [dx, dy] : {std::pair{-next, -next}, {next, -next}, {-next, next}, {next, next}})
                if (next > 0) push(diamonds, x + dx, y + dy);
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
    for (uint32_t side : {5u, 9u, 129u, 513u})
        for (unsigned threads : {1u, 2u})
        {
            if (side == 513 && threads == 1) continue; // the size matters only for the second thread
            Parallel::SetThreadCount(threads);
            const float roughness = side == 5 ? 1.0f : 0.8f;
            GeneratorRandom plainRandom(side);
            const std::vector<float> expected = PlainDiamondSquare(side, 30.0f, roughness, plainRandom);

            LogCapture log;
            GeneratorRandom random(side);
            std::vector<float> heights;
            ASSERT_TRUE(Generators::DiamondSquare(side, side, 30.0f, roughness, random, heights));
            if (side == 5)
            {
                EXPECT_EQ(CriticalLines(log),
                          (std::vector<std::string>{"Step: 2", "Diamond size: 1", "Square sizes: 4",
                                                    "Step: 1", "Diamond size: 4", "Square sizes: 12"}));
            }
            EXPECT_EQ(heights, expected) << side << " on " << threads;
            EXPECT_EQ(random.Normal(), plainRandom.Normal()) << side << " on " << threads;

            // Strided: the y of interleaved positions; x and z stay untouched.
            GeneratorRandom stridedRandom(side);
            std::vector<float> positions(3 * expected.size(), -1.0f);
            ASSERT_TRUE(Generators::DiamondSquare(side, side, 30.0f, roughness, stridedRandom,
                                                  positions.data() + 1, 3));
            for (size_t k = 0; k < expected.size(); ++k)
                ASSERT_EQ(std::tie(positions[3 * k], positions[3 * k + 1], positions[3 * k + 2]),
                          std::make_tuple(-1.0f, expected[k], -1.0f))
                    << side << " vertex " << k;
        }
    Parallel::SetThreadCount(0);
}

// The fault signs follow the C library's rand() sequence for the generation's seed, drawn from a
// private state: glibc itself is the reference (srand then rand), and the global state is not used.
TEST(LibcRandomTest, GivesGlibcsRandSequenceForTheSeed)
{
    for (const uint32_t seed : {0u, 1u, 2u, 12345u, 2147483647u, 2147483648u, 4294967295u})
    {
        std::srand(seed);
        std::vector<int> expected(400);
        std::generate(expected.begin(), expected.end(), std::rand);
        LibcRandom random(seed);
        std::srand(99); // the private state does not read the global one
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(random.Next(), expected[i]) << "seed " << seed << ", draw " << i;
    }
    EXPECT_NE(GeneratorRandom().seed, GeneratorRandom().seed) << "two unseeded generations share a seed";
}

// The generators report how far they are while they run, and stop at the first report that says
// so: the New Terrain job's progress bar and its Cancel hang on this.
TEST(GeneratorsTest, ReportsRiseDuringTheRunAndAStopEndsIt)
{
    for (const bool diamond : {true, false})
    {
        const auto run =
            [diamond](GeneratorRandom& random, std::vector<float>& out, const Generators::Progress& p)
        {
            if (!diamond) return Generators::RandomFault(65, 65, 3.0f, 0.5f, 40, random, out, p);
            out.assign(size_t{513} * 513, 0.0f);
            return Generators::DiamondSquare(513, 513, 3.0f, 0.5f, random, out.data(), 1, p);
        };
        std::vector<float> heard, reported, plain;
        GeneratorRandom first(21), second(21), third(21);
        ASSERT_TRUE(run(first, reported, [&](float done) { return heard.push_back(done), true; }));
        ASSERT_GE(heard.size(), diamond ? 4u : 40u);
        EXPECT_EQ(std::adjacent_find(heard.begin(), heard.end(), std::greater_equal<float>()), heard.end());
        EXPECT_TRUE(heard.front() > 0.0f && heard.back() <= 1.0f);
        ASSERT_TRUE(run(second, plain, {}));
        EXPECT_EQ(reported, plain) << "listening changed the heights";
        int calls = 0;
        EXPECT_FALSE(run(third, plain, [&](float) { return ++calls < 1; }));
        EXPECT_EQ(calls, 1) << "the generator went on after being told to stop";
    }
}
} // namespace
