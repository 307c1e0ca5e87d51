#include "terrain/Sculpt.h"
#include "terrain/Tiles.h"

#include "tests/support/TestCommon.h"

namespace
{
// A tilted plane y = 0.25 x - 0.5 z + 3 on a non-square grid (W 21 along x, H 13 along z) that does not
// start at the origin, at a vertex distance other than 1: swapped axes, a lost origin or distance show.
constexpr uint32_t kSculptW = 21, kSculptH = 13;
constexpr float kSculptD = 0.5f;

float Plane(float x, float z)
{
    return 0.25f * x - 0.5f * z + 3.0f;
}

std::vector<float> PlanePositions()
{
    std::vector<float> p(3 * size_t{kSculptW} * kSculptH);
    for (uint32_t i = 0; i < kSculptW; ++i)
        for (uint32_t j = 0; j < kSculptH; ++j)
        {
            const size_t k = size_t{i} * kSculptH + j;
            p[3 * k] = -4.0f + static_cast<float>(i) * kSculptD;
            p[3 * k + 2] = 1.0f + static_cast<float>(j) * kSculptD;
            p[3 * k + 1] = Plane(p[3 * k], p[3 * k + 2]);
        }
    return p;
}

TEST(SculptTest, APickedPointIsWhereTheRayMeetsTheSurface)
{
    const std::vector<float> p = PlanePositions();
    const Sculpt::GridFrame frame = Sculpt::GridFrame::Of(p.data(), kSculptD);
    EXPECT_EQ(std::make_pair(frame.x0, frame.z0), std::make_pair(-4.0f, 1.0f));
    const float low = Plane(-4.0f, 7.0f), high = Plane(6.0f, 1.0f); // the grid's lowest and highest corners
    // x and z: where the ray should meet the plane.
    const std::tuple<const char*, glm::vec3, glm::vec3, bool, float, float> cases[] = {
        {"straight down", {2.0f, 50.0f, 3.0f}, {0.0f, -1.0f, 0.0f}, true, 2.0f, 3.0f},
        {"down at the far corner", {5.9f, 20.0f, 6.9f}, {0.0f, -3.0f, 0.0f}, true, 5.9f, 6.9f},
        // y = 8 - s/2 meets 0.25 (s - 10) + 1 at s = 38/3.
        {"slanting along x", {-10.0f, 8.0f, 4.0f}, {1.0f, -0.5f, 0.0f}, true, 8.0f / 3.0f, 4.0f},
        // y = 10 - 2s meets 3.25 - 0.5 (s - 2) at s = 23/6, entering the grid's box through its side.
        {"slanting along z", {1.0f, 10.0f, -2.0f}, {0.0f, -2.0f, 1.0f}, true, 1.0f, 11.0f / 6.0f},
        {"slanting along z and missing", {1.0f, 10.0f, -2.0f}, {0.0f, -1.0f, 1.0f}, false, 0, 0},
        {"up from above", {2.0f, 50.0f, 3.0f}, {0.0f, 1.0f, 0.0f}, false, 0, 0},
        {"beside the grid", {20.0f, 50.0f, 3.0f}, {0.0f, -1.0f, 0.0f}, false, 0, 0},
        {"over it, level", {-10.0f, 9.0f, 4.0f}, {1.0f, 0.0f, 0.0f}, false, 0, 0},
    };
    for (const auto& [ray, origin, direction, hitsExpected, x, z] : cases)
    {
        SCOPED_TRACE(ray);
        glm::vec3 hit;
        ASSERT_EQ(Sculpt::Pick(p.data(), kSculptW, kSculptH, frame, low, high, origin, direction, hit),
                  hitsExpected);
        if (!hitsExpected) continue;
        EXPECT_LT(std::hypot(hit.x - x, hit.y - Plane(x, z), hit.z - z), 1e-3f);
    }
    float y = 0.0f;
    ASSERT_TRUE(Sculpt::HeightAt(p.data(), kSculptW, kSculptH, frame, -4.0f + 3.0f * kSculptD, 1.0f, y));
    EXPECT_EQ(y, p[3 * (3 * kSculptH) + 1]); // a vertex's own height
    EXPECT_FALSE(Sculpt::HeightAt(p.data(), kSculptW, kSculptH, frame, -4.1f, 2.0f, y));
}

TEST(SculptTest, TheWeightFadesOverTheOuterShareOfTheRadius)
{
    const std::tuple<float, float, float> cases[] = {
        {0.0f, 0.5f, 1.0f}, {0.5f, 0.5f, 1.0f}, {0.75f, 0.5f, 0.5f}, {1.0f, 0.5f, 0.0f},
        {1.5f, 0.5f, 0.0f}, {0.9f, 0.0f, 1.0f}, {0.5f, 1.0f, 0.5f},  {0.0f, 1.0f, 1.0f}};
    for (const auto& [t, falloff, weight] : cases)
        EXPECT_NEAR(Sculpt::Weight(t, falloff), weight, 1e-6f) << t << " " << falloff;
}

TEST(SculptTest, EachToolChangesTheHeightsUnderTheBrushOnly)
{
    const std::vector<float> p = PlanePositions();
    const Sculpt::GridFrame frame = Sculpt::GridFrame::Of(p.data(), kSculptD);
    // The centre is vertex (10, 4): x = 1, z = 3.
    const size_t centre = 10 * kSculptH + 4, outside = 10 * kSculptH + 11, near = 11 * kSculptH + 4;
    const float h = p[3 * centre + 1];
    Sculpt::Brush brush{Sculpt::Tool::RaiseLower, 2.0f, 1.0f, 0.5f};
    // The change at the centre, within a tolerance.
    const std::tuple<const char*, Sculpt::Tool, bool, float, float> cases[] = {
        {"raise", Sculpt::Tool::RaiseLower, false, 0.04f, 1e-6f},
        {"lower", Sculpt::Tool::RaiseLower, true, -0.04f, 1e-6f},
        {"smooth a plane", Sculpt::Tool::Smooth, false, 0.0f, 1e-5f}, // a plane's mean is its height
        {"flatten to 5", Sculpt::Tool::Flatten, false, 5.0f - h, 1e-5f},
        {"noise", Sculpt::Tool::Noise, false, 0.0f, 0.04f}};
    for (const auto& [what, tool, invert, change, tolerance] : cases)
    {
        SCOPED_TRACE(what);
        brush.tool = tool;
        std::vector<float> sculpt(size_t{kSculptW} * kSculptH, 0.0f);
        const TerrainGrid::Region r = Sculpt::ApplyDab(brush, {1.0f, 3.0f, invert, 5.0f, 3}, p.data(),
                                                       sculpt.data(), kSculptW, kSculptH, frame);
        // Radius 2 at distance 0.5: vertices 6..14 along x, 0..8 along z.
        EXPECT_EQ(std::tie(r.rowBegin, r.rowEnd, r.columnBegin, r.columnEnd),
                  std::make_tuple(6u, 15u, 0u, 9u));
        EXPECT_NEAR(sculpt[centre], change, tolerance);
        EXPECT_EQ(sculpt[outside], 0.0f);
        // Inside the inner half the full step.
        EXPECT_TRUE(tool != Sculpt::Tool::RaiseLower || sculpt[near] == sculpt[centre]) << sculpt[near];
    }
    // Smoothing a spike lowers it and raises its neighbours.
    std::vector<float> spiky = p;
    spiky[3 * centre + 1] += 4.0f;
    std::vector<float> sculpt(size_t{kSculptW} * kSculptH, 0.0f);
    brush.tool = Sculpt::Tool::Smooth;
    Sculpt::ApplyDab(brush, {1.0f, 3.0f}, spiky.data(), sculpt.data(), kSculptW, kSculptH, frame);
    EXPECT_LT(sculpt[centre], -3.0f);
    EXPECT_GT(sculpt[near], 0.3f);
}

// The tiles of the entry's and the terrain's heights that strokes of dabs of radius 8 reach on a 4097 x 4097
// grid, for a stroke and one twice as long (the grid's arrays are zero pages, never written).
TEST(SculptTest, AStrokeKeepsTheTilesItReachesNotTheGrid)
{
    constexpr uint32_t side = 4097;
    const size_t count = size_t{side} * side;
    // The entry's heights, then the terrain's positions.
    const std::unique_ptr<float, void (*)(void*)> arrays(static_cast<float*>(std::calloc(4 * count, 4)),
                                                         std::free);
    ASSERT_TRUE(arrays);
    const Sculpt::GridFrame frame{-2048.0f, -2048.0f, 1.0f};
    const auto keptFor = [&](int dabs)
    {
        TileSwap entryTiles(side, side, 4, 4);
        TileSwap heightTiles(side, side, 4, 12, 4);
        for (int n = 0; n < dabs; ++n)
        {
            const TerrainGrid::Region region =
                Sculpt::DabRegion(side, side, frame, 100.0f + 2.0f * static_cast<float>(n), 37.0f, 8.0f);
            entryTiles.Keep(reinterpret_cast<const uint8_t*>(arrays.get()), region);
            heightTiles.Keep(reinterpret_cast<const uint8_t*>(arrays.get() + count), region);
        }
        return entryTiles.Bytes() + heightTiles.Bytes();
    };
    const size_t shorter = keptFor(64); // 128 vertices along x: 3 to 4 tiles of each array
    const size_t longer = keptFor(128);
    const size_t tile = TileSwap::kTileSide * TileSwap::kTileSide * sizeof(float);
    EXPECT_LE(shorter, 2 * 4 * tile + 2 * (side / 64 + 1) * (side / 64 + 1) * sizeof(uint32_t) + 1024);
    EXPECT_GT(longer, shorter + 2 * tile);          // it grows with the stroke
    EXPECT_LT(longer, count * sizeof(float) / 100); // and stays far below the grid's one array
}
} // namespace
