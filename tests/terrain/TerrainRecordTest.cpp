#include "terrain/TerrainRecord.h"
#include "tests/io/ProjectTestModel.h"
#include "tests/terrain/TerrainTestSupport.h"

using testsupport::TestImage;

namespace
{
const std::vector<float> kBaseHeights{0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f,
                                      0.8f, 0.9f, 1.0f, 1.1f, 1.2f, 1.3f, 1.4f};

// A flat 5 x 3 terrain with base heights y = k / 10, as a project file gives it back.
TerrainRecord SmallTerrain()
{
    TerrainRecord t{"small", 5, 3, 2.0f}; // name, width, height, vertex distance
    t.basePositions = testsupport::TestPositions(t, kBaseHeights);
    return t;
}

// A three-channel layer of power 2, and the heights it gives over the base: its green channel,
// p / 255 (as 0.003921569) times the power.
LayerRecord GreenLayer()
{
    return {LayerKind::Image, "", {2.0f}, TestImage(3, 5, 3, 40)}; // kind, name, power, image
}
std::vector<float> GreenHeights(const LayerRecord& rgb)
{
    std::vector<float> heights = kBaseHeights;
    for (size_t k = 0; k < 15; ++k)
        heights[k] += static_cast<float>(rgb.image.pixels[3 * k + 1]) * 0.003921569f * 2.0f;
    return heights;
}

// Its images are 3 pixels wide and 5 high: a row per grid column. An image 5 wide and 3 high does not fit.
TEST(TerrainRecordTest, LayersAddTheirChannelAndLayersOfAnotherSizeAddNothing)
{
    TerrainRecord t = SmallTerrain();
    const LayerRecord rgb = GreenLayer();
    t.layers = {rgb, rgb, rgb};
    t.layers[1].image = TestImage(3, 4, 1, 0); // too small
    t.layers[2].image = TestImage(5, 3, 1, 0); // turned
    ASSERT_TRUE(t.Complete());
    EXPECT_EQ(terraintest::Heights(t.positions), GreenHeights(rgb));
    EXPECT_EQ(terraintest::Heights(t.basePositions), kBaseHeights);
    EXPECT_TRUE(t.heightsFollowLayers);
    // The regular grid, centred: x = (i - 2) * 2, z = (j - 1) * 2, and its triangles.
    EXPECT_EQ(std::make_tuple(t.positions[3 * 14], t.positions[3 * 14 + 2], t.indices.size(), t.gridIndices),
              std::make_tuple(4.0f, 2.0f, size_t{4 * 2 * 6}, true));
    EXPECT_TRUE(t.RegularGrid());
    t.texCoords[7] += 1e-6f;
    EXPECT_FALSE(t.RegularGrid());
    t.texCoords.clear();
    EXPECT_TRUE(t.RegularGrid());
    t.basePositions[3 * 7 + 2] += 1e-6f;
    EXPECT_FALSE(t.RegularGrid());
}

// Stored parts stay though they could be made again: heights changed after the layers were applied and a
// diffuse image under bands. What was not stored is made, 3 pixels wide and 5 high: the specular band
// texture, a normal image, a dry water map, the normals. (The rest: the record bridge and session tests.)
TEST(TerrainRecordTest, StoredPartsWinOverWhatCouldBeMadeAgain)
{
    TerrainRecord t = SmallTerrain();
    t.positions = testsupport::TestPositions(t, std::vector<float>(15, 7.5f));
    t.heightsFollowLayers = false;
    t.layers = {GreenLayer()};
    t.bands = {BandMode::Slope, 0};
    t.diffuse = TestImage(3, 5, 3, 5);
    const TerrainRecord stored = t;
    ASSERT_TRUE(t.Complete());
    testsupport::ExpectSameFloats(t.positions, stored.positions, "positions");
    EXPECT_FALSE(t.heightsFollowLayers);
    testsupport::ExpectSameImage(t.diffuse, stored.diffuse, "diffuse");
    for (const ImageRecord* image : {&t.specular, &t.normal, &t.watermap})
        EXPECT_EQ(image->width * 10 + image->height, 35u);
    EXPECT_EQ(std::make_tuple(t.specular.ByteSize(), t.normal.channels, t.normals.size(), t.waterPlaneBuilt),
              std::make_tuple(size_t{15}, 3u, size_t{45}, false));
    EXPECT_EQ(std::vector<uint8_t>(t.watermap.pixels.get(), t.watermap.pixels.get() + 60),
              std::vector<uint8_t>(60, 0));
}

TEST(TerrainRecordTest, WithoutHeightsAGeneratorThatMakesNoGridIsRefused)
{
    // Rebuilding from a seed is compared with the editor's terrains in ProjectSessionGLTest.
    TerrainRecord t = SmallTerrain();
    t.basePositions.clear();
    t.generator.fromFile = true;
    std::string error;
    EXPECT_FALSE(t.Complete(&error));
    EXPECT_EQ(error, "terrain small stores no heights and its generator file cannot make its 5 x 3 grid");
    t.generator.fromFile = false;
    t.generator.generator = TerrainGenerator::DiamondSquare; // of different sides
    EXPECT_FALSE(t.Complete(&error));
    EXPECT_EQ(error,
              "terrain small stores no heights and its generator diamond-square cannot make its 5 x 3 grid");
}
// Opening a project reports its builds: the share rises through the steps (a random-fault base made
// again fault by fault, an erosion run, the normals), and a stop at any report ends the build.
TEST(TerrainRecordTest, ProgressRisesThroughTheStepsAndAStopEndsTheBuild)
{
    TerrainRecord t = SmallTerrain();
    t.basePositions.clear();
    t.generator = {TerrainGenerator::RandomFault, 2.0f, 0.5f, 20, 7};
    t.layers = {LayerRecord{LayerKind::Erosion}};
    t.layers[0].settings.erosion.method = Erosion::Method::Thermal;
    const TerrainRecord start = t;
    std::vector<float> heard;
    ASSERT_TRUE(t.Complete(nullptr, [&](float done) { return heard.push_back(done), true; }));
    ASSERT_GE(heard.size(), 25u); // twenty faults and the steps after them
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()) && heard.back() <= 1.0f);

    for (size_t stopAt = 0; stopAt < heard.size(); stopAt += 5)
    {
        TerrainRecord again = start;
        size_t calls = 0;
        std::string error;
        EXPECT_FALSE(again.Complete(&error, [&](float) { return calls++ < stopAt; }))
            << "stop at report " << stopAt;
        EXPECT_EQ(error, "stopped");
        EXPECT_EQ(calls, stopAt + 1) << "reports after the stop";
    }
}

// An erosion entry erodes the sums before it with its settings brought into range (a NaN talus angle
// takes the default); its mask comes from the run. (Bands over a mask: ProjectSessionGLTest.)
TEST(TerrainRecordTest, ErosionRunsWithItsSettingsBroughtIntoRange)
{
    TerrainRecord t = SmallTerrain();
    t.vertexDistance = 0.25f;
    const LayerRecord rgb = GreenLayer();
    LayerRecord erosion{LayerKind::Erosion, "Erosion_1"};
    // A negative droplet count, a NaN talus angle and 10 iterations.
    erosion.settings.erosion = {
        Erosion::Method::Thermal, {-5}, {std::numeric_limits<float>::quiet_NaN(), 10}};
    t.layers = {rgb, erosion};

    std::vector<float> expected = GreenHeights(rgb);
    Erosion::Masks masks;
    Erosion::Thermal(expected.data(), 5, 3, 0.25f, {30.0f, 10}, &masks); // the default talus angle
    std::vector<uint8_t> mask(45);
    Erosion::MaskImage(masks, 15, mask.data());
    ASSERT_NE(mask, std::vector<uint8_t>(45, 0)) << "the thermal run must have moved something";

    ASSERT_TRUE(t.Complete());
    EXPECT_EQ(terraintest::Heights(t.positions), expected);
    EXPECT_EQ(t.layers[1].settings.erosion.thermal.talusAngle, 30.0f);
    EXPECT_EQ(t.layers[1].settings.erosion.hydraulic.droplets, 0);
    EXPECT_TRUE(t.layers[1].erosionCache.valid);
    EXPECT_EQ(t.layers[1].erosionCache.result.mask, mask);
    EXPECT_FALSE(t.layers[1].image.Stored()); // the mask shown is the run's: the terrain's bridge takes it
}
} // namespace
