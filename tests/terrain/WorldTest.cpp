#include "terrain/World.h"
#include "tests/terrain/TerrainTestSupport.h"

namespace worldtest
{
// A world of tiles x down tiles of side T, shaped by two noise layers (one with smooth heights, at
// offsets with many fractional bits) and an image layer of the whole world's size.
struct TestWorld
{
    WorldSettings settings;
    TerrainRecord terrain;
};

TestWorld NoiseWorld(uint32_t tilesX, uint32_t tilesY, uint32_t T)
{
    TestWorld w;
    w.settings = {0, T, tilesX, tilesY, 1003, -517}; // terrain, tile size, tiles across and down, origin
    w.terrain = {"land", T, T, 0.7f};                // name, width, height, vertex distance
    LayerRecord hills, ridges, image{LayerKind::Image};
    hills.settings = {40.0f, 0, 0.021f, 0.3f, -2.7f, 4}; // power, seed, frequency, offsets, octaves
    hills.settings.fractalType = 1;
    hills.settings.smoothHeights = true;
    ridges.settings = {-12.0f, 9, 0.05f}; // power, seed, frequency
    ridges.settings.noiseType = 0;
    ridges.settings.fractalType = 2;
    w.terrain.layers = {hills, ridges};
    // The image: a pixel per world vertex, rows along x, a pattern that differs along both axes.
    const uint64_t W = w.settings.Width(), H = w.settings.Height();
    image.settings.power = 5.0f;
    image.image = ImageRecord::Blank(static_cast<uint32_t>(W), static_cast<uint32_t>(H), 1);
    for (uint64_t i = 0; i < W; ++i)
        for (uint64_t j = 0; j < H; ++j)
            image.image.pixels[i * H + j] = static_cast<uint8_t>((3 * i + 7 * j + (i * j) % 11) % 256);
    w.terrain.layers.push_back(std::move(image));
    return w;
}

std::vector<TerrainRecord> BuildTiles(const TestWorld& w)
{
    std::vector<TerrainRecord> tiles;
    for (uint32_t y = 0; y < w.settings.tilesY; ++y)
        for (uint32_t x = 0; x < w.settings.tilesX; ++x)
        {
            std::string error;
            EXPECT_TRUE(World::BuildTile(w.terrain, w.settings, x, y, tiles.emplace_back(), &error)) << error;
        }
    return tiles;
}

float HeightAt(const TerrainRecord& t, uint32_t i, uint32_t j)
{
    return t.positions[3 * (size_t{i} * t.height + j) + 1];
}

// The largest difference between the shared edges of neighbouring tiles (tile index y * tilesX + x).
float LargestSeamStep(const TestWorld& w, const std::vector<TerrainRecord>& tiles)
{
    const uint32_t T = w.settings.tileSize, X = w.settings.tilesX;
    float step = 0.0f;
    for (size_t n = 0; n < tiles.size(); ++n)
        for (uint32_t k = 0; k < T; ++k)
        {
            if (n % X + 1 < X) // the tile to the right
                step = std::max(step, std::fabs(HeightAt(tiles[n], T - 1, k) - HeightAt(tiles[n + 1], 0, k)));
            if (n + X < tiles.size()) // the tile below
                step = std::max(step, std::fabs(HeightAt(tiles[n], k, T - 1) - HeightAt(tiles[n + X], k, 0)));
        }
    return step;
}
} // namespace worldtest

using namespace worldtest;

// Noise and image layers only: the tiles of a non-square world (3 x 2, so that a swapped x and y
// shows) are the same world built as one terrain, bit for bit, shared edges included.
TEST(WorldTest, TilesAreTheWholeWorldBitForBit)
{
    const TestWorld w = NoiseWorld(3, 2, 33);
    const std::vector<TerrainRecord> tiles = BuildTiles(w);
    TerrainRecord whole =
        World::WindowRecord(w.terrain, w.settings, {0, 0, 97, 65}); // 3 and 2 tiles of 32 cells
    std::string error;
    ASSERT_TRUE(whole.Complete(&error)) << error;
    EXPECT_GT(whole.maxHeight - whole.minHeight, 10.0f); // the layers shape it
    const uint32_t T = w.settings.tileSize;
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x)
        {
            const TerrainRecord& tile = tiles[y * 3 + x];
            ASSERT_TRUE(tile.width == T && tile.height == T);
            for (uint32_t i = 0; i < T; ++i)
                for (uint32_t j = 0; j < T; ++j)
                    ASSERT_EQ(terraintest::Bits(HeightAt(tile, i, j)),
                              terraintest::Bits(HeightAt(whole, x * (T - 1) + i, y * (T - 1) + j)))
                        << "tile " << x << "," << y << " vertex " << i << ", " << j;
        }
}

// Erosion runs on each tile and its overlap border with droplets anchored in the world: the seams differ
// only by what comes in from the windows' edges, under the README's bound (3 % of the world's height
// range for this heavy erosion) and several times less than without the border. The world's range
// covers every tile.
TEST(WorldTest, ErodedSeamsStayWithinTheBoundAndTheRangeCoversEveryTile)
{
    TestWorld w = NoiseWorld(2, 2, 65);
    LayerRecord erosion{LayerKind::Erosion};
    erosion.settings.erosion.hydraulic.droplets = 4000;
    erosion.settings.erosion.hydraulic.maxSteps = 24;
    erosion.settings.erosion.hydraulic.radius = 2;
    w.terrain.layers.insert(w.terrain.layers.begin() + 2, erosion);
    w.settings.overlap = 32;
    // The droplet count is a tile's: a window of twice the side erodes with four times as many.
    const TerrainRecord window =
        World::WindowRecord(w.terrain, w.settings, World::TileWindow(w.settings, 1, 0, 32));
    EXPECT_EQ(window.layers[2].settings.erosion.hydraulic.droplets, 16000);
    const std::vector<TerrainRecord> tiles = BuildTiles(w);
    float low = 0.0f, high = 0.0f;
    World::HeightRange(w.terrain, w.settings, low, high);
    for (const TerrainRecord& tile : tiles)
        EXPECT_TRUE(tile.minHeight >= low && tile.maxHeight <= high)
            << tile.minHeight << ".." << tile.maxHeight;
    const float step = LargestSeamStep(w, tiles);
    EXPECT_GT(step, 0.0f);
    EXPECT_LT(step, 0.03f * (high - low)) << step << " of " << high - low;

    w.settings.overlap = 0;
    EXPECT_GT(LargestSeamStep(w, BuildTiles(w)), 3.0f * step); // without the border
}

// What cannot be a world (with the messages the build and the editor show), and tile names that do not
// parse. (Tiles outside the world, a diamond-square or random-fault start: build, project file, session.)
TEST(WorldTest, RefusalsNameTheReason)
{
    const TestWorld good = NoiseWorld(4, 2, 33);
    std::string error;
    ASSERT_TRUE(World::Check(good.settings, good.terrain, &error)) << error;
    const std::tuple<const char*, std::function<void(TestWorld&)>, const char*> cases[] = {
        {"read from a file", [](TestWorld& w) { w.terrain.generator.fromFile = true; },
         "terrain land was read from a file, whose heights cannot tile: a world starts flat and takes its "
         "shape from its noise, image and erosion layers"},
        {"sculpted",
         [](TestWorld& w)
         {
             w.terrain.layers.push_back({LayerKind::Sculpt, "Sculpt"});
             w.terrain.layers.back().sculpt.assign(33 * 33, 0.5f);
         },
         "terrain land has sculpted heights in 'Sculpt', which belong to one grid and cannot tile"},
        {"tile size", [](TestWorld& w) { w.settings.tileSize = 300; },
         "the world's tile size 300 is not 2^n + 1 from 3 to 4097"},
        {"no tiles", [](TestWorld& w) { w.settings.tilesY = 0; },
         "the world's tiles across and down must be 1 to 1024, not 4 x 0"},
        {"far origin", [](TestWorld& w) { w.settings.originX = 16777100; }, "reach beyond 16777216"},
        {"empty range",
         [](TestWorld& w)
         {
             w.settings.fixedRange = true;
             w.settings.minHeight = w.settings.maxHeight = 5.0f;
         },
         "height range must have its lowest height below its highest"},
    };
    for (const auto& [what, change, message] : cases)
    {
        TestWorld w = NoiseWorld(4, 2, 33);
        change(w);
        error.clear();
        EXPECT_FALSE(World::Check(w.settings, w.terrain, &error)) << what;
        EXPECT_NE(error.find(message), std::string::npos) << what << ": " << error;
        TerrainRecord tile;
        EXPECT_FALSE(World::BuildTile(w.terrain, w.settings, 0, 0, tile, &error)) << what;
    }
    uint32_t x = 99, y = 99;
    EXPECT_TRUE(World::ParseTile("3,1", x, y) && x == 3 && y == 1);
    EXPECT_TRUE(World::ParseTile("0,12", x, y) && x == 0 && y == 12);
    for (const char* text : {"3", "3,", "-1,2", "1,-2", "1, 2", "1,2,3", "a,b", ""})
        EXPECT_FALSE(World::ParseTile(text, x, y)) << text;
}

// The editor's view of a tile keeps the world image aside and shows the tile's window; the world's form
// makes the world image the layer's own again. (The window's size, where it lies and where a painted
// pixel lands: ProjectFileTest and ProjectSessionGLTest.)
TEST(WorldTest, TileViewKeepsTheWorldImageAsideUntilTheWorldForm)
{
    TestWorld w = NoiseWorld(3, 2, 17);
    w.settings.tileX = 2;
    TerrainRecord view = w.terrain;
    World::ToTileView(view, w.settings);
    ASSERT_TRUE(view.layers[2].worldImage);
    World::ToWorldForm(view, w.settings);
    EXPECT_EQ(std::make_pair(view.layers[2].worldImage != nullptr, view.layers[2].image.ByteSize()),
              std::make_pair(false, w.terrain.layers[2].image.ByteSize()));
}

// Every input a tile's files depend on changes the fingerprint; the tile the editor shows does not.
TEST(WorldTest, TheInputsFingerprintFollowsWhatTheTileDependsOn)
{
    const TestWorld base = NoiseWorld(2, 2, 17);
    const uint64_t before = World::InputsFingerprint(base.terrain, base.settings, 1, 0, "png16");
    EXPECT_NE(World::InputsFingerprint(base.terrain, base.settings, 0, 0, "png16"), before);
    EXPECT_NE(World::InputsFingerprint(base.terrain, base.settings, 1, 0, "png16,glb"), before);
    const std::tuple<const char*, std::function<void(TestWorld&)>, bool> cases[] = {
        {"a noise setting", [](TestWorld& w) { w.terrain.layers[0].settings.gain = 0.4f; }, true},
        {"an erosion setting",
         [](TestWorld& w) { w.terrain.layers[1].settings.erosion.thermal.iterations = 3; }, true},
        {"an image pixel", [](TestWorld& w) { w.terrain.layers[2].image.pixels[99] ^= 1; }, true},
        {"the overlap", [](TestWorld& w) { w.settings.overlap = 7; }, true},
        {"the origin", [](TestWorld& w) { w.settings.originY = 0; }, true},
        {"the vertex distance", [](TestWorld& w) { w.terrain.vertexDistance = 2.0f; }, true},
        {"the name", [](TestWorld& w) { w.terrain.name = "sea"; }, true},
        {"the tile shown", [](TestWorld& w) { w.settings.tileX = 1; }, false},
        {"the stored heights", [](TestWorld& w) { w.terrain.positions.assign(3, 1.0f); }, false},
    };
    for (const auto& [what, change, changes] : cases)
    {
        TestWorld w = base;
        change(w);
        EXPECT_EQ(World::InputsFingerprint(w.terrain, w.settings, 1, 0, "png16") != before, changes) << what;
    }
}
