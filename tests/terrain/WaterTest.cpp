#include "terrain/Water.h"

#include "engine/Parallel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

namespace
{
using Pixel = std::array<uint8_t, 4>;
const std::array<uint32_t, 4> kFull{0, 0, 255, 255};

struct Grid
{
    Grid(uint32_t width, uint32_t height, uint8_t ground = 0)
        : width(width), height(height), heights(size_t{width} * height, ground), watermap(4 * heights.size(), 0)
    {
    }
    uint32_t K(uint32_t i, uint32_t j) const { return i * height + j; }
    void SetPixel(uint32_t k, const Pixel& p) { std::memcpy(&watermap[4 * size_t{k}], p.data(), 4); }
    Pixel GetPixel(uint32_t k) const
    {
        Pixel p;
        std::memcpy(p.data(), &watermap[4 * size_t{k}], 4);
        return p;
    }
    std::set<uint32_t> Flood(uint32_t start, uint32_t& level) const
    {
        std::vector<uint8_t> visited(heights.size(), 0);
        std::deque<uint32_t> result;
        Water::Flood(heights.data(), watermap.data(), width, height, start, kFull, result, visited.data(), level);
        return {result.begin(), result.end()};
    }
    std::set<uint32_t> Flood(uint32_t start) const
    {
        uint32_t level = 0;
        return Flood(start, level);
    }
    std::set<uint32_t> PixelsOf(const Pixel& p) const
    {
        std::set<uint32_t> found;
        for (uint32_t k = 0; k < heights.size(); ++k)
            if (GetPixel(k) == p)
                found.insert(k);
        return found;
    }

    uint32_t width, height;
    std::vector<uint8_t> heights;
    std::vector<uint8_t> watermap;
};

// The search exactly as described: one stack entry per push, visited set on pop.
std::set<uint32_t> ReferenceFlood(const Grid& g, uint32_t start, uint32_t& level, std::vector<uint8_t>& visited)
{
    const int di[8] = {1, 1, 1, 0, -1, -1, -1, 0};
    const int dj[8] = {0, 1, -1, 1, 0, 1, -1, -1};
    std::vector<uint32_t> stack{start};
    std::set<uint32_t> result;
    while (!stack.empty())
    {
        const uint32_t k = stack.back();
        stack.pop_back();
        visited[k] = 1;
        const int i = static_cast<int>(k / g.height);
        const int j = static_cast<int>(k % g.height);
        bool pushed = false;
        for (int s = 0; s < 8; ++s)
        {
            const int ni = i + di[s];
            const int nj = j + dj[s];
            if (ni < 0 || nj < 0 || ni >= static_cast<int>(g.width) || nj >= static_cast<int>(g.height))
                continue;
            const uint32_t n = g.K(ni, nj);
            if (visited[n])
                continue;
            const Pixel p = g.GetPixel(n);
            const bool isWater = p[0] == kFull[0] && p[1] == kFull[1] && p[2] == kFull[2] && p[3] == kFull[3];
            if (isWater && g.heights[n] > level)
                level = g.heights[n];
            if (g.heights[n] <= g.heights[k] || g.heights[n] <= level || isWater)
            {
                stack.push_back(n);
                pushed = true;
            }
        }
        if (!pushed)
            result.insert(k);
    }
    return result;
}

TEST(WaterTest, FlatThreeByThreeFromTheCentre)
{
    const Grid g(3, 3);
    const std::set<uint32_t> expected = {g.K(0, 0), g.K(0, 1), g.K(0, 2), g.K(1, 2), g.K(2, 0), g.K(2, 1), g.K(2, 2)};
    EXPECT_EQ(g.Flood(g.K(1, 1)), expected);
}

TEST(WaterTest, APitMarksExactlyItself)
{
    Grid g(5, 5, 50);
    g.heights[g.K(2, 2)] = 10;
    EXPECT_EQ(g.Flood(g.K(2, 2)), std::set<uint32_t>{g.K(2, 2)});
}

// A vertex at the end of a row has no neighbour in the next row's first column, although that is the
// next index: walls everywhere, the indices on the other side of the row break at height 0.
TEST(WaterTest, EdgeVerticesNeverWrapToTheNextRow)
{
    for (uint32_t j : {0u, 3u})
    {
        for (uint32_t i : {0u, 1u, 3u})
        {
            Grid g(4, 4, 200);
            const uint32_t start = g.K(i, j);
            g.heights[start] = 100;
            for (int d : {-5, -4, -3, -1, 1, 3, 4, 5})
            {
                const int64_t n = int64_t{start} + d;
                const int64_t ni = n / 4, nj = n % 4;
                const bool trueNeighbour = n >= 0 && n < 16 && std::abs(ni - int64_t{i}) <= 1 &&
                                           std::abs(nj - int64_t{j}) <= 1;
                if (n >= 0 && n < 16 && !trueNeighbour)
                    g.heights[n] = 0;
            }
            EXPECT_EQ(g.Flood(start), std::set<uint32_t>{start}) << "vertex " << i << ", " << j;
        }
    }
}

// Heights along one row: 10 45 40 40 40 50. Poured at the fourth 40, water runs down to the 40s and stops
// at the 45; with full water on the 50 the level rises to 50 and it crosses the 45 down to the 10.
TEST(WaterTest, MeetingFullWaterRaisesTheLevel)
{
    Grid g(1, 6);
    g.heights = {10, 45, 40, 40, 40, 50};
    uint32_t level = 0;
    EXPECT_EQ(g.Flood(4, level), std::set<uint32_t>{2});
    EXPECT_EQ(level, 0u);

    g.SetPixel(5, Water::kFullWater);
    EXPECT_EQ(g.Flood(4, level), (std::set<uint32_t>{0, 5}));
    EXPECT_EQ(level, 50u);
}

TEST(WaterTest, StartOutsideTheGridDoesNothing)
{
    const Grid g(3, 3);
    EXPECT_TRUE(g.Flood(9).empty());
}

// The bounded search against the plain one on many small random grids: same marked set, same level,
// same visited vertices. Heights come from a few values so that plateaus and water walls are common.
TEST(WaterTest, FloodMatchesThePlainSearch)
{
    std::mt19937 random(2024);
    for (int trial = 0; trial < 4000; ++trial)
    {
        // Some larger grids, so that levels rise while many repeated entries are still waiting.
        const uint32_t side = trial % 4 == 0 ? 40 : 9;
        const uint32_t w = 1 + random() % side;
        const uint32_t h = 1 + random() % side;
        Grid g(w, h);
        const uint32_t spread = 1 + random() % 6;
        for (auto& v : g.heights)
            v = static_cast<uint8_t>(random() % spread * (trial % 3 == 0 ? 40 : 1));
        const uint32_t waterChance = random() % 4;
        for (uint32_t k = 0; k < w * h; ++k)
        {
            const uint32_t roll = random() % (side == 9 ? 8 : 64);
            if (roll < waterChance)
                g.SetPixel(k, Water::kFullWater);
            else if (roll == 7)
                g.SetPixel(k, Water::kEdgeWater);
        }
        const uint32_t start = random() % (w * h);
        const uint32_t startLevel = random() % 3;

        uint32_t level = startLevel;
        std::vector<uint8_t> visited(w * h, 0);
        std::deque<uint32_t> result;
        Water::Flood(g.heights.data(), g.watermap.data(), w, h, start, kFull, result, visited.data(), level);

        uint32_t referenceLevel = startLevel;
        std::vector<uint8_t> referenceVisited(w * h, 0);
        const std::set<uint32_t> expected = ReferenceFlood(g, start, referenceLevel, referenceVisited);

        ASSERT_EQ(std::set<uint32_t>(result.begin(), result.end()), expected) << "trial " << trial;
        ASSERT_EQ(result.size(), expected.size()) << "each vertex appended once";
        ASSERT_EQ(level, referenceLevel) << "trial " << trial;
        for (uint32_t k = 0; k < w * h; ++k)
            ASSERT_EQ(visited[k] != 0, referenceVisited[k] != 0) << "trial " << trial << " vertex " << k;
    }
}

TEST(WaterTest, PourMarksTheResultAsFullWater)
{
    Grid g(5, 5, 50);
    g.heights[g.K(2, 2)] = 10;
    g.SetPixel(g.K(0, 0), Water::kEdgeWater);
    Water::Pour(g.heights.data(), g.watermap.data(), 5, 5, g.K(2, 2));
    EXPECT_EQ(g.PixelsOf(Water::kFullWater), std::set<uint32_t>{g.K(2, 2)});
    EXPECT_EQ(g.PixelsOf(Water::kEdgeWater), std::set<uint32_t>{g.K(0, 0)});
}

// A stack of the plain search's size would hold tens of millions of entries here; the search must also
// never recurse.
TEST(WaterTest, PourOverAFlat4097GridCompletes)
{
    Grid g(4097, 4097);
    Water::Pour(g.heights.data(), g.watermap.data(), 4097, 4097, g.K(2048, 2048));
    size_t full = 0;
    for (size_t k = 0; k < g.heights.size(); ++k)
        full += g.watermap[4 * k + 3] == 255;
    EXPECT_GT(full, 0u);
}

TEST(WaterTest, OutlineFringesAreClippedInCorners)
{
    const struct
    {
        uint32_t i, j;
        size_t edge;
    } cases[] = {{4, 4, 24}, {0, 0, 8}, {8, 8, 8}, {0, 4, 14}, {1, 1, 15}, {7, 0, 11}};
    for (const auto& c : cases)
    {
        Grid g(9, 9);
        g.SetPixel(g.K(c.i, c.j), Water::kFullWater);
        Water::Outline(g.watermap.data(), 9, 9);
        const std::set<uint32_t> edge = g.PixelsOf(Water::kEdgeWater);
        EXPECT_EQ(edge.size(), c.edge) << c.i << ", " << c.j;
        for (uint32_t k : edge)
        {
            EXPECT_LE(std::abs(static_cast<int>(k / 9) - static_cast<int>(c.i)), 2);
            EXPECT_LE(std::abs(static_cast<int>(k % 9) - static_cast<int>(c.j)), 2);
        }
        EXPECT_EQ(g.PixelsOf(Water::kFullWater), std::set<uint32_t>{g.K(c.i, c.j)});
    }
}

TEST(WaterTest, OutlineMatchesThePlainLoop)
{
    std::mt19937 random(77);
    for (int trial = 0; trial < 300; ++trial)
    {
        const uint32_t w = 1 + random() % 20;
        const uint32_t h = 1 + random() % 20;
        Grid g(w, h);
        for (uint32_t k = 0; k < w * h; ++k)
        {
            const uint32_t roll = random() % 20;
            if (roll == 0)
                g.SetPixel(k, Water::kFullWater);
            else if (roll == 1)
                g.SetPixel(k, Water::kEdgeWater);
            else if (roll == 2)
                g.SetPixel(k, {1, 2, 3, 4});
        }
        Grid expected = g;
        for (uint32_t i = 0; i < w; ++i)
            for (uint32_t j = 0; j < h; ++j)
                if (g.GetPixel(g.K(i, j)) == Water::kFullWater)
                    for (int di = -2; di <= 2; ++di)
                        for (int dj = -2; dj <= 2; ++dj)
                        {
                            const int ni = static_cast<int>(i) + di, nj = static_cast<int>(j) + dj;
                            if (ni >= 0 && nj >= 0 && ni < static_cast<int>(w) && nj < static_cast<int>(h) &&
                                expected.GetPixel(expected.K(ni, nj)) != Water::kFullWater)
                                expected.SetPixel(expected.K(ni, nj), Water::kEdgeWater);
                        }
        Water::Outline(g.watermap.data(), w, h);
        ASSERT_EQ(g.watermap, expected.watermap) << "trial " << trial;
    }
}

// --- Water plane -------------------------------------------------------------------------------------

struct PlaneInput
{
    PlaneInput(uint32_t width, uint32_t height) : grid(width, height), terrain(3 * size_t{width} * height, 0.0f) {}
    void SetHeight(uint32_t k, float y) { terrain[3 * size_t{k} + 1] = y; }
    Water::PlaneMesh Build(float distance = 1.0f, float minHeight = 0.0f) const
    {
        return Water::BuildPlane(grid.watermap.data(), terrain.data(), grid.width, grid.height, distance, minHeight);
    }
    Grid grid;
    std::vector<float> terrain;
};

TEST(WaterTest, PlaneOfAnIsolatedPixelAndItsFringe)
{
    const struct
    {
        uint32_t i, j;
        size_t vertices;
    } cases[] = {{4, 4, 25}, {0, 0, 9}, {0, 4, 15}, {8, 7, 12}};
    for (const auto& c : cases)
    {
        PlaneInput in(9, 9);
        for (uint32_t k = 0; k < 81; ++k)
            in.SetHeight(k, static_cast<float>(k % 7));
        const uint32_t center = in.grid.K(c.i, c.j);
        in.SetHeight(center, 3.5f);
        in.grid.SetPixel(center, Water::kFullWater);
        Water::Outline(in.grid.watermap.data(), 9, 9);
        const Water::PlaneMesh m = in.Build(2.0f, -1.0f);
        ASSERT_EQ(m.positions.size(), 3 * c.vertices) << c.i << ", " << c.j;
        for (size_t v = 0; v < c.vertices; ++v)
            EXPECT_EQ(m.positions[3 * v + 1], 3.5f);
    }
}

TEST(WaterTest, TwoLakesGetTwoLevels)
{
    PlaneInput in(10, 4);
    for (uint32_t i = 0; i < 10; ++i)
        for (uint32_t j = 0; j < 4; ++j)
            in.SetHeight(in.grid.K(i, j), static_cast<float>(i));
    for (uint32_t i : {0u, 1u, 2u, 6u, 7u})
        for (uint32_t j = 0; j < 4; ++j)
            in.grid.SetPixel(in.grid.K(i, j), Water::kFullWater);
    in.grid.SetPixel(in.grid.K(8, 0), Water::kEdgeWater); // edge water on a higher vertex does not lift the lake
    in.SetHeight(in.grid.K(8, 0), 100.0f);
    // Edge water alone stays at the terrain's bottom instead of the lowest float.
    in.grid.SetPixel(in.grid.K(4, 3), Water::kEdgeWater);
    const Water::PlaneMesh m = in.Build(1.0f, -0.5f);
    ASSERT_EQ(m.positions.size(), 3u * 22);
    std::set<float> levels;
    for (size_t v = 0; v < 22; ++v)
    {
        const float x = m.positions[3 * v] + 4.5f; // i
        levels.insert(m.positions[3 * v + 1]);
        EXPECT_EQ(m.positions[3 * v + 1], x < 4.0f ? 2.0f : (x < 5.0f ? -0.5f : 7.0f)) << "vertex " << v;
    }
    EXPECT_EQ(levels.size(), 3u);
}

// On a 3 x 3 all-water map the breadth-first walk from (0, 0) numbers (0,0) (0,1) (1,0) (1,1) (0,2)
// (1,2) (2,0) (2,1) (2,2), and each cell gives the terrain's two triangles.
TEST(WaterTest, PlaneNumbersVerticesBreadthFirst)
{
    PlaneInput in(3, 3);
    for (uint32_t k = 0; k < 9; ++k)
        in.grid.SetPixel(k, Water::kFullWater);
    const Water::PlaneMesh m = in.Build();
    const uint32_t order[9][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 2}, {1, 2}, {2, 0}, {2, 1}, {2, 2}};
    ASSERT_EQ(m.positions.size(), 27u);
    for (size_t v = 0; v < 9; ++v)
    {
        EXPECT_EQ(m.positions[3 * v], static_cast<float>(order[v][0]) - 1.0f) << v;
        EXPECT_EQ(m.positions[3 * v + 2], static_cast<float>(order[v][1]) - 1.0f) << v;
        EXPECT_EQ(m.texCoords[2 * v], static_cast<float>(order[v][1]) * 0.5f) << v;
        EXPECT_EQ(m.texCoords[2 * v + 1], static_cast<float>(order[v][0]) * 0.5f) << v;
        EXPECT_EQ(m.normals[3 * v + 1], 1.0f);
    }
    // Vertex numbers of pixels (i, j): 0 1 4 / 2 3 5 / 6 7 8.
    const std::vector<uint32_t> indices = {0, 2, 1, 1, 2, 3, 1, 3, 4, 4, 3, 5, 2, 6, 3, 3, 6, 7, 3, 7, 5, 5, 7, 8};
    EXPECT_EQ(m.indices, indices);
}

TEST(WaterTest, PlaneOfADryMapIsEmpty)
{
    PlaneInput in(5, 5);
    in.grid.SetPixel(3, {0, 0, 255, 128});
    const Water::PlaneMesh m = in.Build();
    EXPECT_TRUE(m.positions.empty());
    EXPECT_TRUE(m.indices.empty());
}
} // namespace
