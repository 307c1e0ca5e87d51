#include "terrain/Water.h"

#include "tests/support/TestCommon.h"

namespace
{
using Pixel = std::array<uint8_t, 4>;
const std::array<uint32_t, 4> kFull{0, 0, 255, 255};

struct Grid
{
    Grid(uint32_t width, uint32_t height, uint8_t ground = 0)
        : width(width), height(height), heights(size_t{width} * height, ground),
          watermap(4 * heights.size(), 0)
    {
    }
    uint32_t K(uint32_t i, uint32_t j) const { return i * height + j; }
    void Set(uint32_t k, const Pixel& p) { std::memcpy(&watermap[4 * size_t{k}], p.data(), 4); }
    bool Is(uint32_t k, const Pixel& p) const
    {
        return std::memcmp(&watermap[4 * size_t{k}], p.data(), 4) == 0;
    }
    uint32_t width, height;
    std::vector<uint8_t> heights;
    std::vector<uint8_t> watermap;
};

// The search exactly as described: one stack entry per push, visited set on pop, neighbours in the
// order (i+1, j), (i+1, j+1), (i+1, j-1), (i, j+1), (i-1, j), (i-1, j+1), (i-1, j-1), (i, j-1).
std::set<uint32_t> ReferenceFlood(const Grid& g, uint32_t start, uint32_t& level,
                                  std::vector<uint8_t>& visited)
{
    const int steps[8][2] = {{1, 0}, {1, 1}, {1, -1}, {0, 1}, {-1, 0}, {-1, 1}, {-1, -1}, {0, -1}};
    std::vector<uint32_t> stack{start};
    std::set<uint32_t> result;
    while (!stack.empty())
    {
        const uint32_t k = stack.back();
        stack.pop_back();
        visited[k] = 1;
        bool pushed = false;
        for (const auto& [di, dj] : steps)
        {
            const int i = static_cast<int>(k / g.height) + di, j = static_cast<int>(k % g.height) + dj;
            if (i < 0 || j < 0 || i >= static_cast<int>(g.width) || j >= static_cast<int>(g.height)) continue;
            const uint32_t n = g.K(i, j);
            if (visited[n]) continue;
            const bool isWater = g.Is(n, Water::kFullWater);
            if (isWater && g.heights[n] > level) level = g.heights[n];
            const bool takes = g.heights[n] <= g.heights[k] || g.heights[n] <= level || isWater;
            if (takes) stack.push_back(n);
            pushed = pushed || takes;
        }
        if (!pushed) result.insert(k);
    }
    return result;
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
        const uint32_t w = 1 + random() % side, h = 1 + random() % side;
        Grid g(w, h);
        const uint32_t spread = 1 + random() % 6;
        for (auto& v : g.heights)
            v = static_cast<uint8_t>(random() % spread * (trial % 3 == 0 ? 40 : 1));
        const uint32_t waterChance = random() % 4;
        for (uint32_t k = 0; k < w * h; ++k)
        {
            const uint32_t roll = random() % (side == 9 ? 8 : 64);
            if (roll < waterChance)
                g.Set(k, Water::kFullWater);
            else if (roll == 7)
                g.Set(k, Water::kEdgeWater);
        }
        const uint32_t start = random() % (w * h);
        uint32_t level = random() % 3, referenceLevel = level;
        std::vector<uint8_t> visited(w * h, 0), referenceVisited(w * h, 0);
        std::deque<uint32_t> result;
        Water::Flood(g.heights.data(), g.watermap.data(), w, h, start, kFull, result, visited.data(), level);
        const std::set<uint32_t> expected = ReferenceFlood(g, start, referenceLevel, referenceVisited);

        // The set, each vertex appended once, the level.
        ASSERT_EQ(std::make_tuple(std::set<uint32_t>(result.begin(), result.end()), result.size(), level),
                  std::make_tuple(expected, expected.size(), referenceLevel))
            << "trial " << trial;
        for (uint32_t k = 0; k < w * h; ++k)
            ASSERT_EQ(visited[k] != 0, referenceVisited[k] != 0) << "trial " << trial << " vertex " << k;
        result.clear(); // a start outside the grid does nothing
        Water::Flood(g.heights.data(), g.watermap.data(), w, h, w * h, kFull, result, visited.data(), level);
        ASSERT_TRUE(result.empty()) << "trial " << trial;
    }
}

// A stack of the plain search's size would hold tens of millions of entries here; the search must also
// never recurse.
TEST(WaterTest, PourOverAFlat4097GridCompletes)
{
    Grid g(4097, 4097);
    Water::Pour(g.heights.data(), g.watermap.data(), 4097, 4097, g.K(2048, 2048));
    size_t full = 0;
    for (size_t k = 0; k < g.heights.size(); ++k)
        full += g.Is(k, Water::kFullWater);
    EXPECT_GT(full, 0u);
}

// The separable outline passes against the plain 5 x 5 loop, over full, edge and other pixels.
TEST(WaterTest, OutlineMatchesThePlainLoop)
{
    std::mt19937 random(77);
    const Pixel kinds[3] = {Water::kFullWater, Water::kEdgeWater, {1, 2, 3, 4}};
    for (int trial = 0; trial < 300; ++trial)
    {
        const int w = 1 + random() % 20, h = 1 + random() % 20;
        Grid g(w, h);
        for (int k = 0; k < w * h; ++k)
            if (const uint32_t roll = random() % 20; roll < 3) g.Set(k, kinds[roll]);
        Grid expected = g;
        for (int k = 0; k < w * h; ++k)
            for (int n = 0; n < 25 && g.Is(k, Water::kFullWater); ++n)
            {
                const int i = k / h + n / 5 - 2, j = k % h + n % 5 - 2;
                if (i >= 0 && j >= 0 && i < w && j < h && !expected.Is(i * h + j, Water::kFullWater))
                    expected.Set(i * h + j, Water::kEdgeWater);
            }
        Water::Outline(g.watermap.data(), w, h);
        ASSERT_EQ(g.watermap, expected.watermap) << "trial " << trial;
    }
}

struct PlaneInput : Grid
{
    using Grid::Grid;
    void SetHeight(uint32_t k, float y) { terrain[3 * size_t{k} + 1] = y; }
    Water::PlaneMesh Build(float distance = 1.0f, float minHeight = 0.0f) const
    {
        return Water::BuildPlane(watermap.data(), terrain.data(), width, height, distance, minHeight);
    }
    std::vector<float> terrain = std::vector<float>(3 * heights.size(), 0.0f);
};

// Full water at heights i = 0..2 and 6..7: levels 2 and 7. Edge water on a higher vertex does not lift
// its lake. Edge water with no full water next to it (a map made elsewhere) lies on the highest ground
// under it, not at the terrain's bottom: no water vertex is under the ground it covers.
TEST(WaterTest, TwoLakesGetTwoLevels)
{
    PlaneInput in(10, 4);
    for (uint32_t k = 0; k < 40; ++k)
    {
        in.SetHeight(k, static_cast<float>(k / 4));
        if (k / 4 <= 2 || k / 4 == 6 || k / 4 == 7) in.Set(k, Water::kFullWater);
    }
    in.Set(in.K(8, 0), Water::kEdgeWater);
    in.SetHeight(in.K(8, 0), 100.0f);
    in.Set(in.K(4, 3), Water::kEdgeWater);
    in.Set(in.K(4, 2), Water::kEdgeWater);
    in.SetHeight(in.K(4, 2), 4.75f);
    const Water::PlaneMesh m = in.Build(1.0f, -0.5f);
    ASSERT_EQ(m.positions.size(), 3u * 23);
    for (size_t v = 0; v < 23; ++v)
    {
        const float i = m.positions[3 * v] + 4.5f;
        EXPECT_EQ(m.positions[3 * v + 1], i < 4.0f ? 2.0f : (i < 5.0f ? 4.75f : 7.0f)) << "vertex " << v;
    }
}

// On a 4 x 3 all-water map the breadth-first walk from (0, 0), neighbours (i-1, j), (i-1, j-1), (i-1, j+1),
// (i, j-1), (i, j+1), (i+1, j-1), (i+1, j), (i+1, j+1), numbers the pixels as below; each cell gives the
// terrain's two triangles. A pixel that is almost water (alpha 128) is dry.
TEST(WaterTest, PlaneNumbersVerticesBreadthFirst)
{
    PlaneInput in(4, 3);
    for (uint32_t k = 0; k < 12; ++k)
        in.Set(k, Water::kFullWater);
    const Water::PlaneMesh m = in.Build(2.0f);
    const uint32_t number[4][3] = {{0, 1, 4}, {2, 3, 5}, {6, 7, 8}, {9, 10, 11}};
    std::vector<float> positions(36), texCoords(24);
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < 4; ++i)
        for (uint32_t j = 0; j < 3; ++j)
        {
            const uint32_t v = number[i][j];
            positions[3 * v] = (static_cast<float>(i) - 1.5f) * 2.0f;
            positions[3 * v + 2] = (static_cast<float>(j) - 1.0f) * 2.0f;
            texCoords[2 * v] = static_cast<float>(j) * 0.5f;
            texCoords[2 * v + 1] = static_cast<float>(i) * (1.0f / 3.0f);
            if (i < 3 && j < 2) // the cell's two triangles
                indices.insert(indices.end(), {v, number[i + 1][j], number[i][j + 1], number[i][j + 1],
                                               number[i + 1][j], number[i + 1][j + 1]});
        }
    EXPECT_EQ(m.positions, positions);
    EXPECT_EQ(m.texCoords, texCoords);
    EXPECT_EQ(m.indices, indices);
    PlaneInput dry(5, 5);
    dry.Set(3, {0, 0, 255, 128});
    EXPECT_TRUE(dry.Build().positions.empty());
}
} // namespace
